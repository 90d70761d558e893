#include "tsa_startup.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "framework.h"
#include "region.h"
#include "tsa_debug.h"
#include "tsa_module.h"
#include "tsa_module_links.h"
#include "tsa_os.h"
#include "tsa_pack.h"
#include "tsa_replay.h"

AfeInfo afe_info;

namespace {

constexpr uint32_t kItemVersionSys = 0x100003EBu;
constexpr uint32_t kItemVersionTsc = 0x100003ECu;
constexpr uint32_t kItemVersionHal = 0x100003EDu;
constexpr uint32_t kItemVersionFw = 0x100003EEu;
constexpr uint32_t kItemChipUid = 0x080003F4u;
constexpr uint32_t kItemConfig = 0x08000BB8u;

const FrameworkStartupSource kStartupSource = {GetVersionFw, GetAfeDrvNum, GetAfeSenNum};

uint8_t AppInitHook(uint8_t mode) { return ThpAppInit(mode); }

// Set once the records are bound; the tool entries bind them when the host's init did not.
std::atomic<bool> gboModuleBound{false};

// Appends items to one package and remembers whether any did not fit.
class PackageWriter {
 public:
  explicit PackageWriter(ReplayPkg* pkg) : pkg_(pkg) {}
  void Add(uint32_t id, uint32_t length, const void* data) {
    if (module_append_replay_item(pkg_, id, length, data) != 0) ok_ = false;
  }
  void AddU8(uint32_t id, uint8_t v) { Add(id, 1, &v); }
  void AddU16(uint32_t id, uint16_t v) {
    uint8_t b[2];
    ReplayPutU16(b, v);
    Add(id, 2, b);
  }
  void AddText(uint32_t id, const char* text) {
    char buf[STARTUP_TEXT_BYTES] = {};
    std::snprintf(buf, sizeof(buf), "%s", text);
    Add(id, static_cast<uint32_t>(std::strlen(buf)) + 1, buf);
  }
  // A counted list of the controller information: the count item, then the values.
  void AddList(uint32_t countId, uint32_t listId, const IcFreqList8& list) {
    // A count above 8 stops the information unpacking but is still stored; only the 8
    // slots of the record exist.
    const uint8_t n = list.num < IC_INFO_LIST_MAX ? list.num : IC_INFO_LIST_MAX;
    AddU8(countId, n);
    Add(listId, 2u * n, reinterpret_cast<const uint8_t*>(&list) + offsetof(IcFreqList8, freq));
  }
  void Open(uint16_t kind) { AddU16(REPLAY_GROUP_OPEN, kind); }
  void Close(uint16_t kind) { AddU16(REPLAY_GROUP_CLOSE, kind); }
  bool ok() const { return ok_; }

 private:
  ReplayPkg* pkg_;
  bool ok_ = true;
};

void BindModuleRecords() {
  SetReplayDataCallbackFunc(save_replay_data_to_cache);
  TsaRequestRingBind();
  FrameworkBindStartupSource(&kStartupSource);
  FirmwareConfigBindStore(GetConfigBlob(), GetConfigBlobLength());
  static const ReplayInitHooks kHooks = {AppInitHook, reinterpret_cast<const uint8_t*>(&gstTouchPannelCfg),
                                         reinterpret_cast<const uint8_t*>(&gstCoordTranCfg)};
  SetReplayInitHooks(&kHooks);
  gboModuleBound = true;
}

void FillAfeInfo() {
  std::memset(&afe_info, 0, sizeof(afe_info));
  std::snprintf(afe_info.vendor, sizeof(afe_info.vendor), "%s", "ferrant");
  char model[sizeof(ic_version.model) + 1] = {};
  std::memcpy(model, ic_version.model, sizeof(ic_version.model));
  std::snprintf(afe_info.product, sizeof(afe_info.product), "%s", model);
  std::snprintf(afe_info.version, sizeof(afe_info.version), "%02X.%02X", ic_version.version_major,
                ic_version.version_minor);
  afe_info.config_id = ic_info.config_id;
  log_print(FERX_LOG_INFO, "Vendor: %s\n", afe_info.vendor);
  log_print(FERX_LOG_INFO, "ProductName: %s\n", afe_info.product);
  log_print(FERX_LOG_INFO, "Version: %s\n", afe_info.version);
  log_print(FERX_LOG_INFO, "Config ID: 0x%X\n", static_cast<unsigned>(afe_info.config_id));
  char uid[2 * sizeof(afe_info.chip_uid) + 1] = {};
  for (size_t i = 0; i < sizeof(afe_info.chip_uid); ++i) std::snprintf(uid + 2 * i, 3, "%02x", afe_info.chip_uid[i]);
  log_print(FERX_LOG_INFO, "CHIP UID:%s\n", uid);
}

// A package of CAPACITY bytes; on failure the two lines that say which one and why.
ReplayPkg* NewPackage(uint32_t capacity, const char* what, const char* failedSet) {
  ReplayPkg* pkg = module_get_replay_pkg(capacity);
  if (pkg == nullptr) {
    log_print(FERX_LOG_ERR, "failed get memory for %s\n", what);
    log_print(FERX_LOG_ERR, "%s", failedSet);
  }
  return pkg;
}

// Hands the package's items to the start-up information reader: true when all took.
bool Deliver(const ReplayPkg* pkg) {
  return ThpReplayUnpack(pkg->data, pkg->used, ReplayUnpackInitInfo) == REPLAY_UNPACK_OK;
}

// A version package that cannot be delivered is only logged; -1 when it cannot be allocated.
int32_t VersionPackage() {
  ReplayPkg* pkg = NewPackage(STARTUP_VERSION_PKG_BYTES, "version info", "failed set version info\n");
  if (pkg == nullptr) return STARTUP_ERR_VERSION;
  PackageWriter w(pkg);
  w.Open(STARTUP_KIND_VERSION);
  w.AddText(kItemVersionSys, "0.0.0");
  w.AddText(kItemVersionTsc, "0.0.0");
  w.AddText(kItemVersionHal, afe_info.version);
  w.AddText(kItemVersionFw, afe_info.product);
  w.Add(kItemChipUid, sizeof(afe_info.chip_uid), afe_info.chip_uid);
  w.Close(STARTUP_KIND_VERSION);
  if (w.ok()) {
    log_print(FERX_LOG_INFO, "success get version info package len %d\n", static_cast<int>(pkg->used));
    if (!Deliver(pkg)) log_print(FERX_LOG_ERR, "failed set version info\n");
  } else {
    log_print(FERX_LOG_ERR, "failed package version info\n");
  }
  module_free_replay_pkg(pkg);
  return 0;
}

int32_t AfePackage() {
  ReplayPkg* pkg = NewPackage(STARTUP_AFE_PKG_BYTES, "afecap", "failed set afecaps\n");
  if (pkg == nullptr) return STARTUP_ERR_AFE;
  const IcInfo& ic = ic_info;
  PackageWriter w(pkg);
  w.Open(STARTUP_KIND_AFE);
  w.AddU16(0x010007D0u, ic.drv_num);
  w.AddU16(0x010007D1u, ic.sen_num);
  w.AddU8(0x000007D2u, ic.button_num);
  w.AddU16(0x010007D7u, ic.screen_real_max_x);
  w.AddU16(0x010007D8u, ic.screen_real_max_y);
  w.AddU8(0x000007D9u, 0);
  w.AddU8(0x000007DAu, 0);
  w.AddU8(0x000007DBu, 1);
  w.AddList(0x000007DCu, 0x010007DDu, ic.active_scan_rate);
  w.AddList(0x000007DEu, 0x010007DFu, ic.mutual_freq);
  w.AddList(0x000007E0u, 0x010007E1u, ic.self_tx_freq);
  w.AddList(0x000007E2u, 0x010007E3u, ic.self_rx_freq);
  w.AddList(0x000007E4u, 0x010007E5u, ic.stylus_freq);
  w.AddU16(0x090007EBu, ic.freqhop_feature);
  w.AddU16(0x090007ECu, ic.calibration_feature);
  w.AddU16(0x090007EDu, ic.gesture_feature);
  w.AddU16(0x090007EEu, ic.stylus_feature);
  w.AddU16(0x090007EAu, 0);
  w.AddU8(0x000007D5u, 1);
  w.AddU8(0x000007D6u, 4);
  w.AddU16(0x010007D4u, 4000);
  w.AddU16(0x090007EFu, ic.data_type);
  w.Close(STARTUP_KIND_AFE);
  int32_t result = 0;
  if (!w.ok()) {
    log_print(FERX_LOG_ERR, "failed generate afe cap package\n");
    log_print(FERX_LOG_ERR, "failed set afecaps\n");
    result = STARTUP_ERR_AFE;
  } else {
    log_print(FERX_LOG_INFO, "success set afe cap package size %d\n", static_cast<int>(pkg->used));
    if (!Deliver(pkg)) {
      log_print(FERX_LOG_ERR, "failed set afecaps\n");
      result = STARTUP_ERR_AFE;
    }
  }
  module_free_replay_pkg(pkg);
  return result;
}

int32_t ConfigPackage() {
  if (g_config_ptr == nullptr) {
    log_print(FERX_LOG_ERR, "failed set tsa config\n");
    return STARTUP_ERR_CONFIG;
  }
  ReplayPkg* pkg = NewPackage(STARTUP_CONFIG_PKG_BYTES, "tsa config", "failed set tsa config\n");
  if (pkg == nullptr) return STARTUP_ERR_CONFIG;
  PackageWriter w(pkg);
  w.Open(STARTUP_KIND_CONFIG);
  w.Add(kItemConfig, STARTUP_CONFIG_BYTES, g_config_ptr);
  w.Close(STARTUP_KIND_CONFIG);
  int32_t result = STARTUP_ERR_CONFIG;
  if (w.ok()) {
    log_print(FERX_LOG_INFO, "tsa config package len %d\n", static_cast<int>(pkg->used));
    if (TsaInit(pkg->data, pkg->used) == 0) result = 0;
  }
  if (result != 0) log_print(FERX_LOG_ERR, "failed set tsa config\n");
  module_free_replay_pkg(pkg);
  return result;
}

}  // namespace

extern "C" int32_t ferx_tsa_init(void) {
  BindModuleRecords();

  char version[STARTUP_TEXT_BYTES] = {};
  const char* field = GetVersionTsa();
  if (field != nullptr && std::memchr(field, '\0', STARTUP_VERSION_TEXT_MAX) != nullptr) {
    std::snprintf(version, sizeof(version), "%s", field);
  } else {
    log_print(FERX_LOG_ERR, "failed get versin info\n");
  }
  log_print(FERX_LOG_INFO, "tsa ver:%s\n", version);

  FillAfeInfo();
  if (VersionPackage() != 0) return STARTUP_ERR_VERSION;
  const int32_t afe = AfePackage();
  if (afe != 0) return afe;
  return ConfigPackage();
}

extern "C" void TsaEnsureModuleBound(void) {
  if (gboModuleBound.load()) return;
  // A replay writer the tool installed before its first call stays in place.
  const TsaReplayDataCallback pfnToolWriter = GetReplayDataCallbackFunc();
  BindModuleRecords();
  if (pfnToolWriter != nullptr) SetReplayDataCallbackFunc(pfnToolWriter);
}

extern "C" void TsaStartupUnbindForTest(void) {
  gboModuleBound = false;
  SetReplayDataCallbackFunc(nullptr);
  FrameworkBindRequestSink(nullptr);
  FrameworkBindStartupSource(nullptr);
  FirmwareConfigBindStore(nullptr, nullptr);
  SetReplayInitHooks(nullptr);
}
