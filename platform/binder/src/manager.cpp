// The service manager.
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include <android/binder_manager.h>
#include <android/log.h>

#include "binder_internal.h"
#include "platform_binder_test.h"

namespace {

constexpr const char* kTag = "platform_binder";
// How long the deprecated AServiceManager_getService waits at most.
constexpr std::chrono::milliseconds kGetServiceWait{5000};

struct ServiceManager {
  std::mutex lock;  // guards everything below
  std::condition_variable changed;
  std::map<std::string, AIBinder*> services;  // strong references
  std::set<std::string> declared;
  std::chrono::milliseconds waitTimeout{-1};
};

ServiceManager& sm() {
  static ServiceManager* instance = new ServiceManager();  // lives for the process
  return *instance;
}

AIBinder* waitFor(const char* instance, std::chrono::milliseconds timeout) {
  if (instance == nullptr) return nullptr;
  ServiceManager& m = sm();
  std::unique_lock<std::mutex> lock(m.lock);
  auto registered = [&] { return m.services.count(instance) != 0; };
  if (timeout.count() < 0) {
    m.changed.wait(lock, registered);
  } else if (!m.changed.wait_for(lock, timeout, registered)) {
    __android_log_print(ANDROID_LOG_WARN, kTag, "service %s not registered within %lld ms",
                        instance, static_cast<long long>(timeout.count()));
    return nullptr;
  }
  return binder_internal::asReceived(m.services[instance]);
}

}  // namespace

extern "C" {

binder_exception_t AServiceManager_addService(AIBinder* binder, const char* instance) {
  if (binder == nullptr || instance == nullptr || instance[0] == '\0') return EX_ILLEGAL_ARGUMENT;
  ServiceManager& m = sm();
  AIBinder* old = nullptr;
  AIBinder_incStrong(binder);
  {
    std::lock_guard<std::mutex> lock(m.lock);
    AIBinder*& slot = m.services[instance];
    old = slot;
    slot = binder;
  }
  m.changed.notify_all();
  if (old != nullptr) AIBinder_decStrong(old);
  return EX_NONE;
}

AIBinder* AServiceManager_checkService(const char* instance) {
  if (instance == nullptr) return nullptr;
  ServiceManager& m = sm();
  std::lock_guard<std::mutex> lock(m.lock);
  auto it = m.services.find(instance);
  return it == m.services.end() ? nullptr : binder_internal::asReceived(it->second);
}

AIBinder* AServiceManager_getService(const char* instance) {
  std::chrono::milliseconds timeout;
  {
    std::lock_guard<std::mutex> lock(sm().lock);
    timeout = sm().waitTimeout;
  }
  if (timeout.count() < 0 || timeout > kGetServiceWait) timeout = kGetServiceWait;
  return waitFor(instance, timeout);
}

AIBinder* AServiceManager_waitForService(const char* instance) {
  std::chrono::milliseconds timeout;
  {
    std::lock_guard<std::mutex> lock(sm().lock);
    timeout = sm().waitTimeout;
  }
  return waitFor(instance, timeout);
}

bool AServiceManager_isDeclared(const char* instance) {
  if (instance == nullptr) return false;
  std::lock_guard<std::mutex> lock(sm().lock);
  return sm().declared.count(instance) != 0;
}

}  // extern "C"

namespace platform_binder_test {

void resetServiceManager() {
  std::map<std::string, AIBinder*> dropped;
  {
    std::lock_guard<std::mutex> lock(sm().lock);
    dropped.swap(sm().services);
    sm().declared.clear();
    sm().waitTimeout = std::chrono::milliseconds(-1);
  }
  for (auto& [name, binder] : dropped) AIBinder_decStrong(binder);
}

void setWaitForServiceTimeout(std::chrono::milliseconds timeout) {
  std::lock_guard<std::mutex> lock(sm().lock);
  sm().waitTimeout = timeout;
}

void declareService(const char* instance) {
  std::lock_guard<std::mutex> lock(sm().lock);
  sm().declared.insert(instance);
}

}  // namespace platform_binder_test
