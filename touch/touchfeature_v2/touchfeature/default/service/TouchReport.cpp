// Touch host start and command forwarding.
#include "TouchReport.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

#include <android/log.h>
#include <vistrel/Vistrel.h>

#include "platform/paths.h"

namespace touchfeature {
namespace {

constexpr const char* kTag = "[AIDL] TouchFeatureReport";
#define RLOGE(...) __android_log_print(ANDROID_LOG_ERROR, kTag, __VA_ARGS__)
#define RLOGI(...) __android_log_print(ANDROID_LOG_INFO, kTag, __VA_ARGS__)
#define RLOGD(...) __android_log_print(ANDROID_LOG_DEBUG, kTag, __VA_ARGS__)

using MainFn = int (*)();
using CmdFn = int (*)(common_data*, int*);
using CallbackFn = void (*)(FingerStatusCallback);

// Written by the report thread while binder and poll threads read them: published with
// release/acquire so a caller that sees the command entry sees a loaded library.
std::atomic<void*> g_handle{nullptr};
std::atomic<CmdFn> g_cmd{nullptr};
std::mutex g_threadLock;
std::thread g_thread;

void unload() {
  g_cmd.store(nullptr, std::memory_order_release);
  void* handle = g_handle.exchange(nullptr, std::memory_order_acq_rel);
  if (handle != nullptr) dlclose(handle);
}

void reportThread(FingerStatusCallback callback) {
  RLOGE("start touch_report");
  prctl(PR_SET_NAME, "touch-report", 0, 0, 0);
  set_sched_policy();
  const std::string path = plat_path(kTouchHostLibrary);
  void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW);
  if (handle == nullptr) {
    RLOGE("open touch_report so failed!");
    send_quonevent_message(-1);
    return;
  }
  g_handle.store(handle, std::memory_order_release);
  dlerror();
  auto mainFn = reinterpret_cast<MainFn>(dlsym(handle, "thp_daemon_main"));
  if (const char* error = dlerror(); error != nullptr || mainFn == nullptr) {
    RLOGE("thp_daemon_main not found! error: %s", error != nullptr ? error : "null");
    send_quonevent_message(-2);
    unload();
    return;
  }
  dlerror();
  auto cmdFn = reinterpret_cast<CmdFn>(dlsym(handle, "thp_daemon_cmd_process"));
  if (const char* error = dlerror(); error != nullptr || cmdFn == nullptr) {
    RLOGE("thp_daemon_cmd_process not found! error: %s", error != nullptr ? error : "null");
    send_quonevent_message(-2);
    unload();
    return;
  }
  RLOGD("thp_daemon_cmd_process found!");
  g_cmd.store(cmdFn, std::memory_order_release);
  dlerror();
  auto callbackFn = reinterpret_cast<CallbackFn>(dlsym(handle, "thp_callback_process"));
  if (const char* error = dlerror(); error != nullptr || callbackFn == nullptr) {
    RLOGE("thp_callback_process not found! error: %s", error != nullptr ? error : "null");
    callbackFn = nullptr;
  } else {
    RLOGI("thp_callback_process found!");
  }
  if (callback != nullptr && callbackFn != nullptr) callbackFn(callback);
  const int rc = mainFn();
  if (rc != 0) {
    RLOGE("thp hal init failed");
    send_quonevent_message(rc);
  }
}

const char* policyName(int policy) {
  switch (policy) {
    case SCHED_OTHER: return "OTHER";
    case SCHED_FIFO: return "FIFO";
    case SCHED_RR: return "RR";
    default: return "unknown";
  }
}

}  // namespace

void set_sched_policy() {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 1; cpu <= 3; ++cpu) CPU_SET(cpu, &set);
  if (sched_setaffinity(0, sizeof set, &set) != 0) {
    if (errno == EINVAL) RLOGD("Invalid cpu\n");
    else RLOGE("sched_setaffinity failed");
  }
  // Without the privilege these calls are refused: the thread runs on at normal priority.
  const int rc = setpriority(PRIO_PROCESS, 0, -20);
  if (rc == 0) RLOGI("set priority ok");
  else RLOGI("fail to set priority,error:%d", rc);
  RLOGI("Default sched policy is %s", policyName(sched_getscheduler(0)));
  struct sched_param param{};
  param.sched_priority = sched_get_priority_max(SCHED_FIFO) / 2;
  const int s = sched_setscheduler(0, SCHED_FIFO, &param);
  if (s == 0) RLOGI("set scheduler policy to SCHED_FIFO");
  else RLOGI("fail to set scheduler policy to SCHED_FIFO, error:%d", s);
  struct sched_param now{};
  sched_getparam(0, &now);
  RLOGI("get scheduler:%d, priority:%d", sched_getscheduler(0), now.sched_priority);
}

void touch_report_init(FingerStatusCallback callback) {
  std::lock_guard<std::mutex> guard(g_threadLock);
  if (g_thread.joinable()) return;
  try {
    g_thread = std::thread(reportThread, callback);
  } catch (const std::system_error&) {
    // Without the thread commands keep going to the driver.
  }
}

void touch_report_exit() {
  std::lock_guard<std::mutex> guard(g_threadLock);
  if (g_thread.joinable()) {
    if (g_handle.load(std::memory_order_acquire) == nullptr) {
      // Not loaded (or given up): the thread has ended or is about to.
      g_thread.join();
      return;
    }
    g_thread.join();
  }
  unload();
}

int send_to_thp(int, common_data* block, int* pass_to_driver) {
  const CmdFn cmd = g_cmd.load(std::memory_order_acquire);
  if (cmd != nullptr) return cmd(block, pass_to_driver);
  if (pass_to_driver != nullptr) *pass_to_driver = 1;
  RLOGE("open touch_report so failed!");
  return -1;
}

void send_quonevent_message(int error_code) {
  QuonEvent event(kFaultEventId);
  event.putInt("panel_id", 0);
  event.putString("fault_name", "TpThpInitFail");
  event.putInt("error_code", error_code);
  const int rc = Vistrel::sendEvent(event);
  if (rc < 0) RLOGE("Couldn't sendEvent to Vistrel! rc = %d", rc);
  else RLOGD("sendEvent to Vistrel! error_code = %d", error_code);
}

}  // namespace touchfeature
