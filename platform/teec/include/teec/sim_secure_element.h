// Test control of the simulated TEE, its secure-element trusted application and the embedded
// secure element behind it. Production code never includes this header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tee_client_api.h"

namespace platform::sim::ese {

// The trusted application the simulated TEE hosts, and its commands.
inline constexpr TEEC_UUID kTaUuid = {0x7D1C4B9E, 0x3A52, 0x4F0E, {0x9B, 0x6D, 0x2C, 0x81, 0xF5, 0xA0, 0xE3, 0x47}};
inline constexpr uint32_t kCmdTransceive = 0x10000000;
inline constexpr uint32_t kCmdOpen = 0x10000001;
inline constexpr uint32_t kCmdClose = 0x10000002;
inline constexpr uint32_t kCmdTransceiveTimeout = 0x10000003;
inline constexpr uint32_t kCmdGeneric = 0x20000000;
// Returned by the application when the chip cannot recover from a waiting-time extension.
inline constexpr uint32_t kWtxUnrecoverable = 0x80003001;
inline constexpr int kLogicalChannels = 20;

// Back to a fresh TEE and chip: no context, no session, power off, only the basic channel,
// vendor byte 0, no applets, no injected failure, counters at 0.
void reset();

// Answer-to-reset the chip gives.
void setAtr(std::vector<uint8_t> atr);
// The interface-reset answer (interface parameters); by default the ATR.
void setInterfaceResetResponse(std::vector<uint8_t> response);
// ATRs of a smart-card list file: each line that starts with a hex byte and holds no
// wildcard, parsed into bytes (lines with regular-expression parts are skipped).
std::vector<std::vector<uint8_t>> loadAtrList(const std::string& path);

void setVendorId(uint8_t vendor);
// Applets that SELECT by name finds; the answer is the given FCI followed by 90 00.
void installApplet(std::vector<uint8_t> aid, std::vector<uint8_t> fci = {});
// An applet whose selection the chip refuses with this status word.
void refuseApplet(std::vector<uint8_t> aid, uint16_t statusWord);
// Queue the chip's next answer to any APDU (MANAGE CHANNEL and close included), in place of
// its own behaviour.
void queueResponse(std::vector<uint8_t> response);

// Failure hooks. The next transceive dies with TEEC_ERROR_TARGET_DEAD (the trusted
// application is gone: every later call on the session also gets it until the session is
// closed), or the application reports an unrecoverable waiting-time extension.
void injectTargetDead();
void injectWtxFailure();
// The next call of that kind fails with this result.
void failNextOpenSession(TEEC_Result result);
void failNextInvoke(uint32_t commandId, TEEC_Result result);
void failNextAllocate(TEEC_Result result);
void failPowerOn(bool fail);
void failPowerOff(bool fail);

struct Stats {
  int contextsInitialised = 0;
  int sessionsOpened = 0;
  int sessionsClosed = 0;
  int invokes = 0;           // every TEEC_InvokeCommand reaching the application
  int invokesWithoutSession = 0;  // calls on a session or context that is not open
  int apdus = 0;             // APDUs the chip answered
  int coldResets = 0;
  int interfaceResets = 0;
  int closeCommands = 0;
  int sharedMemoryLive = 0;  // allocated and not yet released
};
Stats stats();
bool powered();
bool sessionOpen();
// Logical channels the chip holds open (0 is always open while powered).
std::vector<int> openChannels();
std::vector<uint8_t> lastApdu();
std::vector<std::vector<uint8_t>> apduLog();
// Forget the APDUs recorded so far (a long run keeps the log from growing without end).
void clearApduLog();
std::optional<uint32_t> lastTimeout();
uint32_t lastGenericTag();

}  // namespace platform::sim::ese
