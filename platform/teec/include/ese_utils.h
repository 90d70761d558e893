// eSE utility calls of the vendor's eSE libraries: the supply switch, the chip's vendor byte
// and the driver's requests.
#pragma once

#include <stdint.h>

#define ESE_IOCTL_COLD_RESET 0xC010E908ul

#ifdef __cplusplus
extern "C" {
#endif
int eseSetPower(bool on);
uint8_t eseGetVendorId(void);
int eseIoctl(unsigned long request, uint8_t arg);
#ifdef __cplusplus
}
#endif
