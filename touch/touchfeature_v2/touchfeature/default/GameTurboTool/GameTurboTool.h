#pragma once
// The game-related part of the touch feature service: the game-turbo JSON files, the
// foreground package and its hot-area text, the command sequences of the game-turbo modes
// and the per-package state file.
#include <semaphore.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace touchfeature {

inline constexpr const char* kControlFile = "/odm/etc/touch/gameturbotool-control.json";
inline constexpr const char* kFastInputFile = "/odm/etc/touch/gameturbotool-fastinput.json";
inline constexpr const char* kStateFile = "/data/vendor/touch_state/gameturbotool-control-state.json";
inline constexpr const char* kWhiteListFile = "/odm/etc/touch/gameturbotool.json";
inline constexpr const char* kNoValidApp = "no valid app";
inline constexpr size_t kHotAreaTextMax = 1024;

class TouchFeatureImpl;

class GameTurboTool {
 public:
  GameTurboTool();
  virtual void gameTurboToolCallback();
  virtual ~GameTurboTool();

  int init(TouchFeatureImpl* owner);
  int setModeValue(int id, int mode, int value);
  int resetMode(int id, int mode);
  int getModeDefaultValue(int id, int mode);
  static bool isGameTurboToolMode(int mode) { return mode >= 10000 && mode <= 10005; }
  static bool isGameTurboToolModeCommand(int mode) { return mode >= 10100 && mode <= 10106; }
  std::string getModeList();
  static std::string readJsonConfigFile();
  void checkIsEnableListApp(const std::string& package);
  bool isHotAreaApp(const std::string& name = "");
  int loadHotArea(const std::string& path, const std::vector<std::string>& list, std::string& text);
  int writeHotArea(const std::string& path, const std::vector<std::string>& list, const std::string& text);
  int sendHotAreaToThp(int id);
  void writeState();
  int perfLockInit();
  // The package-level operations of setModePackageName.
  void setPackageLevel(int id, int mode, const std::string& text);

  // Read-outs for the service and its tests.
  std::string packageName() const;
  bool isSuperTouchApp() const;
  bool isPendingBufferApp() const;
  bool hotAreaEnabled() const { return mHotAreaEnable; }
  int superTouchLevel() const { return mSuperTouchLevel; }
  int pendingBufferLevel() const { return mPendingBufferLevel; }
  std::map<std::string, int32_t> states() const { return mState; }
  int boostState() const { return mBoostState.load(); }
  bool perfLockResolved() const { return mPerfLockAcq != nullptr && mPerfLockRel != nullptr; }

 private:
  void parseSuperCoreList();
  int parseHotAreaInfo();
  void buildStateMap();
  // 0 with the hot-area file path of the foreground package, or -1 / -2.
  int hotAreaPath(std::string* path);
  void runSequence(int id, int mode, int value);

  mutable std::mutex mPackageLock;  // the package name, the hot-area cache and the app lists
  std::vector<std::string> mPackage{""};
  bool mBoostEnable = false, mDurationEnable = false, mSuperTouchEnable = false, mPendingBufferEnable = false,
       mDropBufferEnable = false;
  int mBoostLevel = 0, mDurationLevel = 0, mSuperTouchLevel = 0, mPendingBufferLevel = 0, mDropBufferLevel = 0;
  std::string mSuperTouchApps;
  std::string mPendingBufferApps;
  bool mIsSuperTouchApp = false;
  bool mIsPendingBufferApp = false;
  std::vector<std::string> mSuperCoreApps;
  bool mHotAreaEnable = false;
  std::string mHotAreaCache;
  std::map<std::string, std::string> mHotAreaKind;
  std::map<std::string, std::string> mHotAreaPath;
  std::map<std::string, int32_t> mState;
  std::mutex mLock;  // serialises setModeValue sequences
  std::string mVersion;
  TouchFeatureImpl* mOwner = nullptr;
  std::atomic<int> mBoostState{0};
  sem_t mBoostSignal;
  void* mPerfHandle = nullptr;
  void* mPerfLockAcq = nullptr;
  void* mPerfLockRel = nullptr;
};

}  // namespace touchfeature
