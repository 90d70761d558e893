#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/hal_config.h"
#include "config/test_host.h"
#include "platform/temp_root.h"

namespace {

using platform::testing::TempRoot;

struct TreeDeleter {
  void operator()(ConfigNode *n) const { free_config_tree(n); }
};
using Tree = std::unique_ptr<ConfigNode, TreeDeleter>;

Tree parse(const std::string &text) { return Tree(hal_config_parse_text(text.data(), text.size())); }

const HalConfigAccessor &cfg() { return *get_config_file_interface(); }

ConfigNode *node(ConfigNode *from, const char *path) {
  return static_cast<ConfigNode *>(cfg().get_node(from, path));
}

// ---- syntax: which texts parse ---------------------------------------------------------

struct SyntaxCase {
  const char *name;
  const char *text;
  bool ok;
};

const SyntaxCase kSyntax[] = {
    {"four_spaces_is_level_1", "hw\n    col = 3\n", true},
    {"three_spaces_is_an_error", "hw\n   col = 3\n", false},
    {"tab_and_four_spaces_is_level_2", "a\n\tb\n\t    c = 1\n", true},
    {"comment_and_blank_lines", "# header\n\n  \t\nhw # section\n    col = 3 # three\n", true},
    {"array_with_trailing_comma", "a = {1, 2, 3,}\n", true},
    {"empty_array", "a = {}\n", true},
    {"two_commas_in_a_row", "a = {1,,2}\n", false},
    {"array_without_closing_brace", "a = {1, 2\n", false},
    {"array_with_a_word", "a = {1, x}\n", false},
    {"array_value_beyond_32_bits", "a = {4294967296}\n", false},
    {"space_inside_text_value", "a = b c\n", false},
    {"empty_value", "a =\n", false},
    {"empty_key", " = 1\n", false},
    {"dot_in_key", "a.b = 1\n", false},
    {"space_in_key", "a b = 1\n", false},
    {"section_without_child", "hw\nother = 1\n", false},
    {"section_at_end_of_file", "a = 1\nhw\n", false},
    {"child_two_levels_deeper", "hw\n    a\n            b = 1\n", false},
    {"first_line_indented", "    a = 1\n", false},
    {"duplicate_key_under_one_parent", "hw\n    a = 1\n    a = 2\n", false},
    {"same_key_under_two_parents", "x\n    a = 1\ny\n    a = 2\n", true},
    {"crlf_line_ends", "hw\r\n    a = 1\r\n", true},
    {"empty_file", "", true},
};

void PrintTo(const SyntaxCase &c, std::ostream *os) { *os << c.name; }

class HalConfigSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(HalConfigSyntax, ParsesOrRefuses) {
  Tree t = parse(GetParam().text);
  EXPECT_EQ(t != nullptr, GetParam().ok) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Cases, HalConfigSyntax, ::testing::ValuesIn(kSyntax),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- tree shape and lookups ------------------------------------------------------------

const char kSample[] =
    "# panel settings\n"
    "hw\n"
    "    hal_col_num = 38\n"
    "    hal_row_num = 17\n"
    "    name = panel_a\n"
    "    nodes = {1, 2, 3,}\n"
    "report_rate\n"
    "\trate_normal = 120\n"
    "\tgame\n"
    "\t    rate = 240\n"
    "long_value = 12\\\n"
    "      34\n"
    "top = 7\n";

TEST(HalConfigTree, BuildsTheTreeInFileOrder) {
  Tree t = parse(kSample);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->key, "root");
  std::vector<std::string> top;
  for (ConfigNode *n = t->child; n != nullptr; n = n->next) top.push_back(n->key);
  EXPECT_EQ(top, (std::vector<std::string>{"hw", "report_rate", "long_value", "top"}));

  ConfigNode *hw = t->child;
  EXPECT_EQ(hw->line, 2u);
  EXPECT_EQ(hw->level, 0);
  EXPECT_EQ(hw->value, nullptr);
  ConfigNode *col = hw->child;
  EXPECT_STREQ(col->key, "hal_col_num");
  EXPECT_STREQ(col->value, "38");
  EXPECT_EQ(col->line, 3u);
  EXPECT_EQ(col->level, 1);
  EXPECT_EQ(col->parent, hw);

  ConfigNode *rate = node(t.get(), "report_rate.game.rate");
  ASSERT_NE(rate, nullptr);
  EXPECT_EQ(rate->level, 2);
  EXPECT_EQ(rate->line, 10u);
  // The node after the nested one lines up with its grandparent's siblings again.
  ConfigNode *longValue = node(t.get(), "long_value");
  ASSERT_NE(longValue, nullptr);
  EXPECT_EQ(longValue->parent, t.get());
}

TEST(HalConfigTree, LookupsMatchWholeKeysOnly) {
  Tree t = parse(kSample);
  ASSERT_NE(t, nullptr);
  ConfigNode *col = node(t.get(), "hw.hal_col_num");
  ASSERT_NE(col, nullptr);
  EXPECT_STREQ(col->key, "hal_col_num");
  EXPECT_EQ(node(t.get(), "hw.hal_col"), nullptr);      // a prefix of a key
  EXPECT_EQ(node(t.get(), "hw.hal_col_num_x"), nullptr);
  EXPECT_EQ(node(t.get(), "hal_col_num"), nullptr);     // not at level 0
  EXPECT_EQ(node(t.get(), "hw."), nullptr);
  EXPECT_EQ(node(nullptr, "hw"), nullptr);
  EXPECT_EQ(node(t.get(), nullptr), nullptr);
  // A lookup may start below the root.
  ConfigNode *hw = node(t.get(), "hw");
  EXPECT_EQ(node(hw, "hal_row_num"), hw->child->next);
}

TEST(HalConfigTree, TypedReadsAndDefaults) {
  Tree t = parse(kSample);
  ASSERT_NE(t, nullptr);
  uint32_t lookups0 = 0, defaults0 = 0;
  hal_config_lookup_counts(&lookups0, &defaults0);

  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.hal_col_num", -1), 38);
  EXPECT_EQ(cfg().get_int_config(t.get(), "report_rate.game.rate", -1), 240);
  EXPECT_EQ(cfg().get_int_config(t.get(), "long_value", -1), 1234);  // continuation joined
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.missing", 77), 77);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw", 5), 5);              // a section has no value
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.nodes", 6), 6);        // an array has no text

  int32_t values[3] = {9, 9, 9};
  int32_t count = 3;
  cfg().get_int_array_config(t.get(), "hw.nodes", &count, values);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], 2);
  EXPECT_EQ(values[2], 3);
  int32_t other[2] = {42, 43};
  count = 2;  // the file holds three: the destination stays as it was
  cfg().get_int_array_config(t.get(), "hw.nodes", &count, other);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(other[0], 42);
  EXPECT_EQ(other[1], 43);

  char text[6];
  memset(text, 'x', sizeof text);
  EXPECT_EQ(cfg().get_string_config(t.get(), "hw.name", text, sizeof text, "dflt"), 0);
  EXPECT_STREQ(text, "panel");  // cut to capacity - 1
  EXPECT_EQ(cfg().get_string_config(t.get(), "hw.none", text, sizeof text, "dflt"), HAL_CONFIG_DEFAULT_FAILED);
  EXPECT_STREQ(text, "dflt");

  uint32_t lookups = 0, defaults = 0;
  hal_config_lookup_counts(&lookups, &defaults);
  EXPECT_EQ(lookups - lookups0, 10u);
  EXPECT_EQ(defaults - defaults0, 5u);
}

TEST(HalConfigTree, ArrayKeepsEveryElement) {
  // More elements than the first array step of 100.
  std::string text = "big = {";
  for (int i = 0; i < 250; ++i) text += std::to_string(i * 3 - 100) + ",";
  text += "}\n";
  Tree t = parse(text);
  ASSERT_NE(t, nullptr);
  ConfigNode *big = t->child;
  ASSERT_EQ(big->array_count, 250);
  for (int i = 0; i < 250; ++i) ASSERT_EQ(big->array[i], i * 3 - 100);
  EXPECT_EQ(big->value, nullptr);
}

TEST(HalConfigTree, OverlongLinesAreRefused) {
  // A line of exactly the limit (terminator included) fits; one byte more is refused rather
  // than cut in two.
  std::string fits = "k = " + std::string(HAL_CONFIG_LINE_MAX - 1 - 4, '7') + "\n";
  EXPECT_NE(parse(fits), nullptr);
  std::string tooLong = "k = " + std::string(HAL_CONFIG_LINE_MAX - 4, '7') + "\n";
  EXPECT_EQ(parse(tooLong), nullptr);
  // Continuation lines may not build a value beyond the limit either.
  std::string half(HAL_CONFIG_LINE_MAX / 2 + 10, '1');
  EXPECT_EQ(parse("k = " + half + "\\\n" + half + "\n"), nullptr);
}

// A value the file cannot carry is refused by name, not read as something else.
struct RefusedValueCase {
  const char *name;
  const char *text;
  const char *key;
};

const RefusedValueCase kRefusedValues[] = {
    {"lone_backslash_at_end_of_file", "a = 1\nbad = \\\n", "bad"},
    {"lone_backslash_before_a_blank_line", "bad = \\\n\nb = 1\n", "bad"},
    {"backslash_before_a_comment_line", "bad = \\\n  # nothing\nb = 1\n", "bad"},
    {"continued_value_at_end_of_file", "bad = 12\\\n", "bad"},
};

void PrintTo(const RefusedValueCase &c, std::ostream *os) { *os << c.name; }

class HalConfigRefusedValue : public ::testing::TestWithParam<RefusedValueCase> {};

TEST_P(HalConfigRefusedValue, RefusesTheFileNamingTheKey) {
  hal_test::TestHost host;
  EXPECT_EQ(parse(GetParam().text), nullptr) << GetParam().text;
  EXPECT_EQ(host.count(std::string("key ") + GetParam().key), 1u) << ::testing::PrintToString(host.lines());
}

INSTANTIATE_TEST_SUITE_P(Cases, HalConfigRefusedValue, ::testing::ValuesIn(kRefusedValues),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HalConfigTree, AScalarBeyond32BitsIsRefusedByNameAndTheDefaultServes) {
  hal_test::TestHost host;
  Tree t = parse("hw\n    big = 99999999999\n    low = -2147483649\n    max = 2147483647\n    min = -2147483648\n"
                 "    lead = 12abc\n");
  ASSERT_NE(t, nullptr);
  uint32_t defaults0 = 0;
  hal_config_lookup_counts(nullptr, &defaults0);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.big", 5), 5);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.low", 6), 6);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.max", 0), INT32_MAX);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.min", 0), INT32_MIN);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.lead", 0), 12);  // digits first, as before
  uint32_t defaults = 0;
  hal_config_lookup_counts(nullptr, &defaults);
  EXPECT_EQ(defaults - defaults0, 2u);
  EXPECT_EQ(host.count("hw.big"), 2u) << ::testing::PrintToString(host.lines());  // refusal and default
  EXPECT_EQ(host.count("out of range"), 2u) << ::testing::PrintToString(host.lines());
}

// ---- the file on disk ---------------------------------------------------------------

TEST(HalConfigFile, OpensThroughTheRootAndRefusesMissingFiles) {
  TempRoot root;
  root.writeFile("/odm/firmware/panel.cfg", kSample);
  Tree t(open_and_decode_config_file("/odm/firmware/panel.cfg"));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(cfg().get_int_config(t.get(), "hw.hal_row_num", 0), 17);
  EXPECT_EQ(open_and_decode_config_file("/odm/firmware/missing.cfg"), nullptr);
  EXPECT_EQ(open_and_decode_config_file(nullptr), nullptr);
  root.writeFile("/odm/firmware/broken.cfg", "hw\n   a = 1\n");
  EXPECT_EQ(open_and_decode_config_file("/odm/firmware/broken.cfg"), nullptr);
}

}  // namespace
