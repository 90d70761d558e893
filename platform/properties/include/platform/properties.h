#pragma once
// System properties for the host: the calls of Android's libcutils property API with the
// same signatures, plus the libbase wait helpers that the host libbase lacks.
//
// The store lives in this library (one per process). Every value set here is mirrored into
// libbase's in-process store, so android::base::GetProperty and friends read the same
// values. Defaults are loaded at first use from "/vendor/build.prop" and "/odm/build.prop"
// (through the path layer, so under VENDOR_ROOT) and then from the file named by the
// environment variable VENDOR_PROPERTIES, each later file overriding the earlier ones.

#include <stdint.h>

#ifndef PROP_NAME_MAX
#define PROP_NAME_MAX 32
#endif
#ifndef PROP_VALUE_MAX
#define PROP_VALUE_MAX 92
#endif
#ifndef PROPERTY_KEY_MAX
#define PROPERTY_KEY_MAX PROP_NAME_MAX
#endif
#ifndef PROPERTY_VALUE_MAX
#define PROPERTY_VALUE_MAX PROP_VALUE_MAX
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Copies the value (or default_value when the property is missing or empty; "" when that is
// NULL) into value, which must hold PROP_VALUE_MAX bytes. Longer values are cut to
// PROP_VALUE_MAX - 1 bytes. Returns the length copied.
int property_get(const char* key, char* value, const char* default_value);

// 0 on success; -EINVAL for an empty key or one with control characters, '=' or
// whitespace, a NULL value, or a value of PROP_VALUE_MAX bytes or more (keys starting
// with "ro." may hold longer values); -EPERM for a second set of an "ro." key.
int property_set(const char* key, const char* value);

// 1 for "1", "y", "yes", "on", "true"; 0 for "0", "n", "no", "off", "false"; else default.
int8_t property_get_bool(const char* key, int8_t default_value);
// strtoimax with the base taken from the text (0x.. hex, 0.. octal); default when missing,
// without digits, or out of range.
int64_t property_get_int64(const char* key, int64_t default_value);
int32_t property_get_int32(const char* key, int32_t default_value);

// Calls propfn for every property, in key order.
int property_list(void (*propfn)(const char* key, const char* value, void* cookie),
                  void* cookie);

#ifdef __cplusplus
}  // extern "C"

#include <chrono>
#include <string>

namespace android::base {
// Waits until the property has exactly expected_value. False on time-out.
bool WaitForProperty(const std::string& key, const std::string& expected_value,
                     std::chrono::milliseconds relative_timeout =
                         std::chrono::milliseconds::max());
// Waits until the property exists (any value, even empty). False on time-out.
bool WaitForPropertyCreation(const std::string& key,
                             std::chrono::milliseconds relative_timeout =
                                 std::chrono::milliseconds::max());
}  // namespace android::base
#endif
