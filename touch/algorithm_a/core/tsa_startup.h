#pragma once
// Algorithm start-up: describes the controller to the algorithm with three item packages
// (versions, front-end capabilities, configuration) and starts it. The same items are what
// a later replay reads back, so their ids and value widths are fixed:
//   id top byte 0x01 u16 value or u16 array, 0x00 u8, 0x08 raw bytes, 0x09 u16 feature
//   word, 0x10 NUL-terminated text; every package opens with 0x01000000 and closes with
//   0x01000001, both carrying the u16 package kind.
#include <cstddef>
#include <cstdint>

#define STARTUP_TEXT_BYTES 128u
#define STARTUP_VERSION_TEXT_MAX 64u
#define STARTUP_VERSION_PKG_BYTES 1024u
#define STARTUP_AFE_PKG_BYTES 4096u
#define STARTUP_CONFIG_PKG_BYTES 4608u
#define STARTUP_CONFIG_BYTES 4096u

#define STARTUP_KIND_VERSION 1u
#define STARTUP_KIND_AFE 2u
#define STARTUP_KIND_CONFIG 3u

#define STARTUP_ERR_VERSION (-1)
#define STARTUP_ERR_AFE (-2)
#define STARTUP_ERR_CONFIG (-3)

#pragma pack(push, 1)
struct AfeInfo {
  char vendor[32];
  char product[32];
  char version[32];
  uint32_t config_id;
  uint8_t chip_uid[16];
};
#pragma pack(pop)
static_assert(sizeof(AfeInfo) == 116);
static_assert(offsetof(AfeInfo, product) == 32);
static_assert(offsetof(AfeInfo, version) == 64);
static_assert(offsetof(AfeInfo, config_id) == 96);
static_assert(offsetof(AfeInfo, chip_uid) == 100);

extern "C" {

extern AfeInfo afe_info;

// Binds the module's records to each other (replay-data writer, request ring, start-up
// source, configuration store, replay hooks), then builds and hands over the packages.
// 0, -1 version package not allocated, -2 capability package failed, -3 configuration
// not handed over.
int32_t ferx_tsa_init(void);

// Binds the module's records as ferx_tsa_init does, once, for a tool that drives the module
// only through the Tsa entries (no host init in its process).
void TsaEnsureModuleBound(void);

// Test control: undoes the bindings ferx_tsa_init made.
void TsaStartupUnbindForTest(void);

}  // extern "C"
