// The game-turbo tool.
#include "GameTurboTool.h"

#include <dlfcn.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <android/log.h>
#include <json/json.h>

#include "TouchDevice.h"
#include "platform/paths.h"
#include "platform/properties.h"

namespace touchfeature {
namespace {

constexpr const char* kTag = "[AIDL] TouchFeatureGameTurbo";
#define GLOGE(...) __android_log_print(ANDROID_LOG_ERROR, kTag, __VA_ARGS__)
#define GLOGI(...) __android_log_print(ANDROID_LOG_INFO, kTag, __VA_ARGS__)
#define GLOGD(...) __android_log_print(ANDROID_LOG_DEBUG, kTag, __VA_ARGS__)

struct Entry {
  bool enabled;
  int mode;
  int delayUs;
  int nominal;
};
struct Sequence {
  int mode;
  Entry entries[10];
};
// The command sequences of modes 10001 to 10005 (the nominal value is not sent).
const Sequence kSequences[5] = {
    {10001, {}},
    {10002, {{true, 202, 1000, 1}, {true, 203, 1000, 1}, {true, 204, 1000, 1}}},
    {10003, {{true, 205, 1000, 1}, {true, 206, 1000, 1}}},
    {10004, {{true, 7, 1000, 1}}},
    {10005, {}},
};

bool readWhole(const std::string& path, std::string* out) {
  std::ifstream in(plat_path(path), std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  *out = s.str();
  return true;
}

std::string join(const Json::Value& array) {
  std::string out;
  if (!array.isArray()) return out;
  for (const Json::Value& v : array) {
    if (!v.isString()) continue;
    if (!out.empty()) out += ",";
    out += v.asString();
  }
  return out;
}

bool boolOf(const Json::Value& o, const char* key) { return o.isObject() && o[key].isBool() && o[key].asBool(); }
int intOf(const Json::Value& o, const char* key) { return o.isObject() && o[key].isInt() ? o[key].asInt() : 0; }

}  // namespace

GameTurboTool::GameTurboTool() { sem_init(&mBoostSignal, 0, 0); }

GameTurboTool::~GameTurboTool() {
  GLOGI("%s destroy", "~GameTurboTool");
  mBoostState.store(1);
  sem_post(&mBoostSignal);
  sem_destroy(&mBoostSignal);
  if (mPerfHandle != nullptr) dlclose(mPerfHandle);
}

void GameTurboTool::gameTurboToolCallback() {
  GLOGI("%s: firstframe boost \n", "gameTurboToolCallback");
  mBoostState.store(2);
  sem_post(&mBoostSignal);
}

int GameTurboTool::perfLockInit() {
  if (mPerfHandle == nullptr) {
    // The vendor library directory first (under the platform root), then the loader's search.
    const std::string vendorPath = plat_path("/vendor/lib64/liborv-perfd-client.so");
    if (!vendorPath.empty() && access(vendorPath.c_str(), R_OK) == 0) mPerfHandle = dlopen(vendorPath.c_str(), RTLD_NOW);
    if (mPerfHandle == nullptr) mPerfHandle = dlopen("liborv-perfd-client.so", RTLD_NOW);
    if (mPerfHandle == nullptr) {
      GLOGE("%s: Failed to open perf handle \n", "perfLockInit");
      return -22;
    }
    mPerfLockAcq = dlsym(mPerfHandle, "perf_lock_acq");
    if (mPerfLockAcq == nullptr) {
      GLOGE("%s: Perf lock Acquire NULL \n", "perfLockInit");
      return -22;
    }
    mPerfLockRel = dlsym(mPerfHandle, "perf_lock_rel");
    if (mPerfLockRel == nullptr) {
      GLOGE("%s: Perf lock Release NULL \n", "perfLockInit");
      return -22;
    }
  }
  GLOGI("%s: get Perf lock callback Success \n", "perfLockInit");
  return 0;
}

int GameTurboTool::init(TouchFeatureImpl* owner) {
  char version[PROP_VALUE_MAX];
  property_get("persist.vendor.touchfeature.gameturbotool.version", version, "");
  mVersion = version;
  perfLockInit();
  mBoostState.store(0);
  parseSuperCoreList();
  parseHotAreaInfo();
  buildStateMap();
  {
    std::lock_guard<std::mutex> guard(mPackageLock);
    mPackage.resize(1);
  }
  mOwner = owner;
  return 0;
}

void GameTurboTool::parseSuperCoreList() {
  std::ifstream in(plat_path(kControlFile));
  if (!in) {
    GLOGE("failed to open file:%s ", kControlFile);
    return;
  }
  GLOGI("parse Super Core list");
  Json::Value root;
  // A control file that is not JSON leaves every setting at its default.
  try {
    in >> root;
  } catch (const Json::Exception& e) {
    GLOGE("failed to parse json file:%s ", kControlFile);
    return;
  }
  if (!root.isObject() || !root["SUPER CORE"].isObject()) return;
  const Json::Value& core = root["SUPER CORE"];
  for (const Json::Value& app : core["APP"])
    if (app.isString()) mSuperCoreApps.push_back(app.asString());
  mDurationEnable = boolOf(core, "FIRSTFRAME_DURATION_ENABLE");
  mSuperTouchEnable = boolOf(core, "SUPERTOUCH_ENABLE");
  mPendingBufferEnable = boolOf(core, "PENDINGBUFFER_ENABLE");
  mBoostEnable = boolOf(core, "FIRSTFRAME_BOOST_ENABLE");
  mDropBufferEnable = boolOf(core, "DYNAMIC_DROPBUFFER_ENABLE");
  GLOGI("Boost enable: %d, SFDuration enable: %d, SuperTouch enable: %d, PendingBuffer enable: %d, DynamicDropbuffer enable: %d",
        mBoostEnable, mDurationEnable, mSuperTouchEnable, mPendingBufferEnable, mDropBufferEnable);
  mBoostLevel = intOf(core, "FIRSTFRAME_BOOST_LEVEL");
  mDurationLevel = intOf(core, "FIRSTFRAME_DURATION_LEVEL");
  mSuperTouchLevel = intOf(core, "SUPERTOUCH_LEVEL");
  mPendingBufferLevel = intOf(core, "PENDINGBUFFER_LEVEL");
  mDropBufferLevel = intOf(core, "DYNAMIC_DROPBUFFER_LEVEL");
  mSuperTouchApps = join(core["SUPERTOUCH_ENABLE_APP"]);
  mPendingBufferApps = join(core["PENDINGBUFFER_ENABLE_APP"]);
  GLOGI("Boost level: %d, SFDuration level: %d, SuperTouch level: %d, PendingBuffer level: %d, DynamicDropbuffer level: %d",
        mBoostLevel, mDurationLevel, mSuperTouchLevel, mPendingBufferLevel, mDropBufferLevel);
  GLOGI("SuperTouch app: %s", mSuperTouchApps.c_str());
  GLOGI("PendingBuffer app: %s", mPendingBufferApps.c_str());
}

int GameTurboTool::parseHotAreaInfo() {
  std::ifstream in(plat_path(kControlFile));
  if (!in) {
    GLOGE("failed to open file:%s ", kControlFile);
    return -1;
  }
  GLOGI("parse Hot Area info");
  Json::Value root;
  try {
    in >> root;
  } catch (const Json::Exception&) {
    mHotAreaEnable = false;
    return -1;
  }
  if (!root.isObject() || !root.isMember("HOT_AREA") || !root["HOT_AREA"].isObject()) {
    mHotAreaEnable = false;
    GLOGE("no HOT_AREA control config");
    return -1;
  }
  const Json::Value& hot = root["HOT_AREA"];
  if (!hot.isMember("HOT_AREA_APP_SET_ENABLE")) {
    mHotAreaEnable = false;
    GLOGE("no HOT_AREA_APP_SET_ENABLE config");
  } else {
    mHotAreaEnable = hot["HOT_AREA_APP_SET_ENABLE"].isBool() && hot["HOT_AREA_APP_SET_ENABLE"].asBool();
  }
  if (!hot.isMember("APP") || !hot["APP"].isArray()) {
    mHotAreaEnable = false;
    GLOGE("no HOT_AREA APP info");
    return 0;
  }
  for (const Json::Value& app : hot["APP"]) {
    if (!app.isObject()) continue;
    for (const std::string& name : app.getMemberNames()) {
      GLOGI("getMemberNames: %s", name.c_str());
      mHotAreaKind[name] = app[name].isString() ? app[name].asString() : "";
      mHotAreaPath[name] = hot[name].isString() ? hot[name].asString() : "";
    }
  }
  return 0;
}

void GameTurboTool::buildStateMap() {
  std::string text;
  Json::Value fast;
  Json::Reader reader;
  if (!readWhole(kFastInputFile, &text) || !reader.parse(text, fast, false)) {
    GLOGE("failed to parse json file:%s ", kFastInputFile);
    return;
  }
  GLOGI("parse fast input white list");
  std::vector<std::string> names;
  if (fast.isObject() && fast["SUPER CORE"].isObject())
    for (const Json::Value& v : fast["SUPER CORE"]["APP"])
      if (v.isString()) names.push_back(v.asString());
  Json::Value state;
  if (!readWhole(kStateFile, &text) || !reader.parse(text, state, false) || !state.isObject()) {
    for (const std::string& n : names) mState[n] = 0;
    writeState();
    return;
  }
  if (!state["SUPER CORE"].isObject()) return;
  for (const Json::Value& element : state["SUPER CORE"]["APP"]) {
    if (!element.isObject() || element.getMemberNames().empty()) continue;
    const std::string name = element.getMemberNames()[0];
    mState[name] = element[name].isInt() ? element[name].asInt() : 0;
  }
}

void GameTurboTool::writeState() {
  if (mState.empty()) return;
  Json::Value apps(Json::arrayValue);
  for (const auto& [name, state] : mState) {
    Json::Value one;
    one[name] = state;
    apps.append(one);
  }
  Json::Value root;
  root["SUPER CORE"]["APP"] = apps;
  plat_mkdir_p("/data/vendor/touch_state", 0770);
  std::ofstream out(plat_path(kStateFile), std::ios::trunc);
  if (!out) {
    GLOGE("fail to write state %s", kStateFile);
    return;
  }
  Json::StyledWriter writer;
  out << writer.write(root);
}

std::string GameTurboTool::getModeList() {
  if (mState.empty()) return "NULL";
  Json::Value list(Json::arrayValue);
  for (const auto& [name, state] : mState) {
    if (state != 1) continue;
    Json::Value one;
    one[name] = 1;
    list.append(one);
  }
  return list.empty() ? "NULL" : list.toStyledString();
}

std::string GameTurboTool::readJsonConfigFile() {
  std::string text;
  readWhole(kWhiteListFile, &text);
  return text;
}

std::string GameTurboTool::packageName() const {
  std::lock_guard<std::mutex> guard(mPackageLock);
  return mPackage[0];
}

void GameTurboTool::checkIsEnableListApp(const std::string& package) {
  // The lists and the flags are set from other binder threads (modes 10103, 10104 and other
  // package names): all of them under the package lock.
  std::lock_guard<std::mutex> guard(mPackageLock);
  if (package == kNoValidApp) {
    mIsSuperTouchApp = mIsPendingBufferApp = false;
    GLOGI("gameturbo check is enable app, mIsSuperTouchApp: 0, mIsPendingBufferApp: 0");
    return;
  }
  auto onList = [&package](const std::string& list) {
    return list.empty() || package.empty() || list.find(package) != std::string::npos;
  };
  mIsSuperTouchApp = onList(mSuperTouchApps);
  mIsPendingBufferApp = onList(mPendingBufferApps);
  GLOGI("gameturbo check is enable app, mIsSuperTouchApp: %d, mIsPendingBufferApp: %d", mIsSuperTouchApp,
        mIsPendingBufferApp);
}

bool GameTurboTool::isSuperTouchApp() const {
  std::lock_guard<std::mutex> guard(mPackageLock);
  return mIsSuperTouchApp;
}

bool GameTurboTool::isPendingBufferApp() const {
  std::lock_guard<std::mutex> guard(mPackageLock);
  return mIsPendingBufferApp;
}

bool GameTurboTool::isHotAreaApp(const std::string& name) {
  const std::string key = name.empty() ? packageName() : name;
  return mHotAreaKind.count(key) != 0;
}

int GameTurboTool::hotAreaPath(std::string* path) {
  const std::string package = packageName();
  if (package.empty() || package == kNoValidApp) {
    GLOGE("no valid app");
    return -1;
  }
  auto kind = mHotAreaKind.find(package);
  if (kind == mHotAreaKind.end()) {
    GLOGE("no valid app json config");
    return -2;
  }
  if (kind->second != "APP_SET_GAME_A") {
    GLOGE("not APP_SET_GAME_A");
    return -2;
  }
  *path = mHotAreaPath[package];
  return 0;
}

int GameTurboTool::loadHotArea(const std::string& path, const std::vector<std::string>& list, std::string& text) {
  std::string file;
  const int rc = hotAreaPath(&file);
  if (rc != 0) return rc;
  if (!path.empty()) file = path;
  if (!text.empty()) return 0;
  std::string content;
  if (!readWhole(file, &content)) {
    GLOGE("failed to open file:%s ", file.c_str());
    return -3;
  }
  if (list.empty()) text = content;
  return 0;
}

int GameTurboTool::writeHotArea(const std::string& path, const std::vector<std::string>& list,
                                const std::string& text) {
  std::string file;
  const int rc = hotAreaPath(&file);
  if (rc != 0) return rc;
  if (!path.empty()) file = path;
  {
    std::lock_guard<std::mutex> guard(mPackageLock);
    if (text == mHotAreaCache) {
      GLOGI("same hot area string, don't write");
      return 0;
    }
  }
  std::ofstream out(plat_path(file), std::ios::binary | std::ios::trunc);
  if (!out) {
    GLOGE("failed to open file:%s ", file.c_str());
    return -3;
  }
  if (list.empty()) {
    out << text;
    std::lock_guard<std::mutex> guard(mPackageLock);
    mHotAreaCache = text;
  }
  return 0;
}

int GameTurboTool::sendHotAreaToThp(int id) {
  const std::string package = packageName();
  auto kind = mHotAreaKind.find(package);
  if (kind == mHotAreaKind.end()) {
    write_touch_device(id, COMMON_DATA_MODE_HOT_AREA_GAME_KIND, 0);
    return 0;
  }
  const int value = kind->second == "APP_SET_GAME_A" ? 1 : kind->second == "APP_SET_GAME_B" ? 2 : 0;
  write_touch_device(id, COMMON_DATA_MODE_HOT_AREA_GAME_KIND, value);
  std::string cache;
  {
    std::lock_guard<std::mutex> guard(mPackageLock);
    cache = mHotAreaCache;
  }
  if (loadHotArea("", {}, cache) != 0) {
    GLOGE("loadHotArea error");
    return -1;
  }
  {
    std::lock_guard<std::mutex> guard(mPackageLock);
    mHotAreaCache = cache;
  }
  if (cache.size() > kHotAreaTextMax) {
    // The block carries 1024 bytes: a longer text would reach the host cut in the middle.
    GLOGE("hot area text of %zu bytes is longer than %zu, not sent", cache.size(), kHotAreaTextMax);
    return -1;
  }
  send_package_data_to_thp(id, COMMON_DATA_MODE_HOT_AREA_INFO, cache);
  return 0;
}

void GameTurboTool::setPackageLevel(int id, int mode, const std::string& text) {
  switch (mode) {
    case COMMON_DATA_MODE_HOT_AREA_INFO:
      if (!mHotAreaEnable || !isHotAreaApp()) return;
      GLOGI("id: %d mode: %d, area info: %s", id, mode, text.c_str());
      if (text.size() > kHotAreaTextMax) {
        GLOGE("hot area text of %zu bytes is longer than %zu, refused", text.size(), kHotAreaTextMax);
        return;
      }
      send_package_data_to_thp(id, mode, text);
      writeHotArea("", {}, text);
      return;
    case COMMON_DATA_MODE_PACKAGE_NAME:
      GLOGI("id: %d mode: %d, PackageName: %s", id, mode, text.c_str());
      {
        std::lock_guard<std::mutex> guard(mPackageLock);
        mPackage[0] = text;
        mHotAreaCache.clear();  // the next game loads its own text
      }
      checkIsEnableListApp(text);
      sendHotAreaToThp(id);
      return;
    case 10103:
      GLOGI("id: %d mode: %d, SuperTouch App: %s", id, mode, text.c_str());
      {
        std::lock_guard<std::mutex> guard(mPackageLock);
        mSuperTouchApps = text;
      }
      return;
    case 10104:
      GLOGI("id: %d mode: %d, PendingBuffer App: %s", id, mode, text.c_str());
      {
        std::lock_guard<std::mutex> guard(mPackageLock);
        mPendingBufferApps = text;
      }
      return;
    default:
      return;
  }
}

void GameTurboTool::runSequence(int id, int mode, int value) {
  if (mode < 10001 || mode > 10005) return;
  for (const Entry& e : kSequences[mode - 10001].entries) {
    if (!e.enabled) continue;
    write_touch_device(id, e.mode, value);
    usleep(static_cast<useconds_t>(e.delayUs));
  }
}

int GameTurboTool::setModeValue(int id, int mode, int value) {
  std::lock_guard<std::mutex> guard(mLock);
  if (mode == COMMON_DATA_MODE_FIRST_FRAME_BOOST) return 0;
  GLOGI("gameturbo setModeValue id:%d, mode:%d, value:%d packages:%s", id, mode, value, packageName().c_str());
  switch (mode) {
    case COMMON_DATA_MODE_GAME_BATTLE:
      write_touch_device(id, mode, value);
      break;
    case COMMON_DATA_MODE_SUPER_TOUCH_LEVEL:
    case COMMON_DATA_MODE_PENDING_BUFFER_LEVEL:
      GLOGI("gameturbo cloud control enable level, ControlMode: %d, ModeValue %d", mode, value);
      (mode == COMMON_DATA_MODE_SUPER_TOUCH_LEVEL ? mSuperTouchLevel : mPendingBufferLevel) = value;
      break;
    case 10000:
    case 10002:
    case 10003:
    case 10004:
    case 10005:
      if (value == 0) {
        GLOGI("setModeValue gameturbo mode to 0, v3.5");
        runSequence(id, mode, 0);
        GLOGI("%s: ", "resetMode");
      } else if (value >= 1 && value <= 99) {
        runSequence(id, mode, value);
      }
      break;
    default:
      break;
  }
  return 0;
}

int GameTurboTool::resetMode(int id, int mode) {
  std::lock_guard<std::mutex> guard(mLock);
  if (mode != COMMON_DATA_MODE_FIRST_FRAME_BOOST) {
    runSequence(id, mode, 0);
    GLOGI("%s: ", "resetMode");
  }
  return 0;
}

int GameTurboTool::getModeDefaultValue(int id, int mode) {
  const int value = mode == COMMON_DATA_MODE_HOT_AREA_GAME_DEFAULT && isHotAreaApp() ? 1 : 0;
  GLOGI("gameturbo getModeDefaultValue id:%d, mode:%d, value:%d", id, mode, value);
  return value;
}

}  // namespace touchfeature
