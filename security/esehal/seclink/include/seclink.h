// libSeclink: access to the embedded secure element through its trusted application.
// The back end owns the TEE context and session; the APDU layer keeps the logical channels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define SECLINK_API __attribute__((visibility("default")))

struct EseSgBuffer {
  uint8_t* buffer;
  bool hasTimeout;
  uint32_t timeout;
  uint32_t length;
};

enum SECLINK_Cmd_Generic_Tag : uint32_t {
  GENERIC_TAG_ATR = 0,
  GENERIC_TAG_INTERFACE_RESET = 1,
  GENERIC_TAG_HARD_RESET = 2,
  GENERIC_TAG_SET_IFS = 3,
  GENERIC_TAG_OSU_STATE = 4,
};

// Passed to the trusted application unchanged; its values are the application's.
typedef uint32_t OsuState_t;

inline constexpr uint32_t kSeclinkRxSize = 65539;
inline constexpr uint32_t kSeclinkMaxApdu = 65546;
inline constexpr uint32_t SECLINK_CMD_TRANSCEIVE = 0x10000000;
inline constexpr uint32_t SECLINK_CMD_OPEN = 0x10000001;
inline constexpr uint32_t SECLINK_CMD_CLOSE = 0x10000002;
inline constexpr uint32_t SECLINK_CMD_TRANSCEIVE_TIMEOUT = 0x10000003;
inline constexpr uint32_t SECLINK_CMD_GENERIC = 0x20000000;
inline constexpr uint32_t WTX_UNRECOVERABLE = 0x80003001;

// Results of the APDU layer.
inline constexpr uint32_t SECLINK_FAILED = 0xFFFF0000;
inline constexpr uint32_t SECLINK_NOT_SELECTABLE = 0xFFFF0008;
inline constexpr uint32_t SECLINK_NO_MEMORY = 0xFFFF000C;

// Shared exchange records: the receive buffer and the transmit/receive descriptors.
extern SECLINK_API uint8_t rApdu[kSeclinkRxSize];
extern SECLINK_API EseSgBuffer rx;
extern SECLINK_API EseSgBuffer tx;

// Back end.
SECLINK_API uint32_t seclink_open();
SECLINK_API int seclink_transceive(EseSgBuffer* txBuf, EseSgBuffer* rxBuf, uint32_t* status);
SECLINK_API int seclink_generic(SECLINK_Cmd_Generic_Tag tag, uint32_t value, EseSgBuffer* rxBuf, uint32_t* status);
SECLINK_API uint32_t seclink_close(uint32_t reason);
SECLINK_API bool isSELinkActive();
SECLINK_API void print_text(std::string label, const uint8_t* data, int length);

// APDU logical-channel layer.
SECLINK_API uint32_t ese_init();
SECLINK_API int ese_open();
SECLINK_API int ese_close();
SECLINK_API int openChannel(const std::vector<uint8_t>& aid, uint8_t p2, int* cNumber, uint8_t* respApdu, int* rLen,
                            bool isBasic);
SECLINK_API int transmitApdu(const std::vector<uint8_t>& apdu, bool withTimeout, uint32_t timeout, uint8_t* respApdu,
                             int* rLen);
SECLINK_API int closeGPChannel(uint8_t channelNum);
SECLINK_API int seclink_getATR(uint8_t* atr, uint32_t* atrLen);
SECLINK_API bool allChannelsClosed();
SECLINK_API void resetChannelState();
SECLINK_API std::string dumpStatus();
SECLINK_API int getMaxSupportedChannels();
SECLINK_API void updateOsMode(const uint8_t* data, int length);
SECLINK_API bool isCardOsUpdateMode();
SECLINK_API int updateOSUState(OsuState_t state);
SECLINK_API int resetCardOsUpdate();
SECLINK_API int ese_cold_reset();
SECLINK_API int do_cold_reset_protection(bool enable);
SECLINK_API void prepare_and_do_transceive(const uint8_t* data, int length, uint8_t* response, int capacity,
                                           bool withTimeout, int* rLen);
SECLINK_API bool memsApducmp(const uint8_t* a, int la, const uint8_t* b, int lb);
SECLINK_API size_t memscpy(void* dst, size_t dstSize, const void* src, size_t srcSize);
