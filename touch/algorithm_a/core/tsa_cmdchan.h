#pragma once
// Controller command channel and controller information.
//
// Every command leaves as a checksummed packet through the host's controller-write
// callback (slot 8, register 0x10174):
//   [00 00][n + 4][cmd][n data bytes][u16 byte sum of everything before, little-endian]
// The controller information block travels in the configuration file from byte 4097; init
// checks it and unpacks it into the fixed record ic_info.
#include <cstddef>
#include <cstdint>

#include "vendor_export.h"

#define FERX_CMD_REGISTER 0x10174u
#define FERX_CMD_HEAD_BYTES 4u
#define FERX_CMD_SUM_BYTES 2u
// Largest data part: what a queued request can carry (40-byte request, packet from byte 6).
#define FERX_CMD_DATA_MAX 26u
#define FERX_CMD_PACKET_MAX (FERX_CMD_HEAD_BYTES + FERX_CMD_DATA_MAX + FERX_CMD_SUM_BYTES)
#define FERX_CMD_REPORT_FRAMEDATA 144u
#define FERX_EINVAL (-22)

#define IC_INFO_BLOCK_MAX 512u     // bytes of the block in the configuration file
#define IC_INFO_FIXED_BYTES 32u    // length word through the force count
#define IC_INFO_LIST_MAX 8u
#define IC_INFO_TAIL_BYTES 187u    // command area address through data_type

#pragma pack(push, 1)

// A data area of the controller: address and length.
struct IcArea {
  uint32_t addr;
  uint16_t len;
};

struct IcFreqList8 {
  uint8_t num;
  uint16_t freq[IC_INFO_LIST_MAX];
};

// The unpacked controller information (fields in block order).
struct IcInfo {
  uint16_t ic_info_len;
  uint8_t info_customer_id;
  uint8_t info_version_id;
  uint8_t ic_die_id;
  uint8_t ic_version_id;
  uint32_t config_id;
  uint8_t config_version;
  uint8_t frame_data_customer_id;
  uint8_t frame_data_version_id;
  uint8_t touch_data_customer_id;
  uint8_t touch_data_version_id;
  uint8_t reserved15[3];
  uint16_t freqhop_feature;
  uint16_t calibration_feature;
  uint16_t gesture_feature;
  uint16_t side_touch_feature;
  uint16_t stylus_feature;
  uint8_t drv_num;
  uint8_t sen_num;
  uint8_t button_num;
  uint8_t force_num;
  IcFreqList8 active_scan_rate;
  IcFreqList8 mutual_freq;
  IcFreqList8 self_tx_freq;
  IcFreqList8 self_rx_freq;
  IcFreqList8 stylus_freq;
  // Tail: IC_INFO_TAIL_BYTES as the block carries them.
  IcArea cmd;
  IcArea cmd_reply;
  IcArea fw_state;
  IcArea fw_buffer;
  IcArea frame_head_data;
  uint16_t fw_attr_len;
  uint16_t fw_log_len;
  uint8_t pack_max_num;
  uint8_t pack_compress_version;
  uint16_t stylus_struct_len;
  uint16_t mutual_struct_len;
  uint16_t self_struct_len;
  uint16_t noise_struct_len;
  IcArea touch_data;
  uint16_t point_struct_len;
  uint16_t screen_real_max_x;
  uint16_t screen_real_max_y;
  uint32_t mutual_rawdata_addr;
  uint32_t mutual_diffdata_addr;
  uint32_t mutual_refdata_addr;
  uint32_t self_rawdata_addr;
  uint32_t self_diffdata_addr;
  uint32_t self_refdata_addr;
  uint32_t iq_rawdata_addr;
  uint32_t iq_refdata_addr;
  uint32_t im_rawdata_addr;
  uint16_t im_rawdata_len;
  uint32_t noise_rawdata_addr;
  uint16_t noise_rawdata_len;
  uint32_t stylus_rawdata_addr;
  uint16_t stylus_rawdata_len;
  uint32_t noise_data_addr;
  uint32_t esd_interact_addr;
  uint32_t auto_scan_cmd_addr;
  uint32_t auto_scan_info_addr;
  uint16_t normalize_k_version;
  uint8_t reserved_tail[61];
  uint16_t data_type;
};

// Identity of the controller as the module names it.
struct IcVersion {
  char family[10];
  char model[10];
  uint8_t version_major;
  uint8_t version_minor;
  uint8_t reserved[6];
};

#pragma pack(pop)

static_assert(sizeof(IcArea) == 6);
static_assert(sizeof(IcFreqList8) == 17);
static_assert(offsetof(IcInfo, config_id) == 6);
static_assert(offsetof(IcInfo, config_version) == 10);
static_assert(offsetof(IcInfo, touch_data_version_id) == 14);
static_assert(offsetof(IcInfo, freqhop_feature) == 18);
static_assert(offsetof(IcInfo, stylus_feature) == 26);
static_assert(offsetof(IcInfo, drv_num) == 28);
static_assert(offsetof(IcInfo, force_num) == 31);
static_assert(offsetof(IcInfo, active_scan_rate) == IC_INFO_FIXED_BYTES);
static_assert(offsetof(IcInfo, stylus_freq) == 32 + 4 * 17);
static_assert(offsetof(IcInfo, cmd) == 117);
static_assert(offsetof(IcInfo, touch_data) == 117 + 44);
static_assert(offsetof(IcInfo, screen_real_max_x) == 117 + 52);
static_assert(offsetof(IcInfo, mutual_rawdata_addr) == 117 + 56);
static_assert(offsetof(IcInfo, im_rawdata_len) == 117 + 92);
static_assert(offsetof(IcInfo, normalize_k_version) == 117 + 122);
static_assert(offsetof(IcInfo, data_type) == 117 + 185);
static_assert(sizeof(IcInfo) == 117 + IC_INFO_TAIL_BYTES);
static_assert(sizeof(IcVersion) == 28);
static_assert(offsetof(IcVersion, model) == 10);
static_assert(offsetof(IcVersion, version_major) == 20);

extern "C" {

// Sends CMD with N data bytes: 0, or -22 (no write callback, N above FERX_CMD_DATA_MAX, or
// the write failed).
int32_t ferx_send_cmd(uint8_t cmd, const uint8_t* data, uint32_t n);
int32_t start_report_framedata(void);
int32_t stop_report_framedata(void);

// Checks and unpacks the controller information block at BLOCK, of which AVAIL bytes may
// be read. 0, or -22 when the block is refused (logged).
int32_t ferx_parse_ic_info(const uint8_t* block, uint32_t avail, IcInfo* info);
// The same over the configuration file the host handed over (from byte 4097).
int32_t ferx_get_ic_info(IcInfo* info);
void print_ic_info(const IcInfo* info);
int32_t ferx_get_ic_version(IcVersion* version);

// Checksums exported for other users.
VENDOR_EXPORT uint32_t ferrant_append_checksum(uint8_t* buf, uint32_t len, int32_t wide);
VENDOR_EXPORT int32_t checksum_cmp(const uint8_t* buf, uint32_t len, int32_t wide);
VENDOR_EXPORT int32_t is_risk_data(const uint8_t* buf, int32_t len);

}  // extern "C"
