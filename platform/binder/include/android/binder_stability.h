#pragma once
#include <android/binder_ibinder.h>

#ifdef __cplusplus
extern "C" {
#endif
// Marks a local binder as part of the stable vendor interface. Recorded only.
void AIBinder_markVintfStability(AIBinder* binder);
void AIBinder_markVendorStability(AIBinder* binder);
#ifdef __cplusplus
}
#endif
