// The fuzz entries' check-value fix-ups must keep up with the decoders' checks: a valid
// seed with one checked byte changed is refused, and accepted again once the family's
// fix-up has run. Otherwise the fuzzer silently stops at the check again.
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "decoder_test_util.h"
#include "fuzz_decode_fixups.h"

namespace {

using decoder_test::Records;
namespace enc = decoder_test::enc;
using Fix = std::function<void(uint8_t *, size_t)>;

struct Case {
  const char *name;
  const device_operation *table;
  const char *seed;  // under fuzz/corpus
  size_t changed;    // slot byte changed (inside the checked range)
  Fix fix;
};

enc::Bytes read_seed(const std::string &relative) {
  std::ifstream in(std::string(VENDOR_SOURCE_DIR) + "/fuzz/corpus/" + relative, std::ios::binary);
  return enc::Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool decodes(const device_operation &table, const enc::Bytes &slot) {
  Records records(table, decoder_fuzz::fuzz_config());
  return records.ok() && records.decode(0, slot);
}

Fix frame_fix(size_t header, void (*fix)(uint8_t *, size_t)) {
  return [header, fix](uint8_t *slot, size_t size) { decoder_fuzz::fix_frame(slot, size, header, fix); };
}

Fix luma_v2_fix(unsigned seed) {
  return [seed](uint8_t *slot, size_t size) {
    decoder_fuzz::fix_frame(slot, size, 64, [seed](uint8_t *f, size_t n) { decoder_fuzz::fix_luma_v2(f, n, seed); });
  };
}

TEST(FuzzFixups, MutatedSeedPassesItsCheckAgainAfterTheFixUp) {
  using namespace decoder_fuzz;
  const Case cases[] = {
      {"luma v1", &luma_operation, "hal_decode_luma/v1_valid", 120, frame_fix(64, fix_luma_v1)},
      {"luma v2 block check", &luma_operation_v2, "hal_decode_luma/v2_valid_bcc_dump", 120, luma_v2_fix(0)},
      {"luma v2 crc", &luma_operation_v2, "hal_decode_luma/v2_valid_bcc_dump", 120, luma_v2_fix(1)},
      {"pellon v1", &pellon_operation, "hal_decode_pellon/v1_valid", 120, frame_fix(64, fix_pellon)},
      {"pellon v2", &pellon_operation_v2, "hal_decode_pellon/v2_valid", 120, frame_fix(64, fix_pellon)},
      {"kv", &kv_operation, "hal_decode_kv/valid_60hz", 100, frame_fix(64, fix_kv)},
      {"ferrant v1 header", &ferrant_operation, "hal_decode_ferrant/v1_dump_area", 30, frame_fix(16, fix_ferrant)},
      {"ferrant v1 body", &ferrant_operation, "hal_decode_ferrant/v1_dump_area", 200, frame_fix(16, fix_ferrant)},
      {"ferrant v2", &ferrant_operation_v2, "hal_decode_ferrant/v2_all_packets", 60, frame_fix(16, fix_ferrant)},
      {"zet50210", &zet50210_operation_v2, "hal_decode_zet50210/normal", 100, frame_fix(64, fix_zet50210)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    enc::Bytes slot = read_seed(c.seed);
    ASSERT_GT(slot.size(), c.changed);
    EXPECT_TRUE(decodes(*c.table, slot)) << "the seed itself";
    slot[c.changed] ^= 0x5A;
    EXPECT_FALSE(decodes(*c.table, slot)) << "the changed byte is not under the check";
    c.fix(slot.data(), slot.size());
    EXPECT_TRUE(decodes(*c.table, slot)) << "the fix-up did not restore the check";
  }
}

}  // namespace
