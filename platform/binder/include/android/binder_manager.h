#pragma once
// The service manager: one registry per process in this host build.
#include <android/binder_ibinder.h>
#include <android/binder_status.h>

#ifdef __cplusplus
extern "C" {
#endif

// EX_NONE on success; EX_ILLEGAL_ARGUMENT for a null binder or an empty name.
binder_exception_t AServiceManager_addService(AIBinder* binder, const char* instance);
// A proxy of the registered binder (strong reference for the caller) or null, at once.
AIBinder* AServiceManager_checkService(const char* instance);
// Waits for the instance to be registered (deprecated form: bounded wait).
AIBinder* AServiceManager_getService(const char* instance);
// Waits until the instance is registered. A test may bound the wait
// (platform_binder_test::setWaitForServiceTimeout); it then returns null on time-out.
AIBinder* AServiceManager_waitForService(const char* instance);
// Whether the device manifest declares the instance (platform_binder_test::declareService).
bool AServiceManager_isDeclared(const char* instance);

#ifdef __cplusplus
}
#endif
