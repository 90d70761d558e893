#pragma once
// The objects behind the binder C handles. Private to the stand-in.
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <android/binder_ibinder.h>
#include <android/binder_parcel.h>
#include <android/binder_status.h>

struct AStatus {
  binder_exception_t exception = EX_NONE;
  int32_t serviceSpecific = 0;
  binder_status_t status = STATUS_OK;
  std::string message;
};

struct AIBinder_Class {
  std::string descriptor;
  AIBinder_Class_onCreate onCreate = nullptr;
  AIBinder_Class_onDestroy onDestroy = nullptr;
  AIBinder_Class_onTransact onTransact = nullptr;
  AIBinder_onDump onDump = nullptr;
  AIBinder_handleShellCommand handleShellCommand = nullptr;
};

// Reference counted: `strong` users, `weak` users plus one held for all strong users.
struct AIBinder {
  std::atomic<int32_t> strong{1};
  std::atomic<int32_t> weak{1};
  std::atomic<const AIBinder_Class*> clazz{nullptr};

  virtual ~AIBinder() = default;
  virtual bool remote() const = 0;
  // Runs when the last strong reference goes.
  virtual void onLastStrongRef() = 0;
};

namespace binder_internal {

struct RemoteBinder;

struct LocalBinder : AIBinder {
  void* userData = nullptr;
  std::atomic<bool> alive{true};
  std::atomic<bool> vintf{false};
  std::mutex extensionLock;  // guards extension
  AIBinder* extension = nullptr;
  std::mutex proxyLock;  // guards proxy
  AIBinder_Weak* proxy = nullptr;

  bool remote() const override { return false; }
  void onLastStrongRef() override;
};

struct RemoteBinder : AIBinder {
  LocalBinder* target = nullptr;  // strong reference

  bool remote() const override { return true; }
  void onLastStrongRef() override;
};

void incWeak(AIBinder* binder);
void decWeak(AIBinder* binder);
// A strong reference to the one proxy of a local binder (made on first use).
AIBinder* proxyFor(LocalBinder* local);
// A binder as a client in another process receives it: a proxy for a local binder.
AIBinder* asReceived(AIBinder* binder);

// The thread pool (thread_pool.cpp). Runs `call` on a pool thread and returns when it has
// ended: the serving side of a synchronous call through a proxy.
void runOnPool(const std::function<void()>& call);
// Queues a one-way call for `target` and returns at once; one target's calls run one at a
// time, in order. `call` owns what it needs (its parcel, a reference to the target).
void queueOneway(const AIBinder* target, std::function<void()> call);

}  // namespace binder_internal

struct AParcel {
  std::vector<uint8_t> data;
  mutable size_t position = 0;
  // Binder objects by the offset of their entry in `data` (strong references).
  std::map<size_t, AIBinder*> objects;

  AParcel() = default;
  AParcel(const AParcel& other);
  AParcel& operator=(const AParcel&) = delete;
  ~AParcel();
};
