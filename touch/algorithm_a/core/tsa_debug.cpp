#include "tsa_debug.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "framework.h"
#include "platform/paths.h"
#include "tsa_cmdchan.h"
#include "tsa_module.h"
#include "tsa_os.h"

extern "C" {
uint8_t tsa_request_ring[TSA_REQUEST_MAX * TSA_REQUEST_BYTES];
uint8_t tsa_request_num;
ReplayLogCache log_to_file;
TsdFrameEventFn tsd_frame_event_notify;
}

namespace {

// Guards tsa_request_ring and tsa_request_num against producers on two host threads.
std::mutex gRequestRingLock;

// Guards log_to_file: the frame thread appends while a tool's report or frame-data call
// appends from its own thread; a check-then-copy without it can run past the buffer.
std::mutex gReplayCacheLock;

TsdThreadStartFn gpfnTsdStart;
TsdThreadStopFn gpfnTsdStop;
bool gboCacheOverflowLogged;

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t GetU32(const uint8_t* p) { return static_cast<uint32_t>(GetU16(p)) | (static_cast<uint32_t>(GetU16(p + 2)) << 16); }

// The count as far as the ring reaches (a corrupt count never reads past it).
uint32_t CountLocked() { return tsa_request_num < TSA_REQUEST_MAX ? tsa_request_num : TSA_REQUEST_MAX; }

int32_t PushLocked(const uint8_t* entry) {
  if (tsa_request_num >= TSA_REQUEST_MAX) return -1;
  std::memcpy(tsa_request_ring + static_cast<size_t>(tsa_request_num) * TSA_REQUEST_BYTES, entry, TSA_REQUEST_BYTES);
  ++tsa_request_num;
  return 0;
}

// The framework's request sink: 0 when queued, 1 when dropped.
uint8_t FrameworkSink(uint32_t type, const uint8_t* packet, uint16_t len) {
  return TsaRequestPushPacket(type, packet, len) == 0 ? 0 : 1;
}

}  // namespace

// ---- Request ring -----------------------------------------------------------------------

extern "C" int32_t TsaRequestPush(const uint8_t* entry) {
  if (entry == nullptr) return -1;
  std::lock_guard<std::mutex> lock(gRequestRingLock);
  return PushLocked(entry);
}

extern "C" int32_t TsaRequestPushPacket(uint32_t type, const uint8_t* packet, uint16_t len) {
  if (packet == nullptr || len > TSA_REQUEST_PACKET_MAX) return -1;
  uint8_t entry[TSA_REQUEST_BYTES] = {};
  ReplayPutU32(entry, type);
  ReplayPutU16(entry + 4, len);
  std::memcpy(entry + TSA_REQUEST_PACKET_AT, packet, len);
  return TsaRequestPush(entry);
}

extern "C" uint32_t TsaRequestTakeAll(uint8_t* out) {
  if (out == nullptr) return 0;
  std::lock_guard<std::mutex> lock(gRequestRingLock);
  const uint32_t count = CountLocked();
  std::memcpy(out, tsa_request_ring, static_cast<size_t>(count) * TSA_REQUEST_BYTES);
  tsa_request_num = 0;
  return count;
}

extern "C" int32_t TsaRequestTakeNewest(uint8_t* out) {
  if (out == nullptr) return -1;
  std::lock_guard<std::mutex> lock(gRequestRingLock);
  const uint32_t count = CountLocked();
  if (count == 0) return -1;
  std::memcpy(out, tsa_request_ring + static_cast<size_t>(count - 1) * TSA_REQUEST_BYTES, TSA_REQUEST_BYTES);
  tsa_request_num = static_cast<uint8_t>(count - 1);
  return 0;
}

extern "C" uint8_t TsaRequestCount(void) {
  std::lock_guard<std::mutex> lock(gRequestRingLock);
  return static_cast<uint8_t>(CountLocked());
}

extern "C" int32_t TsaRequestDrain(void) {
  uint8_t local[TSA_REQUEST_MAX * TSA_REQUEST_BYTES];
  const uint32_t count = TsaRequestTakeAll(local);
  return count == 0 ? 0 : process_tsa_request(local, count);
}

extern "C" int32_t process_tsa_request(const uint8_t* entries, uint32_t count) {
  if (entries == nullptr) return 0;
  int32_t result = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = entries + static_cast<size_t>(i) * TSA_REQUEST_BYTES;
    const uint32_t type = GetU32(entry);
    if (type != TSA_REQUEST_TYPE_CMD) {
      log_print(FERX_LOG_ERR, "unknown request type %d\n", static_cast<int>(type));
      continue;
    }
    const uint16_t len = GetU16(entry + 4);
    // A packet holds at least its head and checksum and ends inside the request.
    if (len < FERX_CMD_HEAD_BYTES + FERX_CMD_SUM_BYTES || len > TSA_REQUEST_PACKET_MAX) {
      log_print(FERX_LOG_ERR, "tsa request length %u refused\n", len);
      result = FERX_EINVAL;
      continue;
    }
    const uint8_t* packet = entry + TSA_REQUEST_PACKET_AT;
    char text[TSA_REQUEST_PACKET_MAX * 3 + 1];
    size_t used = 0;
    for (uint16_t k = 0; k < len; ++k) {
      used += static_cast<size_t>(std::snprintf(text + used, sizeof(text) - used, "%x,", packet[k]));
    }
    text[used] = '\0';
    log_print(FERX_LOG_INFO, "tsa send cmd:%s\n", text);
    const int32_t sent = ferx_send_cmd(packet[3], packet + FERX_CMD_HEAD_BYTES, len - FERX_CMD_HEAD_BYTES - FERX_CMD_SUM_BYTES);
    if (sent < 0) {
      log_print(FERX_LOG_ERR, "tsa send cmd failed\n");
      result = sent;
    }
  }
  return result;
}

extern "C" void TsaRequestRingBind(void) {
  FrameworkBindRequestSink(FrameworkSink);
}

// ---- Replay log cache -------------------------------------------------------------------

extern "C" void save_replay_data_to_cache(uint8_t* data, uint32_t n) {
  if (data == nullptr || n == 0) return;
  bool boLogDrop = false;
  {
    std::lock_guard<std::mutex> lock(gReplayCacheLock);
    if (n <= REPLAY_LOG_CACHE_BYTES - log_to_file.count) {
      std::memcpy(log_to_file.data + log_to_file.count, data, n);
      log_to_file.count += n;
      return;
    }
    // A cut item would corrupt the item stream a tool reads back; the whole item goes.
    boLogDrop = !gboCacheOverflowLogged;
    gboCacheOverflowLogged = true;
  }
  if (boLogDrop) log_print(FERX_LOG_ERR, "replay cache full: %u bytes dropped\n", n);
}

extern "C" void clean_rep_data_cache(void) {
  std::lock_guard<std::mutex> lock(gReplayCacheLock);
  log_to_file.count = 0;
  gboCacheOverflowLogged = false;
}

// ---- Replay head and body ---------------------------------------------------------------

extern "C" int32_t store_replay_head(uint8_t* out, uint32_t* length) {
  if (out == nullptr || length == nullptr) return -1;
  const uint32_t capacity = *length;
  uint32_t used = capacity;
  if (GetInitInfo(REPLAY_INIT_REPLAY_HEAD, out, &used) != 0 || used > capacity) {
    log_print(FERX_LOG_ERR, "failed get replay head\n");
    *length = 0;
    return 0;
  }
  uint32_t room = capacity - used;
  if (PackReportInitialData(out + used, &room) != REPORT_PACK_OK || room > capacity - used) {
    log_print(FERX_LOG_ERR, "failed to get initial data\n");
    *length = used;
    return 0;
  }
  *length = used + room;
  return 0;
}

extern "C" int32_t store_replay_body(uint8_t* out, uint32_t* length) {
  if (out == nullptr || length == nullptr) return -1;
  const uint32_t capacity = *length;
  uint32_t used = capacity < REPLAY_PREPACK_BYTES ? capacity : REPLAY_PREPACK_BYTES;
  if (ReportFramePrePack(out, &used) != REPORT_PACK_OK || used > capacity) {
    log_print(FERX_LOG_ERR, "failed to get pre pack frame data\n");
    used = 0;
  }
  uint32_t cache = 0;
  bool boFits = false;
  {
    std::lock_guard<std::mutex> lock(gReplayCacheLock);
    cache = log_to_file.count;
    boFits = cache <= capacity - used;
    if (boFits) std::memcpy(out + used, log_to_file.data, cache);
  }
  if (boFits) {
    used += cache;
  } else {
    log_print(FERX_LOG_ERR, "replay body: %u cache bytes do not fit\n", cache);
  }
  *length = used;
  return 0;
}

extern "C" int32_t tsa_store_replay_body(uint8_t* out, uint32_t* length) { return store_replay_body(out, length); }

// ---- Replay packages --------------------------------------------------------------------

extern "C" ReplayPkg* module_get_replay_pkg(uint32_t capacity) {
  auto* pkg = static_cast<ReplayPkg*>(std::calloc(1, sizeof(ReplayPkg) + static_cast<size_t>(capacity)));
  if (pkg == nullptr) {
    log_print(FERX_LOG_ERR, "failed get memory");
    return nullptr;
  }
  pkg->capacity = capacity;
  pkg->used = 0;
  pkg->data = reinterpret_cast<uint8_t*>(pkg) + sizeof(ReplayPkg);
  return pkg;
}

extern "C" void module_free_replay_pkg(ReplayPkg* pkg) { std::free(pkg); }

extern "C" int32_t module_append_replay_item(ReplayPkg* pkg, uint32_t id, uint32_t length, const void* data) {
  if (pkg == nullptr) return -1;
  if (static_cast<uint64_t>(pkg->used) + length + REPLAY_ITEM_HEAD_BYTES > pkg->capacity ||
      (length != 0 && data == nullptr)) {
    log_print(FERX_LOG_ERR, "no enough memory, %d", static_cast<int>(pkg->capacity));
    return -1;
  }
  uint8_t* at = pkg->data + pkg->used;
  ReplayPutU32(at, id);
  ReplayPutU32(at + 4, length);
  if (length != 0) std::memcpy(at + REPLAY_ITEM_HEAD_BYTES, data, length);
  pkg->used += REPLAY_ITEM_HEAD_BYTES + length;
  return 0;
}

extern "C" uint32_t module_insert_replay_item(uint8_t* buffer, uint32_t offset, uint32_t capacity, const void* data,
                                              uint32_t n) {
  if (buffer == nullptr || static_cast<uint64_t>(offset) + n > capacity || (n != 0 && data == nullptr)) return 0;
  if (n != 0) std::memcpy(buffer + offset, data, n);
  return offset + n;
}

extern "C" uint32_t module_thp_replay_pack(uint16_t kind, int32_t n, const ReplayItemDesc* items, uint8_t* out,
                                           uint32_t capacity) {
  if (n < 0) return 0;
  return ThpReplayPack(kind, static_cast<uint32_t>(n), items, out, capacity, 0);
}

extern "C" int32_t module_thp_replay_unpack(uint8_t* buffer, int32_t length, ReplayItemCallback handler) {
  if (length < 0) return REPLAY_UNPACK_MALFORMED;
  return ThpReplayUnpack(buffer, static_cast<uint32_t>(length), handler);
}

namespace {

FrameCoorInfo frame_coor_info;

uint32_t ItemValue(const uint8_t* data, uint32_t length) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < length && i < 4; ++i) v |= static_cast<uint32_t>(data[i]) << (8 * i);
  return v;
}

uint32_t CoorItem(uint32_t type, uint8_t* data, uint32_t length) {
  const uint32_t v = ItemValue(data, length);
  switch (type) {
    case 0x0100222Cu: frame_coor_info.value4 = v; break;
    case 0x0100222Du: frame_coor_info.value8 = v; break;
    case 0x01002230u: frame_coor_info.value16 = v; break;
    case 0x01002231u: frame_coor_info.value20 = v; break;
    default:
      if (REPLAY_TYPE_ID(type) == 9002u) {
        frame_coor_info.value12 = static_cast<uint8_t>(v);
        frame_coor_info.flag52 = 1;
      } else if (REPLAY_TYPE_ID(type) == 9001u) {
        frame_coor_info.value56 = static_cast<uint8_t>(v);
      }
      break;
  }
  return 0;
}

}  // namespace

extern "C" FrameCoorInfo* parse_coor_from_rep(uint8_t* items, uint32_t length) {
  std::memset(&frame_coor_info, 0, sizeof(frame_coor_info));
  if (items != nullptr) (void)ThpReplayUnpack(items, length, CoorItem);
  return &frame_coor_info;
}

// ---- Debug daemon -----------------------------------------------------------------------

extern "C" int32_t ferx_tsd_init(void) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_tsd_init");
  for (const char* path : {TSD_LIB_PATH, TSD_NODE_PATH}) {
    if (plat_access(path, F_OK) != 0) {
      log_print(FERX_LOG_INFO, "%s does not exist, skip\n", path);
      return 0;
    }
  }
  const std::string libPath = plat_path(TSD_LIB_PATH);
  void* handle = dlopen(libPath.c_str(), RTLD_LAZY);
  if (handle == nullptr) {
    log_print(FERX_LOG_ERR, "failed open lib %s, %s\n", TSD_LIB_PATH, dlerror());
    return 0;
  }
  void* start = nullptr;
  void* stop = nullptr;
  for (auto [name, slot] : {std::pair{TSD_START_SYMBOL, &start}, std::pair{TSD_STOP_SYMBOL, &stop}}) {
    *slot = dlsym(handle, name);
    if (*slot == nullptr) {
      const char* error = dlerror();
      log_print(FERX_LOG_ERR, "failed get func: %s, %s\n", name, error != nullptr ? error : "");
      dlclose(handle);
      return -1;
    }
  }
  gpfnTsdStart = reinterpret_cast<TsdThreadStartFn>(start);
  gpfnTsdStop = reinterpret_cast<TsdThreadStopFn>(stop);
  gpfnTsdStart(&handle_tsd_cmd_mutex);
  return 0;
}

extern "C" void ferx_tsd_exit(void) {
  if (gpfnTsdStop != nullptr) gpfnTsdStop();
  gpfnTsdStart = nullptr;
  gpfnTsdStop = nullptr;
}

extern "C" void tsd_frame_event_notify_func_register(TsdFrameEventFn fn) { tsd_frame_event_notify = fn; }

extern "C" void TsaDebugResetForTest(void) {
  {
    std::lock_guard<std::mutex> lock(gRequestRingLock);
    tsa_request_num = 0;
    std::memset(tsa_request_ring, 0, sizeof(tsa_request_ring));
  }
  clean_rep_data_cache();
  tsd_frame_event_notify = nullptr;
  gpfnTsdStart = nullptr;
  gpfnTsdStop = nullptr;
}
