// The RFC 8949 test vectors, read in place: every Appendix A example decodes to its stated
// value and (unless marked otherwise) encodes back to the same bytes; every input of the
// bad suite is refused with the error of its class.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cbor_tree.h"

namespace vcbor::testing {
namespace {

const std::string kVectors = VENDOR_TESTDATA_DIR "/cbor/cbor-wg-test-vectors/tests/";

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

struct Suite {
  Node file;
  std::vector<const Node*> tests;
};

Suite loadSuite(const std::string& name) {
  Suite suite;
  std::vector<uint8_t> bytes = readFile(kVectors + name);
  EXPECT_FALSE(bytes.empty()) << name;
  EXPECT_EQ(decodeTree(bytes, &suite.file), kSuccess) << name;
  const Node* tests = mapGet(suite.file, "tests");
  EXPECT_NE(tests, nullptr) << name;
  if (tests != nullptr) {
    for (const Node& t : tests->kids) suite.tests.push_back(&t);
  }
  return suite;
}

std::string text(const Node* n) { return n != nullptr ? std::string(n->s.begin(), n->s.end()) : ""; }

class AppendixA : public ::testing::TestWithParam<const char*> {};

TEST_P(AppendixA, DecodesToStatedValueAndEncodesBack) {
  Suite suite = loadSuite(std::string("rfc8949-appendixA/") + GetParam());
  ASSERT_FALSE(suite.tests.empty());
  const Node* fileFail = mapGet(suite.file, "fail");
  for (const Node* test : suite.tests) {
    const std::string what = text(mapGet(*test, "description"));
    const Node* encoded = mapGet(*test, "encoded");
    ASSERT_NE(encoded, nullptr) << what;
    const Node* fail = mapGet(*test, "fail");
    bool mustFail = (fail != nullptr && fail->type == kTypeTrue) ||
                    (fileFail != nullptr && fileFail->type == kTypeTrue);
    if (mustFail) {
      EXPECT_NE(walkAll(encoded->s.data(), encoded->s.size()), kSuccess) << what;
      continue;
    }
    Node decoded;
    ASSERT_EQ(decodeTree(encoded->s, &decoded), kSuccess) << what;
    const Node* expected = mapGet(*test, "decoded");
    ASSERT_NE(expected, nullptr) << what;
    EXPECT_EQ(decoded, *expected) << what << ": got " << decoded.describe() << ", want "
                                  << expected->describe();
    const Node* roundtrip = mapGet(*test, "roundtrip");
    if (roundtrip == nullptr || roundtrip->type == kTypeTrue) {
      EXPECT_EQ(encodeTree(decoded), encoded->s) << what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rfc8949, AppendixA,
                         ::testing::Values("mt0.cbor", "mt1.cbor", "mt2.cbor", "mt3.cbor",
                                           "mt4.cbor", "mt5.cbor", "mt6.cbor",
                                           "mt7-float.cbor", "mt7-simple.cbor",
                                           "streaming.cbor"));

// Each class of malformed input has its own error: the class is named in the vector's
// description. The first rule whose words the description holds decides.
TEST(Rfc8949Bad, EachMalformedClassGivesItsError) {
  struct Rule {
    const char* words;
    uint8_t error;
    int matched;
  };
  Rule rules[] = {
      {"Invalid AI", kNotWellFormed, 0},         // reserved additional information 28 to 30
      {"Invalid streaming AI", kNotWellFormed, 0},
      {"invalid utf8", kBadUtf8, 0},
      {"non-bytes chunk", kBadChunk, 0},
      {"non-string chunk", kBadChunk, 0},
      {"deeply-nested", kNestingTooDeep, 0},     // deeper than the decoder goes, before the end
      {"invalid item", kNotWellFormed, 0},
      {"containing invalid", kNotWellFormed, 0},
      {"invalid key", kNotWellFormed, 0},
      {"invalid value", kNotWellFormed, 0},
      {"unexpected BREAK", kBadBreak, 0},
      {"odd number of items", kBadBreak, 0},     // the break stands where a value belongs
      {"date: unexpected object", kBadTagContent, 0},
      {"Missing the next", kHitEnd, 0},
      {"Only 3 bytes", kHitEnd, 0},
      {"only has 4 bytes", kHitEnd, 0},
      {"with nothing", kHitEnd, 0},
      {"no BREAK", kHitEnd, 0},
      {"missing BREAK", kHitEnd, 0},
      {"missing item", kHitEnd, 0},
      {"missing second item", kHitEnd, 0},
      {"without end", kHitEnd, 0},
      {"expected key", kHitEnd, 0},
      {"missing value", kHitEnd, 0},
      {"1 key expecting 2", kHitEnd, 0},
  };
  Suite suite = loadSuite("rfc8949/bad.cbor");
  ASSERT_GE(suite.tests.size(), 40u);
  for (const Node* test : suite.tests) {
    const std::string what = text(mapGet(*test, "description"));
    const Node* encoded = mapGet(*test, "encoded");
    ASSERT_NE(encoded, nullptr) << what;
    Rule* rule = nullptr;
    for (Rule& r : rules) {
      if (what.find(r.words) != std::string::npos) {
        rule = &r;
        break;
      }
    }
    ASSERT_NE(rule, nullptr) << "no class for \"" << what << "\"";
    rule->matched++;
    EXPECT_EQ(int{walkAll(encoded->s.data(), encoded->s.size())}, int{rule->error}) << what;
  }
  for (const Rule& r : rules) EXPECT_GT(r.matched, 0) << "no vector of the class \"" << r.words << "\"";
}

}  // namespace
}  // namespace vcbor::testing
