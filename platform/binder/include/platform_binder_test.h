#pragma once
// Test control of the binder stand-in: never called by production code.
#include <chrono>
#include <cstdint>

#include <android/binder_ibinder.h>

namespace platform_binder_test {

// Ends the thread pool: every pool thread (joined or started) leaves once no call is left
// for it, and any later join returns likewise, until resetProcess.
void stopProcess();
// Stops the pool, waits for its threads to leave, then forgets its settings and the stop.
void resetProcess();
// Waits until `count` threads are blocked in ABinderProcess_joinThreadPool.
bool waitForJoinedThreads(int count, std::chrono::milliseconds timeout);
uint32_t threadPoolMaxThreadCount();
// True on a thread of the binder thread pool (one serving calls that came through proxies).
bool onPoolThread();

// Drops every registered service and manifest declaration; waits become unbounded again.
void resetServiceManager();
// Bounds AServiceManager_waitForService (a negative value waits forever, the default).
void setWaitForServiceTimeout(std::chrono::milliseconds timeout);
// Adds an instance to the simulated device manifest (AServiceManager_isDeclared).
void declareService(const char* instance);

// Simulates the death of the process hosting a local binder: its proxies stop answering
// (STATUS_DEAD_OBJECT) and their death recipients are notified on this thread.
bool killBinder(AIBinder* localBinder);
bool isVintfStable(AIBinder* binder);

}  // namespace platform_binder_test
