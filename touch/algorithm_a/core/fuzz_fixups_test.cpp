// The fuzz entries' check-value fix-ups must keep up with the parsers' checks: a valid seed
// with one checked byte changed is refused, and accepted again once the fix-up has run.
// Otherwise the fuzzer silently stops at the check again.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_fixups.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadSeed(const std::string& relative) {
  std::ifstream in(std::string(VENDOR_SOURCE_DIR) + "/fuzz/corpus/" + relative, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The fuzz entries' own calls (4 drive x 6 sense lines, 2 frequencies for frames).
bool FrameAccepted(Bytes frame) {
  static uint16_t auwMutual[kFerrantMaxNodes];
  static uint16_t auwSelf[2 * 255];
  static uint16_t auwIm[2 * 255];
  static uint8_t aubRx[kRxNoiseInfoBytes];
  static uint8_t aubHead[kParseHeadBytes];
  static AdcSatGroup astHeads[3];
  FrameParseInput in = {static_cast<uint32_t>(frame.size()), 2, 4, 6, frame.data()};
  FrameParseTargets targets = {&astHeads[0], auwMutual, &astHeads[1], auwSelf, &astHeads[2], auwIm, aubRx, aubHead};
  return ParseFramedata(&in, &targets) == kParseOk;
}

bool IcInfoAccepted(Bytes block) {
  IcInfo info{};
  return ferx_parse_ic_info(block.data(), static_cast<uint32_t>(block.size()), &info) == 0;
}

bool BlobAccepted(const Bytes& blob) {
  return FirmwareConfigCheck(blob.data(), static_cast<uint32_t>(blob.size())) == kCfgOk;
}

struct Case {
  const char* name;
  const char* seed;  // under fuzz/corpus
  size_t changed;    // byte changed (under a check)
  std::function<bool(const Bytes&)> accepted;
  void (*fix)(uint8_t*, size_t);
};

TEST(FerrantFuzzFixups, MutatedSeedPassesItsCheckAgainAfterTheFixUp) {
  const Case cases[] = {
      {"frame header byte", "ferrant_frame_parse/valid_mutual", 3, FrameAccepted, ferrant_fuzz::fix_frame},
      {"frame index (header sum and end index)", "ferrant_frame_parse/valid_mutual", kParseHeadFrameIndex,
       FrameAccepted, ferrant_fuzz::fix_frame},
      {"information block", "ferrant_ic_info/valid", 5, IcInfoAccepted, ferrant_fuzz::fix_ic_info},
      {"blob header", "ferrant_config_blob/valid_full", 10, BlobAccepted, ferrant_fuzz::fix_config_blob},
      {"blob body", "ferrant_config_blob/valid_full", kCfgHeadLen + 3, BlobAccepted, ferrant_fuzz::fix_config_blob},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes input = ReadSeed(c.seed);
    ASSERT_GT(input.size(), c.changed);
    EXPECT_TRUE(c.accepted(input)) << "the seed itself";
    input[c.changed] ^= 0x5A;
    EXPECT_FALSE(c.accepted(input)) << "the changed byte is not under the check";
    c.fix(input.data(), input.size());
    EXPECT_TRUE(c.accepted(input)) << "the fix-up did not restore the check";
  }
}

}  // namespace
