#pragma once
// The module interface of algorithm A: the one export register_alg_module, the static
// AlgModule descriptor and its operations, the host's callback table and the module state
// that lives beside it (command mutex, timers, idle periods, dump buffers, the
// configuration file as read).
#include <pthread.h>

#include <cstdint>

#include "alg_module.h"
#include "tsa_cmdchan.h"
#include "vendor_export.h"

#define FERX_ALG_NAME "ferrant-alg"
#define FERX_ALG_VERSION "ferx-alg-24.10.14.002"

#define FERX_FLASH_BIN_BYTES 4609u      // the configuration file as read
#define FERX_CONFIG_OFFSET 1u           // configuration blob from byte 1
#define FERX_IC_INFO_OFFSET 4097u       // controller information block
#define FERX_FRAME_PACKAGE_BYTES 16384u
#define FERX_REPORT_PACKAGE_BYTES 2048u
#define FERX_DUMP_DIFF_BYTES 4000u
#define FERX_DUMP_DIFF_CELLS (FERX_DUMP_DIFF_BYTES / 2u)
#define FERX_REPLAY_CACHE_BYTES 122880u
#define FERX_REPLAY_CHUNK_BYTES 10240u
// The most the dump operations write: dump save 4 + 4000 + the larger of a replay body
// (pre-packed frame and log cache) and a 10240-byte head piece; dump as text stops here.
#define FERX_DUMP_SAVE_OUT_BYTES (4u + FERX_DUMP_DIFF_BYTES + 20480u + 12288u)
#define FERX_DUMP_TEXT_BYTES 65536u
#define FERX_FRAME_COUNTER_MAX 2000u
#define FERX_IDLE_FRAMES_MAX 250u
#define FERX_EDGE_PARAM_COUNT 64u
#define FERX_EDGE_BLOCK_ENTRIES 4u      // entries of four values per block
#define FERX_EDGE_GROUP_WORDS 8u        // words per edge-parameter group

// Module commands the host operations hand to the control state.
#define FERX_MCMD_SCREEN 144u
#define FERX_MCMD_SCAN_RATE 194u
#define FERX_MCMD_GAME_EDGE 23u
#define FERX_MCMD_POCKET 112u
#define FERX_MCMD_CHARGE 175u
#define FERX_MCMD_TEMPERATURE 96u
#define FERX_MCMD_EDGE_PARAM 25u
#define FERX_MCMD_SLOT_BYTES 16u

// Controller command queued by the common-data commands.
#define FERX_CMD_SCAN_RATE 0x9Du

extern "C" {

VENDOR_EXPORT AlgModule* register_alg_module(AlgHostCallbacks* callbacks);

// Operations of the descriptor.
int32_t ferx_alg_module_init(void);
int32_t ferx_alg_module_exit(void);
int32_t ferx_alg_update_suspend_status(uint32_t status);
int32_t ferx_alg_receive_common_data(common_data* data);
int32_t ferx_alg_update_frame_data(DecodedFrame* frame);
int32_t ferx_alg_update_diff_data(uint64_t ignored, DecodedFrame* frame);
int32_t ferx_alg_read_config_param(uint64_t unused0, uint64_t unused1, uint64_t unused2, int32_t fd);
const char* ferx_alg_get_version(void);
int32_t ferx_alg_dump_save(uint8_t index, uint32_t* out, uint32_t* out_length, uint8_t flags);
int32_t ferx_alg_dump_csv(const uint8_t* in, uint32_t in_length, int32_t index, char* text, uint8_t flags);

// Timer expiry handlers (host timer thread).
int32_t ferx_doze_timer_handler(timer_tool* timer);
int32_t ferx_baseline_timer_handler(timer_tool* timer);

// Exported helpers no path of the module calls.
VENDOR_EXPORT void check_doze(uint8_t on);
VENDOR_EXPORT void ferx_rotate_abcd2cbad(int32_t a, uint32_t b, uint16_t* data);

// Module state.
// The operation table register_alg_module hands to the host.
extern AlgModule gstFerxAlgModule;
extern AlgHostCallbacks* alg_host_callbacks;
extern pthread_mutex_t handle_tsd_cmd_mutex;
extern timer_tool doze_timer;
extern timer_tool baseline_timer;
extern uint16_t guwIdleTime;
extern uint16_t guwIdleBaseLineTime;
extern uint8_t high_speed_idle;
extern uint8_t fod_report_en;
extern uint8_t gpubCmdData[2];
extern uint16_t gppuwEdgePramCmd[FERX_EDGE_PARAM_COUNT];
extern uint16_t update_frame_date_cnt;
extern uint16_t update_diff_date_cnt;
extern uint16_t idle_frame_cnt;
extern uint32_t frame_number;
extern uint32_t package_data_len;
extern uint8_t frame_package[FERX_FRAME_PACKAGE_BYTES];
extern uint8_t report_package[FERX_REPORT_PACKAGE_BYTES];
extern uint32_t report_package_len;
extern uint8_t point_num_bak;
extern uint8_t fp_state_bak;
extern uint8_t dump_diff_buf[FERX_DUMP_DIFF_BYTES];
extern uint8_t replay_cache[FERX_REPLAY_CACHE_BYTES];
extern uint32_t replay_remain;
extern uint32_t replay_offset;
extern uint32_t dump_drv_num;
extern uint32_t dump_sen_num;
extern uint8_t flash_bin_buf[FERX_FLASH_BIN_BYTES];
extern uint32_t flash_bin_len;
extern const uint8_t* g_config_ptr;
extern IcVersion ic_version;
extern IcInfo ic_info;

// Test control: every module variable back to its load-time value (the host table too).
void TsaModuleResetForTest(void);

}  // extern "C"
