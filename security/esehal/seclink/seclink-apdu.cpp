// APDU logical-channel layer of libSeclink: the basic and logical channels (MANAGE CHANNEL,
// SELECT by name), APDUs on them, the answer-to-reset and the card-OS update bookkeeping.
// The TEE session follows the channels: opened on demand, closed with the last channel.
#include "seclink_internal.h"

#include <android-base/logging.h>
#include <log/log.h>

#include <algorithm>
#include <cstring>
#include <ctime>

#include "ese_utils.h"
#include "seclink.h"

namespace {

constexpr int kSlots = 20;

struct Slot {
  bool open = false;
  uint8_t aidPrefix[16] = {};
  std::string openTime = "null";
  std::vector<uint8_t> aid = {0x00};
};

Slot channels[kSlots];
int channelCount = kSlots;
uint8_t osByte = 255;
uint8_t osMode = 0;

uint8_t classByte(int n) {
  if (n < 4) return static_cast<uint8_t>(n);
  return static_cast<uint8_t>(0x40 | (n - 4));
}

void fillTx(const uint8_t* data, size_t length, bool hasTimeout, uint32_t timeout) {
  tx.buffer = const_cast<uint8_t*>(data);
  tx.length = static_cast<uint32_t>(length);
  tx.hasTimeout = hasTimeout;
  tx.timeout = timeout;
}

int sendApdu(const std::vector<uint8_t>& apdu, uint32_t* status, bool hasTimeout = false, uint32_t timeout = 255) {
  fillTx(apdu.data(), apdu.size(), hasTimeout, timeout);
  *status = 0;
  return seclink_transceive(&tx, &rx, status);
}

// Status word of a response held in rApdu, or -1 when the response has none.
int statusWord(int length) {
  if (length < 2 || length > static_cast<int>(kSeclinkRxSize)) return -1;
  return (rApdu[length - 2] << 8) | rApdu[length - 1];
}

void copyOut(uint8_t* dst, int length) {
  if (length > 0) std::memmove(dst, rApdu, std::min<size_t>(size_t(length), kSeclinkRxSize));
}

// osByte and osMode from a reset answer; a response too short to carry the OS byte says
// nothing about the mode.
void takeOsMode(const uint8_t* data, int length) {
  if (data == nullptr || length < 5) return;
  osByte = data[4];
  if (length >= 21 && osByte >= 17) osMode = data[20];
}

int genericOk(SECLINK_Cmd_Generic_Tag tag, uint32_t value, int* length) {
  uint32_t status = 0;
  *length = seclink_generic(tag, value, &rx, &status);
  return *length >= 0 && status == 0;
}

uint32_t closeSession(uint32_t reason) { return seclink_close(reason); }

}  // namespace

void seclinkMarkAllChannelsClosed() {
  for (int i = 0; i < channelCount && i < kSlots; ++i) {
    if (channels[i].open) ALOGD("Channel number %d marked as closed", i);
    channels[i].open = false;
  }
}

void resetChannelState() { seclinkMarkAllChannelsClosed(); }

int getMaxSupportedChannels() {
  switch (eseGetVendorId()) {
    case 1:
      return (osByte >= 32 && osByte <= 254) ? 5 : 4;
    case 2:
      return 4;
    default:
      return 20;
  }
}

namespace {

// Closes a channel whose selection failed: the chip releases it (a logical one was opened
// for this call), and its slot is free whatever the chip answers to the close. The session
// ends with the last channel, as on any close.
void giveBackChannel(int channel) {
  if (closeGPChannel(static_cast<uint8_t>(channel)) == 0 || !channels[channel].open) return;
  channels[channel].open = false;
  if (allChannelsClosed()) closeSession(SECLINK_FAILED);
}

}  // namespace

int openChannel(const std::vector<uint8_t>& aid, uint8_t p2, int* cNumber, uint8_t* respApdu, int* rLen,
                bool isBasic) {
  ALOGD("%s: enter, isBasic = %d", "openChannel", isBasic);
  if (rLen == nullptr) {
    ALOGE("rLen is null");
    return static_cast<int>(SECLINK_FAILED);
  }
  if (respApdu == nullptr) {
    ALOGE("respApdu is null");
    return static_cast<int>(SECLINK_FAILED);
  }
  if (cNumber == nullptr) {
    ALOGE("cNumber is null");
    return static_cast<int>(SECLINK_FAILED);
  }
  // Lc is one byte: a longer AID cannot be selected by name.
  if (aid.size() > 255) {
    ALOGE("%s: AID of %zu bytes is too long", "openChannel", aid.size());
    return static_cast<int>(SECLINK_FAILED);
  }
  int channel = 0;
  uint8_t cla = 0x00;
  if (isBasic) {
    if (channels[0].open) {
      ALOGE("Basic channel is already open");
      return static_cast<int>(SECLINK_FAILED);
    }
    if (uint32_t r = seclink_open(); r != 0) return static_cast<int>(r);
  } else {
    channelCount = getMaxSupportedChannels();
    ALOGD("max supported channels - %d\n", channelCount);
    bool free = false;
    for (int i = 1; i < channelCount; ++i) free = free || !channels[i].open;
    if (!free) {
      ALOGE("max supported logical channels are already opened");
      return static_cast<int>(SECLINK_FAILED);
    }
    if (uint32_t r = seclink_open(); r != 0) return static_cast<int>(r);
    uint32_t status = 0;
    const int n = sendApdu({0x00, 0x70, 0x00, 0x00, 0x01}, &status);
    *rLen = n;
    uint32_t result = 0;
    if (status != 0) {
      ALOGE("%s: MC_OPEN send failed", "openChannel");
      result = status;
    } else if (n == 3 && rApdu[1] == 0x90 && rApdu[2] == 0x00 && rApdu[0] == 0) {
      // Logical channels are 1 to 19: channel 0 is the basic channel, and closing it as a
      // logical one would end the basic channel and the session under its other users.
      ALOGE("%s: MC_OPEN answered with the basic channel", "openChannel");
      result = SECLINK_FAILED;
    } else if (n == 3 && rApdu[1] == 0x90 && rApdu[2] == 0x00) {
      channel = rApdu[0];
      cla = rApdu[0];
    } else if (n == 3) {
      ALOGE("%s: MC_OPEN response is [%02X%02X%02X]", "openChannel", rApdu[0], rApdu[1], rApdu[2]);
      result = SECLINK_FAILED;
    } else if (n == 2 && rApdu[0] == 0x6A && rApdu[1] == 0x81) {
      ALOGE("%s: MC_OPEN response is 6A81", "openChannel");
      result = SECLINK_NO_MEMORY;
    } else {
      ALOGE("OpenChannel failed : MC_OPEN response len : %d", n);
      result = SECLINK_FAILED;
    }
    if (result != 0) {
      closeSession(result);
      return static_cast<int>(result);
    }
    // The card assigns a channel that is free. One this side holds open belongs to another
    // caller: taking it would share that caller's channel (its AID overwritten, its channel
    // closed by a failed SELECT of ours). Refused, and nothing of that caller's is touched:
    // no SELECT, no close, and the session stays for its channel.
    if (channel < channelCount && channel < kSlots && channels[channel].open) {
      ALOGE("%s: MC_OPEN answered channel %d, which is already open", "openChannel", channel);
      return static_cast<int>(SECLINK_FAILED);
    }
  }
  std::vector<uint8_t> select = {cla, 0xA4, 0x04, p2, static_cast<uint8_t>(aid.size())};
  select.insert(select.end(), aid.begin(), aid.end());
  if (!aid.empty()) select.push_back(0x00);
  if (channel >= channelCount) {
    ALOGE("Invalid channel number :  %d", channel);
    closeSession(SECLINK_FAILED);
    return static_cast<int>(SECLINK_FAILED);
  }
  *cNumber = channel;
  select[0] = classByte(channel);
  Slot& slot = channels[channel];
  slot.open = true;
  try {
    const std::time_t now = std::time(nullptr);
    char text[64] = {};
    slot.openTime = ctime_r(&now, text) != nullptr ? text : "null";
    slot.aid = aid;
  } catch (...) {
    ALOGE("error when set start_time,ignore");
  }
  uint32_t status = 0;
  const int n = sendApdu(select, &status);
  *rLen = n;
  if (status != 0) {
    ALOGE("transceive failed");
    closeSession(status);
    return static_cast<int>(status);
  }
  const int sw = statusWord(n);
  if (sw < 0) {
    ALOGE("%s: SELECT response length error", "openChannel");
    closeSession(SECLINK_FAILED);
    return static_cast<int>(SECLINK_FAILED);
  }
  copyOut(respApdu, n);
  if (sw == 0x6A82 || sw == 0x6999) {
    ALOGE("Applet can't be selected");
    return static_cast<int>(SECLINK_NOT_SELECTABLE);
  }
  if (sw == 0x6985) {
    ALOGE("Condition of use not satisfied");
    return static_cast<int>(SECLINK_NOT_SELECTABLE);
  }
  // Only 90 00, 61 xx (more data waiting) and the warnings 62 xx and 63 xx select the
  // applet; any other status is an error, and the channel must not stay marked as usable.
  const int sw1 = sw >> 8;
  if (sw != 0x9000 && sw1 != 0x61 && sw1 != 0x62 && sw1 != 0x63) {
    ALOGE("%s: SELECT answered %04X", "openChannel", sw);
    giveBackChannel(channel);
    return static_cast<int>(SECLINK_FAILED);
  }
  std::memset(slot.aidPrefix, 0, sizeof slot.aidPrefix);
  if (!aid.empty()) std::memcpy(slot.aidPrefix, aid.data(), std::min<size_t>(16, aid.size()));
  return 0;
}

int transmitApdu(const std::vector<uint8_t>& apdu, bool withTimeout, uint32_t timeout, uint8_t* respApdu, int* rLen) {
  ALOGD("%s: enter", "transmitApdu");
  if (respApdu == nullptr) {
    ALOGE("respApdu is null");
    return static_cast<int>(SECLINK_FAILED);
  }
  if (rLen == nullptr) {
    ALOGE("rLen is null");
    return static_cast<int>(SECLINK_FAILED);
  }
  if (uint32_t r = seclink_open(); r != 0) return static_cast<int>(r);
  uint32_t status = 0;
  const int n = sendApdu(apdu, &status, withTimeout, timeout);
  *rLen = n;
  if (status != 0) {
    ALOGE("transmit failed !");
    closeSession(status);
    return static_cast<int>(status);
  }
  if (statusWord(n) < 0) {
    ALOGE("%s: eSE's response too short", "transmitApdu");
    return static_cast<int>(SECLINK_FAILED);
  }
  copyOut(respApdu, n);
  static const uint8_t kSelectDefault[] = {0x00, 0xA4, 0x04, 0x00, 0x00};
  if (memsApducmp(apdu.data(), static_cast<int>(apdu.size()), kSelectDefault, sizeof kSelectDefault)) {
    ALOGD("Close basic channel detected");
    channels[0].open = false;
    if (allChannelsClosed()) return static_cast<int>(closeSession(0));
  }
  return 0;
}

int closeGPChannel(uint8_t channelNum) {
  ALOGD("%s: enter, channelNum = %u", "closeGPChannel", channelNum);
  if (channelNum >= channelCount) {
    ALOGE("Channel number not consistent : %d", channelNum);
    return static_cast<int>(SECLINK_FAILED);
  }
  if (!channels[channelNum].open) {
    ALOGE("%s: channel already closed", "closeGPChannel");
    return static_cast<int>(SECLINK_FAILED);
  }
  std::vector<uint8_t> apdu;
  if (channelNum == 0) apdu = {0x00, 0xA4, 0x04, 0x00, 0x00};
  else apdu = {classByte(channelNum), 0x70, 0x80, channelNum};
  uint32_t status = 0;
  const int n = sendApdu(apdu, &status);
  const int sw = statusWord(n);
  if (status != 0 || sw < 0) {
    // No status word came back (none, or a lone byte): the exchange failed even when the
    // TEE call itself succeeded, so it must not read as a close.
    ALOGE("Close Channel failed ");
    const uint32_t result = status != 0 ? status : SECLINK_FAILED;
    closeSession(result);
    return static_cast<int>(result);
  }
  if (sw == 0x9000) {
    channels[channelNum].open = false;
    if (allChannelsClosed()) closeSession(0);
    return 0;
  }
  // Refused by the eSE: the channel is still open there, and the caller must know.
  ALOGE("Close Channel failed");
  return static_cast<int>(SECLINK_FAILED);
}

int seclink_getATR(uint8_t* atr, uint32_t* atrLen) {
  if (atr == nullptr || atrLen == nullptr) {
    ALOGE("Invalid input argument");
    return static_cast<int>(SECLINK_FAILED);
  }
  if (uint32_t r = seclink_open(); r != 0) return static_cast<int>(r);
  const auto tag = eseGetVendorId() == 2 ? GENERIC_TAG_INTERFACE_RESET : GENERIC_TAG_ATR;
  uint32_t status = 0;
  const int n = seclink_generic(tag, 0, &rx, &status);
  if (n < 0) {
    ALOGE("getATR failed");
  } else {
    *atrLen = static_cast<uint32_t>(n);
    copyOut(atr, n);
  }
  if (allChannelsClosed() && closeSession(status) != 0) ALOGE("seclink_close failed");
  return static_cast<int>(status);
}

bool allChannelsClosed() {
  for (int i = 0; i < channelCount && i < kSlots; ++i) {
    if (!channels[i].open) continue;
    ALOGD("Channel number %d still open", i);
    LOG(INFO) << "Channel number " << i << " open time is " << channels[i].openTime;
    LOG(INFO) << "Channel number " << i << " aid info: "
              << seclinkHex(channels[i].aid.data(), channels[i].aid.size(), false);
    return false;
  }
  return true;
}

std::string dumpStatus() {
  std::string out;
  for (int i = 0; i < channelCount && i < kSlots; ++i) {
    const Slot& s = channels[i];
    if (!s.open) continue;
    out += "Channel number:" + std::to_string(i) + ",Open time:" + s.openTime +
           ",Aid:" + seclinkHex(s.aidPrefix, sizeof s.aidPrefix, false) +
           ",Aid info:" + seclinkHex(s.aid.data(), s.aid.size(), false) + "\n";
  }
  return out;
}

uint32_t ese_init() {
  if (isSELinkActive()) return 0;
  if (uint32_t r = seclink_open(); r != 0) {
    ALOGE("seclink_open failed");
    return r;
  }
  uint32_t status = 0;
  const int n = seclink_generic(GENERIC_TAG_INTERFACE_RESET, 0, &rx, &status);
  if (n < 0 || status != 0) {
    ALOGE("interface reset failed");
    return status != 0 ? status : SECLINK_FAILED;
  }
  if (eseGetVendorId() == 1) takeOsMode(rApdu, n);
  return 0;
}

int ese_open() {
  if (seclink_open() != 0) {
    ALOGE("seclink_open failed");
    return 1;
  }
  int channel = 0;
  int length = 0;
  const int r = openChannel({}, 0, &channel, rApdu, &length, true);
  if (r == 0) return 0;
  ALOGE("open basic channel failed");
  if (closeSession(static_cast<uint32_t>(r)) != 0) ALOGE("seclink_close failed");
  return 1;
}

int ese_close() {
  if (closeGPChannel(0) != 0) {
    ALOGE("close BasicChannel failed");
    return 1;
  }
  return 0;
}

void updateOsMode(const uint8_t* data, int length) { takeOsMode(data, length); }

bool isCardOsUpdateMode() {
  ALOGD("%s current OSU mode : %d", "getOsMode", osMode);
  return osMode == 2;
}

int updateOSUState(OsuState_t state) {
  int n = 0;
  if (!genericOk(GENERIC_TAG_OSU_STATE, state, &n)) {
    ALOGE("Unable to notify TEE of OSU state");
    return 1;
  }
  return 0;
}

int resetCardOsUpdate() {
  int n = 0;
  if (!genericOk(GENERIC_TAG_HARD_RESET, 0, &n)) {
    ALOGE("HARD_RESET failed");
    return 1;
  }
  if (!genericOk(GENERIC_TAG_ATR, 0, &n)) {
    ALOGE("getATR failed");
    return 1;
  }
  takeOsMode(rApdu, n);
  if (!genericOk(GENERIC_TAG_SET_IFS, 0, &n)) {
    ALOGE("set IFS failed");
    return 1;
  }
  return 0;
}

int ese_cold_reset() { return eseIoctl(ESE_IOCTL_COLD_RESET, 0); }

int do_cold_reset_protection(bool enable) { return eseIoctl(ESE_IOCTL_COLD_RESET, enable ? 1 : 2); }

void prepare_and_do_transceive(const uint8_t* data, int length, uint8_t* response, int capacity, bool withTimeout,
                               int* rLen) {
  if (data == nullptr || response == nullptr || rLen == nullptr || length < 0 || capacity < 0 ||
      capacity > static_cast<int>(kSeclinkRxSize)) {
    ALOGE("Invalid input !");
    return;
  }
  fillTx(data, size_t(length), withTimeout, withTimeout ? 0 : 255);
  uint32_t status = 0;
  const int n = seclink_transceive(&tx, &rx, &status);
  *rLen = n;
  if (n >= 2 && status == 0)
    std::memcpy(response, rApdu, std::min<size_t>({size_t(n), size_t(capacity), kSeclinkRxSize}));
}

bool memsApducmp(const uint8_t* a, int la, const uint8_t* b, int lb) {
  if (a == nullptr || b == nullptr) return a == nullptr && b == nullptr;
  return la == lb && (la <= 0 || std::memcmp(a, b, size_t(la)) == 0);
}

size_t memscpy(void* dst, size_t dstSize, const void* src, size_t srcSize) {
  const size_t n = std::min(dstSize, srcSize);
  if (n != 0 && dst != nullptr && src != nullptr) std::memmove(dst, src, n);
  return n;
}
