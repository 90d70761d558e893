#include "tsa_cmdchan.h"

#include <cstdio>
#include <cstring>

#include "tsa_module.h"
#include "tsa_os.h"

namespace {

uint16_t ByteSum16(const uint8_t* p, uint32_t n) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += p[i];
  return static_cast<uint16_t>(sum);
}

uint32_t WordSum32(const uint8_t* p, uint32_t n) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i + 1 < n; i += 2) sum += static_cast<uint32_t>(p[i] | (p[i + 1] << 8));
  return sum;
}

uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The five counted lists of the block, in order, with the message for a count above 8.
struct ListDesc {
  size_t offset;
  const char* tooMany;
};
const ListDesc kLists[] = {
    {offsetof(IcInfo, active_scan_rate), "invalid scan rate num %d > %d\n"},
    {offsetof(IcInfo, mutual_freq), "invalid mntual freq num %d > %d\n"},
    {offsetof(IcInfo, self_tx_freq), "invalid tx freq num %d > %d\n"},
    {offsetof(IcInfo, self_rx_freq), "invalid rx freq num %d > %d\n"},
    {offsetof(IcInfo, stylus_freq), "invalid stylus freq num %d > %d\n"},
};

}  // namespace

extern "C" int32_t ferx_send_cmd(uint8_t cmd, const uint8_t* data, uint32_t n) {
  const AlgHostCallbacks* host = alg_host_callbacks;
  if (host == nullptr || host->controller_write == nullptr) {
    log_print(FERX_LOG_ERR, "ic_cmd_callback is null\n");
    return FERX_EINVAL;
  }
  if (n > FERX_CMD_DATA_MAX || (n != 0 && data == nullptr)) {
    log_print(FERX_LOG_ERR, "cmd 0x%x data length %u refused\n", cmd, n);
    return FERX_EINVAL;
  }
  uint8_t packet[FERX_CMD_PACKET_MAX] = {};
  packet[2] = static_cast<uint8_t>(n + FERX_CMD_HEAD_BYTES);
  packet[3] = cmd;
  if (n != 0) std::memcpy(packet + FERX_CMD_HEAD_BYTES, data, n);
  const uint16_t sum = ByteSum16(packet, FERX_CMD_HEAD_BYTES + n);
  packet[FERX_CMD_HEAD_BYTES + n] = static_cast<uint8_t>(sum);
  packet[FERX_CMD_HEAD_BYTES + n + 1] = static_cast<uint8_t>(sum >> 8);
  const int32_t result = host->controller_write(FERX_CMD_REGISTER, packet, n + FERX_CMD_HEAD_BYTES + FERX_CMD_SUM_BYTES, 1);
  if (result != 0) {
    log_print(FERX_LOG_ERR, "ic_cmd_callback failed, ret=%d\n", result);
    return FERX_EINVAL;
  }
  return 0;
}

extern "C" int32_t start_report_framedata(void) {
  const uint8_t data[2] = {0x01, 0x01};
  return ferx_send_cmd(FERX_CMD_REPORT_FRAMEDATA, data, sizeof(data));
}

extern "C" int32_t stop_report_framedata(void) {
  const uint8_t data[1] = {0x00};
  return ferx_send_cmd(FERX_CMD_REPORT_FRAMEDATA, data, sizeof(data));
}

extern "C" int32_t ferx_parse_ic_info(const uint8_t* block, uint32_t avail, IcInfo* info) {
  if (block == nullptr || info == nullptr || avail < 2) {
    log_print(FERX_LOG_ERR, "fw info's length[%d] is illegal!\n", 0);
    return FERX_EINVAL;
  }
  const uint32_t len = GetU16(block);
  if (len == 0) {
    log_print(FERX_LOG_ERR, "fw info's length[%d] is illegal!\n", 0);
    return FERX_EINVAL;
  }
  // Erased storage (all 0x00 or all 0xFF) is told apart first, over the bytes that exist.
  const uint32_t readable = avail < IC_INFO_BLOCK_MAX ? avail : IC_INFO_BLOCK_MAX;
  if (is_risk_data(block, static_cast<int32_t>(len < readable ? len : readable)) != 0) {
    log_print(FERX_LOG_ERR, "ic info data invalid\n");
    return FERX_EINVAL;
  }
  // The block must lie inside what can be read: the length word is the block's own claim.
  if (len > readable) {
    log_print(FERX_LOG_ERR, "fw info's length[%d] is illegal!\n", static_cast<int>(len));
    return FERX_EINVAL;
  }
  if (len < 2 || checksum_cmp(block, len, 0) != 0) {
    log_print(FERX_LOG_ERR, "ic info is invalid: checksum error!\n");
    return FERX_EINVAL;
  }
  // Every field read below lies before the checksum.
  const uint32_t end = len - FERX_CMD_SUM_BYTES;
  if (end < IC_INFO_FIXED_BYTES) {
    log_print(FERX_LOG_ERR, "ic info is invalid: %u bytes cannot hold its fields\n", len);
    return FERX_EINVAL;
  }
  auto* record = reinterpret_cast<uint8_t*>(info);
  std::memcpy(record, block, IC_INFO_FIXED_BYTES);
  uint32_t pos = IC_INFO_FIXED_BYTES;
  for (const ListDesc& list : kLists) {
    if (pos + 1 > end) {
      log_print(FERX_LOG_ERR, "ic info is invalid: %u bytes cannot hold its fields\n", len);
      return FERX_EINVAL;
    }
    const uint8_t count = block[pos++];
    record[list.offset] = count;
    if (count > IC_INFO_LIST_MAX) {
      log_print(FERX_LOG_ERR, list.tooMany, count, static_cast<int>(IC_INFO_LIST_MAX));
      return 0;
    }
    const uint32_t bytes = 2u * count;
    if (pos + bytes > end) {
      log_print(FERX_LOG_ERR, "ic info is invalid: %u bytes cannot hold its fields\n", len);
      return FERX_EINVAL;
    }
    std::memcpy(record + list.offset + 1, block + pos, bytes);
    pos += bytes;
  }
  if (pos + IC_INFO_TAIL_BYTES > end) {
    log_print(FERX_LOG_ERR, "ic info is invalid: %u bytes cannot hold its fields\n", len);
    return FERX_EINVAL;
  }
  std::memcpy(record + offsetof(IcInfo, cmd), block + pos, IC_INFO_TAIL_BYTES);
  return 0;
}

extern "C" int32_t ferx_get_ic_info(IcInfo* info) {
  // Only the bytes the configuration read delivered.
  const uint32_t avail = flash_bin_len > FERX_IC_INFO_OFFSET ? flash_bin_len - FERX_IC_INFO_OFFSET : 0;
  return ferx_parse_ic_info(flash_bin_buf + FERX_IC_INFO_OFFSET, avail, info);
}

namespace {

void PrintLine(const char* label, const char* value) { log_print(FERX_LOG_INFO, "%-33s%s\n", label, value); }

void PrintList(const char* countLabel, const char* name, const IcFreqList8& list) {
  char value[32];
  std::snprintf(value, sizeof(value), "%d", list.num);
  PrintLine(countLabel, value);
  const uint8_t n = list.num < IC_INFO_LIST_MAX ? list.num : IC_INFO_LIST_MAX;
  for (uint8_t i = 0; i < n; ++i) {
    uint16_t freq;
    std::memcpy(&freq, reinterpret_cast<const uint8_t*>(&list.freq) + 2u * i, sizeof(freq));
    char label[48];
    std::snprintf(label, sizeof(label), "%s[%d]:", name, i);
    std::snprintf(value, sizeof(value), "%d", freq);
    PrintLine(label, value);
  }
}

void PrintArea(const char* label, const IcArea& area) {
  char value[48];
  std::snprintf(value, sizeof(value), "0x%04X, %d", static_cast<unsigned>(area.addr), area.len);
  PrintLine(label, value);
}

}  // namespace

extern "C" void print_ic_info(const IcInfo* info) {
  if (info == nullptr) return;
  const IcInfo r = *info;
  char value[64];
  auto dec = [&](const char* label, unsigned v) {
    std::snprintf(value, sizeof(value), "%d", static_cast<int>(v));
    PrintLine(label, value);
  };
  auto hex1 = [&](const char* label, unsigned v) {
    std::snprintf(value, sizeof(value), "0x%01X", v);
    PrintLine(label, value);
  };
  auto hex4 = [&](const char* label, unsigned v) {
    std::snprintf(value, sizeof(value), "0x%04X", v);
    PrintLine(label, value);
  };
  auto addr = [&](const char* label, uint32_t v) {
    std::snprintf(value, sizeof(value), "0x%04x", static_cast<unsigned>(v));
    PrintLine(label, value);
  };
  dec("ic_info_len:", r.ic_info_len);
  hex1("info_customer_id:", r.info_customer_id);
  hex1("info_version_id:", r.info_version_id);
  hex1("ic_die_id:", r.ic_die_id);
  hex1("ic_version_id:", r.ic_version_id);
  std::snprintf(value, sizeof(value), "0x%4X", static_cast<unsigned>(r.config_id));
  PrintLine("config_id:", value);
  hex1("config_version:", r.config_version);
  hex1("frame_data_customer_id:", r.frame_data_customer_id);
  hex1("frame_data_version_id:", r.frame_data_version_id);
  hex1("touch_data_customer_id:", r.touch_data_customer_id);
  hex1("touch_data_version_id:", r.touch_data_version_id);
  hex4("freqhop_feature:", r.freqhop_feature);
  hex4("calibration_feature:", r.calibration_feature);
  hex4("gesture_feature:", r.gesture_feature);
  hex4("side_touch_feature:", r.side_touch_feature);
  hex4("stylus_feature:", r.stylus_feature);
  std::snprintf(value, sizeof(value), "%d x %d, %d, %d", r.drv_num, r.sen_num, r.button_num, r.force_num);
  PrintLine("Drv*Sen,Button,Force num:", value);
  PrintList("active_scan_rate_num:", "active_scan_rate", r.active_scan_rate);
  PrintList("mutual_freq_num:", "mutual_freq", r.mutual_freq);
  PrintList("self_tx_freq_num:", "self_tx_freq", r.self_tx_freq);
  PrintList("self_rx_freq:", "self_rx_freq", r.self_rx_freq);
  PrintList("stylus_freq_num:", "stylus_freq", r.stylus_freq);
  PrintArea("Cmd:", r.cmd);
  PrintArea("Cmd-Reply:", r.cmd_reply);
  PrintArea("FW-State:", r.fw_state);
  PrintArea("FW-Buffer:", r.fw_buffer);
  PrintArea("Frame-Head-Data:", r.frame_head_data);
  dec("FW-Attr-len:", r.fw_attr_len);
  dec("FW-Log-len:", r.fw_log_len);
  dec("pack_max_num:", r.pack_max_num);
  dec("pack_compress_version:", r.pack_compress_version);
  dec("stylus_struct_len:", r.stylus_struct_len);
  dec("mutual_struct_len:", r.mutual_struct_len);
  dec("self_struct_len:", r.self_struct_len);
  dec("noise_struct_len:", r.noise_struct_len);
  PrintArea("Touch-Data:", r.touch_data);
  dec("point_struct_len:", r.point_struct_len);
  dec("screen_real_max_x:", r.screen_real_max_x);
  dec("screen_real_max_y:", r.screen_real_max_y);
  addr("mutual_rawdata_addr:", r.mutual_rawdata_addr);
  addr("mutual_diffdata_addr:", r.mutual_diffdata_addr);
  addr("mutual_refdata_addr:", r.mutual_refdata_addr);
  addr("self_rawdata_addr:", r.self_rawdata_addr);
  addr("self_diffdata_addr:", r.self_diffdata_addr);
  addr("self_refdata_addr:", r.self_refdata_addr);
  addr("iq_rawdata_addr:", r.iq_rawdata_addr);
  addr("iq_refdata_addr:", r.iq_refdata_addr);
  addr("im_rawdata_addr:", r.im_rawdata_addr);
  dec("im_rawdata_len:", r.im_rawdata_len);
  addr("noise_rawdata_addr:", r.noise_rawdata_addr);
  dec("noise_rawdata_len:", r.noise_rawdata_len);
  addr("stylus_rawdata_addr:", r.stylus_rawdata_addr);
  dec("stylus_rawdata_len:", r.stylus_rawdata_len);
  addr("noise_data_addr:", r.noise_data_addr);
  addr("esd_interact_addr:", r.esd_interact_addr);
  addr("auto_scan_cmd_addr:", r.auto_scan_cmd_addr);
  addr("auto_scan_info_addr:", r.auto_scan_info_addr);
  dec("normalize_k_version:", r.normalize_k_version);
  dec("data_type:", r.data_type);
}

extern "C" int32_t ferx_get_ic_version(IcVersion* version) {
  if (version == nullptr) return 0;
  std::memcpy(version->family, "KESTON", 6);
  std::memcpy(version->model, "7731", 4);
  return 0;
}

// ---- Checksums --------------------------------------------------------------------------

extern "C" uint32_t ferrant_append_checksum(uint8_t* buf, uint32_t len, int32_t wide) {
  if (buf == nullptr) return 0;
  if (wide == 0) {
    const uint16_t sum = len < 1 ? 0 : ByteSum16(buf, len);
    buf[len] = static_cast<uint8_t>(sum);
    buf[len + 1] = static_cast<uint8_t>(sum >> 8);
    return sum;
  }
  const uint32_t sum = WordSum32(buf, len);
  for (uint32_t i = 0; i < 4; ++i) buf[len + i] = static_cast<uint8_t>(sum >> (8 * i));
  return sum;
}

extern "C" int32_t checksum_cmp(const uint8_t* buf, uint32_t len, int32_t wide) {
  if (buf == nullptr) return 1;
  if (wide == 0) {
    if (len < 2) return 1;
    return ByteSum16(buf, len - 2) == GetU16(buf + len - 2) ? 0 : 1;
  }
  if (len < 4) return 1;
  const uint32_t stored = static_cast<uint32_t>(GetU16(buf + len - 4)) | (static_cast<uint32_t>(GetU16(buf + len - 2)) << 16);
  return WordSum32(buf, len - 4) == stored ? 0 : 1;
}

extern "C" int32_t is_risk_data(const uint8_t* buf, int32_t len) {
  if (len <= 0 || buf == nullptr) return 1;
  int32_t zeros = 0;
  int32_t ones = 0;
  for (int32_t i = 0; i < len; ++i) {
    if (buf[i] == 0x00) ++zeros;
    if (buf[i] == 0xFF) ++ones;
  }
  return (zeros == len || ones == len) ? 1 : 0;
}
