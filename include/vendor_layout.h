#pragma once
// Compile-time layout checks shared by the public plug-in headers. The records cross
// library boundaries between separately built modules, so every size and every offset a
// peer relies on is pinned here, in C and in C++ alike.
#include <stddef.h>

#ifdef __cplusplus
#define VENDOR_LAYOUT_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define VENDOR_LAYOUT_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#define VENDOR_ASSERT_SIZE(type, size) \
  VENDOR_LAYOUT_ASSERT(sizeof(type) == (size), #type " must be " #size " bytes")
#define VENDOR_ASSERT_OFFSET(type, field, off) \
  VENDOR_LAYOUT_ASSERT(offsetof(type, field) == (off), #type "." #field " must sit at byte " #off)

// The records hold raw pointers at fixed byte positions: they are laid out for the 64-bit
// targets the modules run on.
VENDOR_LAYOUT_ASSERT(sizeof(void *) == 8, "the plug-in records assume 8-byte pointers");
