#pragma once
// The SoC-information library: which system-on-chip this is.
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  int32_t soc_id;
  char soc_name[32];
} soc_info_t;

// 0 and *info filled, or -EINVAL for a null pointer.
int get_soc_info(soc_info_t* info);

#ifdef __cplusplus
}
#endif
