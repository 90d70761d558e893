// Fuzz entry point over the item walker and the init and target readers: whatever the
// bytes, every payload handed on lies inside the stream, and the replay head built from
// the records afterwards walks back cleanly.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "tsa_pack.h"
#include "tsa_replay.h"
#include "ferx_syslog_capture_test.h"
#include "tsa_os.h"

namespace {

const uint8_t* gpubStreamBegin;
const uint8_t* gpubStreamEnd;

void CheckInside(const uint8_t* payload, uint32_t length) {
  if (payload < gpubStreamBegin || payload > gpubStreamEnd ||
      length > static_cast<size_t>(gpubStreamEnd - payload)) {
    std::abort();
  }
}

uint32_t InitItem(uint32_t type, uint8_t* payload, uint32_t length) {
  CheckInside(payload, length);
  ReplayUnpackInitInfo(type, payload, length);
  return 0;  // keep walking: reach every item
}

uint32_t TargetItem(uint32_t type, uint8_t* payload, uint32_t length) {
  CheckInside(payload, length);
  return ReplayUnpackTargetInfo(type, payload, length);
}

uint32_t HeadItem(uint32_t, uint8_t* payload, uint32_t length) {
  CheckInside(payload, length);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  fxtest::SysLogCapture::Silence();
  ReplayResetForTest();
  ReportPackResetForTest();
  std::vector<uint8_t> stream(data, data + size);
  gpubStreamBegin = stream.data();
  gpubStreamEnd = stream.data() + stream.size();
  const uint32_t n = static_cast<uint32_t>(stream.size());
  ThpReplayUnpack(stream.data(), n, &InitItem);
  ThpReplayUnpack(stream.data(), n, &TargetItem);

  static uint8_t head[16384];
  uint32_t length = sizeof(head);
  if (GetInitInfo(REPLAY_INIT_REPLAY_HEAD, head, &length) == 0) {
    gpubStreamBegin = head;
    gpubStreamEnd = head + length;
    if (ThpReplayUnpack(head, length, &HeadItem) != REPLAY_UNPACK_OK) std::abort();
  }
  return 0;
}
