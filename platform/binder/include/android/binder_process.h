#pragma once
// The process's binder thread pool. Calls that arrive through proxies are served on its
// threads, never on the caller's: one started by ABinderProcess_startThreadPool, more on
// demand up to the maximum, and every thread inside ABinderProcess_joinThreadPool.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void ABinderProcess_startThreadPool(void);
bool ABinderProcess_setThreadPoolMaxThreadCount(uint32_t numThreads);
bool ABinderProcess_isThreadPoolStarted(void);
// Serves calls on this thread until platform_binder_test::stopProcess().
void ABinderProcess_joinThreadPool(void);

#ifdef __cplusplus
}
#endif
