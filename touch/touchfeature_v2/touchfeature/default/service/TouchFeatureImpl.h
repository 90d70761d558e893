#pragma once
// The ITouchFeature service object: touch modes, client callbacks, and the wiring of the
// device access, the touch host and the game-turbo tool.
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <aidl/vendor/tamrel/hw/touchfeature/ITouchFeature.h>

#include "GameTurboTool.h"

namespace touchfeature {

using ::aidl::vendor::tamrel::hw::touchfeature::BnTouchFeature;
using ::aidl::vendor::tamrel::hw::touchfeature::ITouchFeatureCallback;

inline constexpr const char* kDynamicRateFile = "/odm/etc/touch/dynamicrate.json";

struct EventsNode {
  EventsNode();
  ~EventsNode();
  uint32_t count = 0;
  std::thread thread;
  std::vector<std::string> events;
};

class TouchFeatureImpl : public BnTouchFeature {
 public:
  TouchFeatureImpl();
  ~TouchFeatureImpl() override;
  void init();

  ::ndk::ScopedAStatus getModeCurValue(int32_t id, int32_t mode, int32_t* out) override;
  ::ndk::ScopedAStatus getModeDefaultValue(int32_t id, int32_t mode, int32_t* out) override;
  ::ndk::ScopedAStatus getModeMaxValue(int32_t id, int32_t mode, int32_t* out) override;
  ::ndk::ScopedAStatus getModeMinValue(int32_t id, int32_t mode, int32_t* out) override;
  ::ndk::ScopedAStatus getModeValue(int32_t id, int32_t mode, std::vector<int32_t>* values) override;
  ::ndk::ScopedAStatus getTouchEvent(std::string* out) override;
  ::ndk::ScopedAStatus modeReset(int32_t id, int32_t mode, int32_t* out) override;
  ::ndk::ScopedAStatus setModeLongValue(int32_t id, int32_t mode, int32_t count, const std::vector<int32_t>& values,
                                        int32_t* out) override;
  ::ndk::ScopedAStatus setModeValue(int32_t id, int32_t mode, int32_t value, int32_t* out) override;
  ::ndk::ScopedAStatus getModeCurValueString(int32_t id, int32_t mode, std::string* out) override;
  ::ndk::ScopedAStatus getModeWhiteList(int32_t id, const std::vector<int32_t>& modes, std::string* out) override;
  ::ndk::ScopedAStatus registerCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                        const std::string& name, int32_t* out) override;
  ::ndk::ScopedAStatus unregisterCallback(int32_t id, const std::shared_ptr<ITouchFeatureCallback>& callback,
                                          const std::string& name, int32_t* out) override;
  ::ndk::ScopedAStatus setModePackageName(int32_t id, int32_t mode, const std::string& text,
                                          std::string* out) override;

  void sendModeToClient(int32_t id, int32_t mode, int32_t value, const std::vector<int32_t>& values,
                        const std::string& name, const std::vector<std::string>& names);
  void onServiceDied();
  GameTurboTool& gameTurboTool() { return mGameTurboTool; }
  size_t clientCount();

  static void thp_update_finger_status(int* status);

 private:
  void setClientCtl(int32_t id, int32_t mode, int32_t value);
  static void onBinderDied(void* cookie);

  GameTurboTool mGameTurboTool;
  EventsNode mEvents;
  std::mutex mClientLock;
  ::ndk::ScopedAIBinder_DeathRecipient mDeathRecipient;
  std::unordered_map<std::string, std::shared_ptr<ITouchFeatureCallback>> mClients;
};

// The program's entry after the process set-up: registers the service and joins the pool.
int runTouchFeatureService();

}  // namespace touchfeature
