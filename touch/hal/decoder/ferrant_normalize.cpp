// Normalisation tables of the first-generation Ferrant controllers.
//
// For frequency i (1..F) the file holds a label line "freq<i>,..." of ten fields (fields
// 6 and 7: columns and rows), followed by `rows` lines of up to `columns` integers.
#include "ferrant_normalize.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string_view>
#include <vector>

#include "decoder_internal.h"
#include "platform/paths.h"

namespace hal_decoder {
namespace {

constexpr const char kLockdownNode[] = "/proc/tp_lockdown_info";
constexpr const char kCeramicPrefix[] = "0x53,0x42,0x32,0x03,0x4d,0x31,0x32,0x01";
constexpr const char *kCeramicFiles[] = {"/odm/firmware/ferrant_normalize_1.csv",
                                         "/vendor/firmware/ferrant_normalize_1.csv"};
constexpr const char *kNormalFiles[] = {"/odm/firmware/ferrant_normalize.csv", "/vendor/firmware/ferrant_normalize.csv"};
constexpr int kOpenAttempts = 3;
constexpr size_t kLabelFields = 10;
constexpr const char kParseFn[] = "thp_parse_normalize_file";

// Splits a line at commas; fields keep their surrounding blanks.
std::vector<std::string_view> split_fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A decimal integer field; false for an empty or non-numeric one.
bool parse_int(std::string_view field, long *out) {
  field = trim(field);
  if (field.empty() || field.size() > 20) return false;
  char buf[24];
  memcpy(buf, field.data(), field.size());
  buf[field.size()] = '\0';
  char *end = nullptr;
  long value = strtol(buf, &end, 10);
  if (end == buf || *end != '\0') return false;
  *out = value;
  return true;
}

class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}
  bool next(std::string_view *line) {
    if (pos_ >= text_.size()) return false;
    size_t nl = text_.find('\n', pos_);
    size_t end = nl == std::string_view::npos ? text_.size() : nl;
    *line = text_.substr(pos_, end - pos_);
    pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Fills the block of one frequency; false (logged) when it cannot.
void parse_frequency(std::string_view text, const char *source, int freq, uint8_t columns, uint8_t rows,
                     int32_t *block) {
  const std::string label = "freq" + std::to_string(freq);
  Lines lines(text);
  std::string_view line;
  bool found = false;
  while (lines.next(&line)) {
    if (line.empty() || line.front() != 'f') continue;
    std::vector<std::string_view> fields = split_fields(line);
    if (trim(fields[0]) != label) continue;
    found = true;
    if (fields.size() < kLabelFields) {
      log(kLogError, kParseFn, "%s: %s not found label:%s\n", source, label.c_str());
      return;
    }
    long numbers[kLabelFields] = {};
    for (size_t f = 1; f < kLabelFields; ++f) parse_int(fields[f], &numbers[f]);
    const uint8_t file_columns = static_cast<uint8_t>(numbers[5]);
    const uint8_t file_rows = static_cast<uint8_t>(numbers[6]);
    size_t values = 0;
    for (uint8_t r = 0; r < rows; ++r) {
      std::string_view row;
      if (!lines.next(&row)) {
        log(kLogError, kParseFn, "%s: %s read row data fail\n", source);
        return;
      }
      std::vector<std::string_view> cells = split_fields(row);
      for (size_t c = 0; c < cells.size() && c < columns; ++c) {
        long v = 0;
        if (!parse_int(cells[c], &v)) continue;
        block[static_cast<size_t>(r) * columns + c] = static_cast<int32_t>(v);
        ++values;
      }
    }
    if (values != static_cast<size_t>(rows) * columns || file_columns != columns || file_rows != rows)
      log(kLogError, kParseFn, "%s: %s file parse error, row or col is error\n", source);
    return;
  }
  if (!found) log(kLogError, kParseFn, "%s: %s not found label\n", source);
}

bool ceramic_glass() {
  FILE *node = plat_fopen(kLockdownNode, "r");
  if (node == nullptr) {
    log(kLogError, "read_panel_lockdown", "%s: can't open:%s\n", kLockdownNode);
    return false;
  }
  char info[65] = {};
  size_t n = fread(info, 1, 64, node);
  fclose(node);
  return n >= sizeof kCeramicPrefix - 1 && memcmp(info, kCeramicPrefix, sizeof kCeramicPrefix - 1) == 0;
}

// Each path is tried three times before the next; empty text when none opens.
std::string read_csv(size_t max_bytes, const char **source) {
  const bool ceramic = ceramic_glass();
  log(kLogInfo, "thp_read_normalize_file", ceramic ? "%s: glass ceramic\n" : "%s: glass normal\n");
  const char *const *paths = ceramic ? kCeramicFiles : kNormalFiles;
  for (int p = 0; p < 2; ++p) {
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
      FILE *file = plat_fopen(paths[p], "r");
      if (file == nullptr) continue;
      std::string text(max_bytes, '\0');
      size_t n = fread(text.data(), 1, max_bytes, file);
      fclose(file);
      text.resize(n);
      *source = paths[p];
      return text;
    }
  }
  log(kLogError, "thp_read_normalize_file", "%s: can't open normalize csv file\n");
  return std::string();
}

}  // namespace

int32_t *parse_normalize_table(const std::string &text, const char *source, uint8_t freqs, uint8_t columns,
                               uint8_t rows) {
  const size_t block = static_cast<size_t>(columns) * rows;
  const size_t count = block * (freqs == 0 ? 1 : freqs);
  auto *table = static_cast<int32_t *>(calloc(count == 0 ? 1 : count, sizeof(int32_t)));
  if (table == nullptr) {
    log(kLogError, kParseFn, "%s: %s alloc mem err\n", source);
    return nullptr;
  }
  for (int i = 1; i <= freqs; ++i) parse_frequency(text, source, i, columns, rows, table + (i - 1) * block);
  return table;
}

bool load_normalize_table(uint8_t freqs, uint8_t columns, uint8_t rows,
                          void (*deliver)(int32_t *table, uint32_t size_bytes)) {
  const size_t max_bytes =
      static_cast<size_t>(freqs) * (columns + (5u * columns + 1) * rows + 10) + 300;
  const char *source = "normalize csv";
  const std::string text = read_csv(max_bytes, &source);
  int32_t *table = parse_normalize_table(text, source, freqs, columns, rows);
  if (table == nullptr) return false;
  deliver(table, static_cast<uint32_t>(static_cast<size_t>(freqs) * columns * rows * sizeof(int32_t)));
  return true;
}

}  // namespace hal_decoder
