#pragma once
// Test control for the property store.

#ifdef __cplusplus
extern "C" {
#endif

// Forgets every property (write-once "ro." bookkeeping included) and blanks the values
// mirrored into libbase. The defaults files are read again at the next use, from the root
// and VENDOR_PROPERTIES in force then.
void plat_properties_reset(void);

#ifdef __cplusplus
}
#endif
