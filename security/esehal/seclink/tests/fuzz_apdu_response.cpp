// The eSE's answers are outside input: any bytes as the answer to MANAGE CHANNEL, SELECT,
// an APDU and a channel close must leave the library consistent and inside its buffers.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "seclink.h"
#include "teec/sim_secure_element.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace ese = platform::sim::ese;
  ese::reset();
  const std::vector<uint8_t> aid = {0xA0, 0x01};
  ese::installApplet(aid);
  // The input is up to four answers, each prefixed by its length byte.
  std::vector<std::vector<uint8_t>> answers;
  size_t at = 0;
  while (at < size && answers.size() < 4) {
    const size_t n = std::min<size_t>(data[at], size - at - 1);
    answers.emplace_back(data + at + 1, data + at + 1 + n);
    at += 1 + n;
  }
  for (const auto& a : answers) ese::queueResponse(a);
  auto resp = std::make_unique<uint8_t[]>(kSeclinkRxSize);
  int channel = -1, length = 0;
  const int r = openChannel(aid, 0, &channel, resp.get(), &length, false);
  if ((r == 0 || r == static_cast<int>(SECLINK_NOT_SELECTABLE)) && !allChannelsClosed()) {
    transmitApdu({static_cast<uint8_t>(channel), 0x80, 0xCA, 0x00, 0x00}, false, 0, resp.get(), &length);
    if (!allChannelsClosed()) closeGPChannel(static_cast<uint8_t>(channel));
  }
  seclink_close(0);
  resetChannelState();
  if (ese::sessionOpen()) __builtin_trap();  // closing everything must close the session
  return 0;
}
