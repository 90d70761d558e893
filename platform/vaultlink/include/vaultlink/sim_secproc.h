#pragma once
// Test control of the secure-processor stand-in: the simulated secure processor behind
// libvaultlink. Never used by production code.
//
// The processor reads each request out of the shared buffer as a command frame (u32
// command id, body) and writes its answer behind it, as the real one does:
//  - 0x207 set version: a single u32 status word;
//  - 0x2116, 0x211C, 0x211D (configure, early boot ended, device locked): status 0;
//  - Weaver 0x41501 / 0x41502 / 0x41503: slots kept as the Weaver maps describe (decoded
//    and encoded with libcbor, independent of the system's own CBOR code);
//  - anything a command handler installed by a test answers (a simulated application);
//  - anything else: the next response a test queued (KeyMint commands and raw requests).
// A queued response is also used, ahead of the Weaver slots, for Weaver commands.
// After a restart, commands sent before a new set-version are refused.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace platform::secproc {

inline constexpr uint32_t kCmdSetVersion = 0x207;
inline constexpr uint32_t kCmdConfigure = 0x2116;
inline constexpr uint32_t kCmdEarlyBootEnded = 0x211C;
inline constexpr uint32_t kCmdDeviceLocked = 0x211D;
inline constexpr uint32_t kCmdWeaverGetConfig = 0x41501;
inline constexpr uint32_t kCmdWeaverRead = 0x41502;
inline constexpr uint32_t kCmdWeaverWrite = 0x41503;
// Status of a command refused because no set-version came since the last restart.
inline constexpr int32_t kStatusNotInitialised = -1000;

struct Request {
  uint32_t cmdId = 0;
  std::vector<uint8_t> frame;  // the whole request as it stood in the shared buffer
  std::vector<uint8_t> body() const {
    return frame.size() > 4 ? std::vector<uint8_t>(frame.begin() + 4, frame.end())
                            : std::vector<uint8_t>{};
  }
};

struct Response {
  int32_t status = 0;
  std::vector<uint8_t> body;
  std::optional<uint32_t> msgLen;  // header length to claim instead of 8 + body size
};

enum class Fault {
  kNone,
  kTimeout,            // the processor never answers: the sender waits its whole time-out
  kSendError,          // the channel fails the send (-EIO)
  kWrongResponseType,  // a reply of another type, carrying `ret`
};

// Weaver read status of the interface: 0 ok, 1 failed, 2 incorrect key, 3 throttle.
struct WeaverSlot {
  std::vector<uint8_t> key;
  std::vector<uint8_t> value;
};

class SimSecureProcessor {
 public:
  static SimSecureProcessor& get();

  // A ready processor with its link up, no clients, no buffers' faults, empty state.
  void reset();

  void setReady(bool ready);
  void setLinkUp(bool up);
  void setServerConnected(bool connected);
  void setRegisterFails(bool fails);
  void setCreateChannelFails(bool fails);
  // The next exchange fails this way (once).
  void failNextExchange(Fault fault, int32_t ret = 0);
  // Restarts the processor: its version state is lost and every registered client's
  // restart callback runs on a thread of the library (joined before this returns).
  void restart();

  // Consulted for every command other than set-version and the replayed ones, before the
  // queue; it answers with a response or passes (nullopt). It runs under the processor's
  // lock, so it must not call back into this object. An empty function removes it; reset()
  // removes it too.
  using CommandHandler = std::function<std::optional<Response>(const Request&)>;
  void setCommandHandler(CommandHandler handler);

  void queueResponse(Response response);
  size_t queuedResponses() const;
  void setSetVersionStatus(uint32_t status);
  void setWeaverConfig(uint32_t slots, uint32_t keySize, uint32_t valueSize);
  // Throttle answer of a wrong key: status 2 with this time-out (ms).
  void setWeaverWrongKeyTimeout(uint64_t timeoutMs);
  std::optional<WeaverSlot> weaverSlot(uint32_t slot) const;

  std::vector<Request> requests() const;
  std::vector<uint32_t> commandIds() const;
  void clearRequests();

  int registrations() const;     // successful vaultlink_register_client calls
  int unregistrations() const;
  int liveBuffers() const;       // shared buffers allocated and not yet returned
  int syncDepth() const;         // sync_start minus sync_end
  // Time-outs wait on this (default: really sleeps). Tests install a recorder.
  void setSleeper(std::function<void(std::chrono::milliseconds)> sleeper);
  uint32_t lastTimeoutMs() const;

  // Used by the stand-in itself.
  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  SimSecureProcessor();
  Impl* impl_;
};

}  // namespace platform::secproc
