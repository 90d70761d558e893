#pragma once
// Debug daemon glue, the controller request ring and the replay log cache.
//
// Request ring: stages and commands cannot talk to the controller in the middle of a frame,
// so they queue complete controller packets as 40-byte requests (layout of the firmware
// command packets: u32 type 1, u16 packet length, the packet from byte 6); the module sends
// them after each frame operation. At most 10 wait; a full ring drops the new request.
// Producers run on the host's frame thread and its command thread, so every push and the
// drain's take hold the ring's own lock.
//
// Replay log cache: trace items the stages write during a frame, collected by the dump
// operations and the debug daemon with the frame's report.
//
// Debug daemon: the optional outside library libferx_tsd, loaded only when both it and the
// tool node exist; it gets the command mutex and may register a per-frame event function.
#include <cstddef>
#include <cstdint>

#include "tsa_pack.h"
#include "tsa_replay.h"
#include "vendor_export.h"

#define TSA_REQUEST_BYTES REPORT_REQUEST_BYTES
#define TSA_REQUEST_MAX REPORT_REQUEST_MAX
#define TSA_REQUEST_TYPE_CMD 1u
#define TSA_REQUEST_PACKET_AT 6u
#define TSA_REQUEST_PACKET_MAX (TSA_REQUEST_BYTES - TSA_REQUEST_PACKET_AT)

#define REPLAY_LOG_CACHE_BYTES 12288u
#define REPLAY_PREPACK_BYTES 20480u

#define TSD_LIB_PATH "/vendor/lib64/libferx_tsd.so"
#define TSD_NODE_PATH "/dev/fxt_tools"
#define TSD_START_SYMBOL "tsd_debug_thread_start"
#define TSD_STOP_SYMBOL "tsd_debug_thread_stop"

#pragma pack(push, 1)

// The replay log cache: data, then the count of bytes in use.
struct ReplayLogCache {
  uint8_t data[REPLAY_LOG_CACHE_BYTES];
  uint32_t count;
};

// A fixed-capacity buffer of {u32 id, u32 length, bytes} items; data follows the head.
struct ReplayPkg {
  uint32_t capacity;
  uint32_t used;
  uint8_t* data;
};

// Coordinates of a recorded frame, as parse_coor_from_rep finds them.
struct FrameCoorInfo {
  uint8_t reserved0[4];
  uint32_t value4;    // item 0x0100222C
  uint32_t value8;    // item 0x0100222D
  uint8_t value12;    // item 9002
  uint8_t reserved13[3];
  uint32_t value16;   // item 0x01002230
  uint32_t value20;   // item 0x01002231
  uint8_t reserved24[28];
  uint8_t flag52;     // 1 once item 9002 was seen
  uint8_t reserved53[3];
  uint8_t value56;    // item 9001
  uint8_t reserved57[3];
};

#pragma pack(pop)

static_assert(sizeof(ReplayLogCache) == REPLAY_LOG_CACHE_BYTES + 4);
static_assert(sizeof(ReplayPkg) == 16);
static_assert(sizeof(FrameCoorInfo) == 60);
static_assert(offsetof(FrameCoorInfo, value4) == 4);
static_assert(offsetof(FrameCoorInfo, value8) == 8);
static_assert(offsetof(FrameCoorInfo, value12) == 12);
static_assert(offsetof(FrameCoorInfo, value16) == 16);
static_assert(offsetof(FrameCoorInfo, value20) == 20);
static_assert(offsetof(FrameCoorInfo, flag52) == 52);
static_assert(offsetof(FrameCoorInfo, value56) == 56);

typedef void (*TsdFrameEventFn)(uint8_t* frame_package, uint32_t frame_length, uint8_t* report_package,
                                uint32_t report_length);
typedef int32_t (*TsdThreadStartFn)(void* cmd_mutex);
typedef void (*TsdThreadStopFn)(void);

extern "C" {

extern uint8_t tsa_request_ring[TSA_REQUEST_MAX * TSA_REQUEST_BYTES];
extern uint8_t tsa_request_num;
extern ReplayLogCache log_to_file;
extern TsdFrameEventFn tsd_frame_event_notify;

// ---- Request ring --------------------------------------------------------------------
// Queues one 40-byte request: 0, or -1 when the ring is full (the request is dropped).
int32_t TsaRequestPush(const uint8_t* entry);
// Queues a request of TYPE carrying PACKET (LEN bytes, at most 34): 0, or -1 when the ring
// is full or the packet does not fit a request.
int32_t TsaRequestPushPacket(uint32_t type, const uint8_t* packet, uint16_t len);
// Takes every queued request into OUT (room for 10 entries), oldest first, and empties
// the ring: the number taken.
uint32_t TsaRequestTakeAll(uint8_t* out);
// Takes the newest queued request into OUT (40 bytes): 0, or -1 when none is queued.
int32_t TsaRequestTakeNewest(uint8_t* out);
// Number of queued requests (never more than the ring holds).
uint8_t TsaRequestCount(void);
// Takes every queued request and sends them (outside any other lock). Returns what
// process_tsa_request returned.
int32_t TsaRequestDrain(void);
// Sends COUNT requests in order: the result of the last failed send, else 0.
int32_t process_tsa_request(const uint8_t* entries, uint32_t count);
// Binds the framework's request sink to the ring.
void TsaRequestRingBind(void);

// ---- Replay log cache ------------------------------------------------------------------
// Appends N bytes; an item that does not fit whole is dropped (logged once per frame).
void save_replay_data_to_cache(uint8_t* data, uint32_t n);
void clean_rep_data_cache(void);

// ---- Replay head and body -------------------------------------------------------------
// *length: in = capacity of OUT, out = bytes written.
VENDOR_EXPORT int32_t store_replay_head(uint8_t* out, uint32_t* length);
VENDOR_EXPORT int32_t store_replay_body(uint8_t* out, uint32_t* length);
VENDOR_EXPORT int32_t tsa_store_replay_body(uint8_t* out, uint32_t* length);

// ---- Replay packages -------------------------------------------------------------------
VENDOR_EXPORT ReplayPkg* module_get_replay_pkg(uint32_t capacity);
VENDOR_EXPORT void module_free_replay_pkg(ReplayPkg* pkg);
VENDOR_EXPORT int32_t module_append_replay_item(ReplayPkg* pkg, uint32_t id, uint32_t length, const void* data);
VENDOR_EXPORT uint32_t module_insert_replay_item(uint8_t* buffer, uint32_t offset, uint32_t capacity,
                                                 const void* data, uint32_t n);
VENDOR_EXPORT uint32_t module_thp_replay_pack(uint16_t kind, int32_t n, const ReplayItemDesc* items, uint8_t* out,
                                              uint32_t capacity);
// 0 every item handed over; -1 null handler; -2 a handler refused; -3 malformed stream.
VENDOR_EXPORT int32_t module_thp_replay_unpack(uint8_t* buffer, int32_t length, ReplayItemCallback handler);
VENDOR_EXPORT FrameCoorInfo* parse_coor_from_rep(uint8_t* items, uint32_t length);

// ---- Debug daemon ------------------------------------------------------------------------
int32_t ferx_tsd_init(void);
void ferx_tsd_exit(void);
VENDOR_EXPORT void tsd_frame_event_notify_func_register(TsdFrameEventFn fn);

// Test control: empty ring and cache, daemon forgotten (its library stays loaded).
void TsaDebugResetForTest(void);

}  // extern "C"
