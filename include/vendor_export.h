#pragma once
// Marks the C entry points a plug-in or library exports; everything else is built with
// hidden visibility.
#ifdef __cplusplus
#define VENDOR_EXTERN_C extern "C"
#else
#define VENDOR_EXTERN_C
#endif
#define VENDOR_EXPORT VENDOR_EXTERN_C __attribute__((visibility("default")))
