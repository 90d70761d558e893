#pragma once
// Log tags of the core. Messages keep the exact texts the vibrator's log readers grep for.

#include <android/log.h>

namespace brax {
inline constexpr const char* kTag = "BRAX_HAPTICS";
inline constexpr const char* kConvertTag = "COONVERT_HED";
}  // namespace brax

#define BRAX_LOGE(...) __android_log_print(ANDROID_LOG_ERROR, ::brax::kTag, __VA_ARGS__)
#define BRAX_LOGD(...) __android_log_print(ANDROID_LOG_DEBUG, ::brax::kTag, __VA_ARGS__)
#define BRAX_CONV_LOGE(...) __android_log_print(ANDROID_LOG_ERROR, ::brax::kConvertTag, __VA_ARGS__)
#define BRAX_CONV_LOGD(...) __android_log_print(ANDROID_LOG_DEBUG, ::brax::kConvertTag, __VA_ARGS__)
