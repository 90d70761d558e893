#pragma once
// The process's binder thread pool. Calls run on the caller's thread in this host build;
// the pool only records its settings, and joining blocks until the test stops the process.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void ABinderProcess_startThreadPool(void);
bool ABinderProcess_setThreadPoolMaxThreadCount(uint32_t numThreads);
bool ABinderProcess_isThreadPoolStarted(void);
// Blocks until platform_binder_test::stopProcess().
void ABinderProcess_joinThreadPool(void);

#ifdef __cplusplus
}
#endif
