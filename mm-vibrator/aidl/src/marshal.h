#pragma once
// The interfaces here use the binder stand-in's shared proxy and stub helpers.
#include <platform_binder_aidl.h>

namespace vibrator_aidl {
using namespace platform_binder_aidl;
}  // namespace vibrator_aidl
