// Parser and accessor of the module's configuration file format.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "config/hal_config.h"
#include "platform/paths.h"
#include "vendor_export.h"

namespace {

constexpr const char *kParseFn = "open_and_decode_config_file";
constexpr std::string_view kWhitespace = " \t\r\n";

std::atomic<uint32_t> g_lookups{0};
std::atomic<uint32_t> g_defaults{0};

bool isSpace(char c) { return kWhitespace.find(c) != std::string_view::npos; }

std::string_view trim(std::string_view s) {
  size_t b = s.find_first_not_of(kWhitespace);
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(kWhitespace);
  return s.substr(b, e - b + 1);
}

char *dupText(std::string_view s) {
  char *p = static_cast<char *>(malloc(s.size() + 1));
  if (p == nullptr) return nullptr;
  memcpy(p, s.data(), s.size());
  p[s.size()] = '\0';
  return p;
}

ConfigNode *newNode(uint32_t line, int32_t level, std::string_view key) {
  auto *node = static_cast<ConfigNode *>(calloc(1, sizeof(ConfigNode)));
  if (node == nullptr) return nullptr;
  node->line = line;
  node->level = level;
  node->key = dupText(key);
  if (node->key == nullptr) {
    free(node);
    return nullptr;
  }
  return node;
}

// Physical lines of the text, one at a time, with their 1-based numbers.
class LineReader {
 public:
  LineReader(const char *text, size_t length) : text_(text, length) {}
  // False at the end of the text. The line excludes its '\n'.
  bool next(std::string_view *line, uint32_t *number) {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    *number = ++line_;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  uint32_t line_ = 0;
};

std::string_view stripComment(std::string_view line) {
  size_t hash = line.find('#');
  return hash == std::string_view::npos ? line : line.substr(0, hash);
}

// Reads the brace array of value (which begins with '{') into node. False after logging.
bool parseArray(std::string_view value, uint32_t line, std::string_view raw, ConfigNode *node) {
  if (value.size() < 2 || value.back() != '}') {
    HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: array can't find '}' at end, line %d: %.*s", line,
            static_cast<int>(raw.size()), raw.data());
    return false;
  }
  std::string_view body = value.substr(1, value.size() - 2);
  std::vector<int32_t> values;
  values.reserve(HAL_CONFIG_ARRAY_STEP);
  size_t start = 0;
  while (true) {
    size_t comma = body.find(',', start);
    bool last = comma == std::string_view::npos;
    std::string_view element = trim(body.substr(start, last ? std::string_view::npos : comma - start));
    if (element.empty()) {
      if (!last) {
        HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: has empty value in array, line: %d!", line);
        return false;
      }
      break;  // "{1,2,}" and "{}" end without an extra element
    }
    // Decimal as "%d" reads it, but a number that does not fit 32 bits or an element without
    // digits is refused instead of storing an undefined value.
    std::string text(element);
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: invalid number in array, line: %d!", line);
      return false;
    }
    values.push_back(static_cast<int32_t>(v));
    if (last) break;
    start = comma + 1;
  }
  if (!values.empty()) {
    node->array = static_cast<int32_t *>(malloc(values.size() * sizeof(int32_t)));
    if (node->array == nullptr) return false;
    memcpy(node->array, values.data(), values.size() * sizeof(int32_t));
  }
  node->array_count = static_cast<int32_t>(values.size());
  return true;
}

struct ParsedLine {
  ConfigNode *node;
  bool hasArray;
};

// Reads every non-empty line into a flat list of nodes. False after logging.
bool readNodes(LineReader &reader, std::vector<ParsedLine> &out) {
  std::string_view raw;
  uint32_t line = 0;
  while (reader.next(&raw, &line)) {
    if (raw.size() >= HAL_CONFIG_LINE_MAX) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: line %d longer than %d bytes", line, HAL_CONFIG_LINE_MAX - 1);
      return false;
    }
    std::string_view text = stripComment(raw);
    if (trim(text).empty()) continue;
    // Indentation: a tab counts one level, four spaces count one.
    size_t i = 0;
    int32_t tabs = 0;
    int32_t spaces = 0;
    for (; i < text.size() && isSpace(text[i]); ++i) {
      if (text[i] == '\t') ++tabs;
      if (text[i] == ' ') ++spaces;
    }
    if (spaces % 4 != 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error indent in line %d: %.*s", line, static_cast<int>(raw.size()),
              raw.data());
      return false;
    }
    int32_t level = tabs + spaces / 4;
    std::string_view body = text.substr(i);
    size_t eq = body.find('=');
    std::string_view key = trim(body.substr(0, eq));
    if (key.empty()) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: empty key in line %d: %.*s", line, static_cast<int>(raw.size()),
              raw.data());
      return false;
    }
    for (char c : key) {
      if (c == '.' || isSpace(c)) {
        HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: invalid s8 in key, line %d: %.*s", line,
                static_cast<int>(raw.size()), raw.data());
        return false;
      }
    }
    ConfigNode *node = newNode(line, level, key);
    if (node == nullptr) return false;
    out.push_back({node, false});
    if (eq == std::string_view::npos) continue;  // a section header

    std::string value(trim(body.substr(eq + 1)));
    if (value.empty()) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: empty value in line %d: %.*s", line, static_cast<int>(raw.size()),
              raw.data());
      return false;
    }
    // Continuation lines, joined without the backslash; the joined value keeps the line
    // limit so that no reader of the value needs more room than a line.
    std::string_view more;
    uint32_t moreLine = 0;
    bool dangling = false;
    while (!value.empty() && value.back() == '\\') {
      value.pop_back();
      if (!reader.next(&more, &moreLine)) {
        dangling = true;
        break;
      }
      if (more.size() >= HAL_CONFIG_LINE_MAX) {
        HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: line %d longer than %d bytes", moreLine,
                HAL_CONFIG_LINE_MAX - 1);
        return false;
      }
      value.append(trim(stripComment(more)));
      if (value.size() >= HAL_CONFIG_LINE_MAX) {
        HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: value of line %d longer than %d bytes", line,
                HAL_CONFIG_LINE_MAX - 1);
        return false;
      }
    }
    // A continuation cut off by the end of the file, or one that brings only blank text,
    // leaves a value that is not what the file meant ("" or a stray backslash): refused.
    if (dangling || value.empty()) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: line %d: key %.*s has no value after its continuation", line,
                 static_cast<int>(key.size()), key.data());
      return false;
    }
    if (value[0] == '{') {
      if (!parseArray(value, line, raw, node)) return false;
      out.back().hasArray = true;
      continue;
    }
    for (char c : value) {
      if (isSpace(c)) {
        HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error: invalid s8 in value, line %d: %.*s", line,
                static_cast<int>(raw.size()), raw.data());
        return false;
      }
    }
    node->value = dupText(value);
    if (node->value == nullptr) return false;
  }
  return true;
}

bool addChild(ConfigNode *parent, ConfigNode *child) {
  ConfigNode **link = &parent->child;
  for (ConfigNode *s = parent->child; s != nullptr; s = s->next) {
    if (strcmp(s->key, child->key) == 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "add_child_node", "error: line %d has same key with line %d, key is %s", child->line,
              s->line, child->key);
      return false;
    }
    link = &s->next;
  }
  *link = child;
  child->parent = parent;
  return true;
}

// Links the flat list under root. Every node is handed to the tree as soon as it is
// linked; the ones left in the list on failure are freed by the caller.
bool buildTree(ConfigNode *root, std::vector<ParsedLine> &nodes) {
  ConfigNode *prev = root;
  for (size_t i = 0; i < nodes.size(); ++i) {
    ConfigNode *node = nodes[i].node;
    bool hasChild = i + 1 < nodes.size() && nodes[i + 1].node->level == node->level + 1;
    if (node->value == nullptr && !nodes[i].hasArray && !hasChild) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error line %d: no value and no child is not allow", node->line);
      return false;
    }
    if (node->level > prev->level + 1) {
      HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "error indent in line %d", node->line);
      return false;
    }
    ConfigNode *parent = prev;
    while (parent->level >= node->level) parent = parent->parent;
    if (!addChild(parent, node)) return false;
    nodes[i].node = nullptr;
    prev = node;
  }
  return true;
}

}  // namespace

ConfigNode *hal_config_parse_text(const char *text, size_t length) {
  ConfigNode *root = newNode(0, -1, "root");
  if (root == nullptr) return nullptr;
  std::vector<ParsedLine> nodes;
  LineReader reader(text != nullptr ? text : "", text != nullptr ? length : 0);
  bool ok = readNodes(reader, nodes) && buildTree(root, nodes);
  if (ok) return root;
  HAL_LOG_AS(HAL_LOG_VERBOSE, kParseFn, "===============release resource==============");
  for (ParsedLine &p : nodes) free_config_tree(p.node);
  free_config_tree(root);
  return nullptr;
}

VENDOR_EXPORT ConfigNode *open_and_decode_config_file(const char *path) {
  FILE *f = path != nullptr ? plat_fopen(path, "re") : nullptr;
  if (f == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "open config file %s failed", path != nullptr ? path : "(null)");
    return nullptr;
  }
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  bool readError = ferror(f) != 0;
  fclose(f);
  if (readError) {
    HAL_LOG_AS(HAL_LOG_ERROR, kParseFn, "open config file %s failed", path);
    return nullptr;
  }
  return hal_config_parse_text(text.data(), text.size());
}

static void releaseOne(ConfigNode *node) {
  HAL_LOG_AS(HAL_LOG_VERBOSE, "free_config_tree", "free key memory: %p", static_cast<void *>(node->key));
  free(node->key);
  if (node->value != nullptr) {
    HAL_LOG_AS(HAL_LOG_VERBOSE, "free_config_tree", "free value memory: %p", static_cast<void *>(node->value));
    free(node->value);
  }
  if (node->array != nullptr) {
    HAL_LOG_AS(HAL_LOG_VERBOSE, "free_config_tree", "free array memory: %p", static_cast<void *>(node->array));
    free(node->array);
  }
  HAL_LOG_AS(HAL_LOG_VERBOSE, "free_config_tree", "free memory: %p", static_cast<void *>(node));
  free(node);
}

VENDOR_EXPORT void free_config_tree(ConfigNode *node) {
  if (node == nullptr) return;
  // Children first, depth-first, with an explicit stack: a file may nest as deep as it has
  // lines, and that must not exhaust the thread's stack.
  std::vector<ConfigNode *> pending{node};
  while (!pending.empty()) {
    ConfigNode *top = pending.back();
    if (top->child != nullptr) {
      ConfigNode *child = top->child;
      top->child = child->next;
      child->next = nullptr;
      pending.push_back(child);
      continue;
    }
    pending.pop_back();
    releaseOne(top);
  }
}

namespace {

ConfigNode *findNode(ConfigNode *node, const char *path) {
  if (node == nullptr || path == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, "get_node", "config file or config str is NULL");
    return nullptr;
  }
  std::string_view rest(path);
  while (node != nullptr) {
    size_t dot = rest.find('.');
    std::string_view part = rest.substr(0, dot);
    ConfigNode *match = nullptr;
    for (ConfigNode *c = node->child; c != nullptr && match == nullptr; c = c->next) {
      if (part == c->key) match = c;
    }
    if (match == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "get_node", "can't not find node: %s", path);
      return nullptr;
    }
    if (dot == std::string_view::npos) return match;
    rest = rest.substr(dot + 1);
    node = match;
  }
  return nullptr;
}

ConfigNode *countedLookup(void *node, const char *path) {
  g_lookups.fetch_add(1);
  return findNode(static_cast<ConfigNode *>(node), path);
}

const char *shown(const char *path) { return path != nullptr ? path : "(null)"; }

int32_t getIntConfig(void *node, const char *path, int32_t defaultValue) {
  ConfigNode *found = countedLookup(node, path);
  if (found != nullptr && found->value != nullptr) {
    // The leading number as "%d" takes it, but one beyond 32 bits is refused rather than
    // wrapped into an unrelated setting (an array element beyond 32 bits is refused too).
    char *end = nullptr;
    errno = 0;
    const long long value = strtoll(found->value, &end, 10);
    if (end != found->value) {
      if (errno != ERANGE && value >= INT32_MIN && value <= INT32_MAX) return static_cast<int32_t>(value);
      HAL_LOG_AS(HAL_LOG_ERROR, "get_int_config", "error: value of %s out of range, line %d: %s", shown(path),
                 found->line, found->value);
    }
  }
  uint32_t used = g_defaults.fetch_add(1) + 1;
  HAL_LOG_AS(HAL_LOG_INFO, "get_int_config", "********use_default_cnt: %d %s = %d*******", used, shown(path),
          defaultValue);
  return defaultValue;
}

void getIntArrayConfig(void *node, const char *path, int32_t *count, int32_t *destination) {
  ConfigNode *found = countedLookup(node, path);
  if (count == nullptr) return;
  int32_t wanted = *count;
  if (found != nullptr && found->array_count == wanted && (wanted == 0 || destination != nullptr)) {
    if (wanted > 0) memcpy(destination, found->array, static_cast<size_t>(wanted) * sizeof(int32_t));
    return;
  }
  *count = 0;
  uint32_t used = g_defaults.fetch_add(1) + 1;
  // The first default value is shown only when the caller's array has one.
  HAL_LOG_AS(HAL_LOG_INFO, "get_int_array_config", "********default_cnt: %d  array %s = %d*******", used,
             shown(path), wanted > 0 && destination != nullptr ? destination[0] : 0);
}

void copyCut(char *destination, uint32_t capacity, const char *text) {
  memset(destination, 0, capacity);
  size_t n = strnlen(text, capacity - 1);
  memcpy(destination, text, n);
}

int32_t getStringConfig(void *node, const char *path, char *destination, uint32_t capacity,
                        const char *defaultValue) {
  ConfigNode *found = countedLookup(node, path);
  bool haveRoom = destination != nullptr && capacity > 0;
  if (found != nullptr && found->value != nullptr) {
    if (haveRoom) copyCut(destination, capacity, found->value);
    return 0;
  }
  uint32_t used = g_defaults.fetch_add(1) + 1;
  const char *fallback = defaultValue != nullptr ? defaultValue : "";
  if (haveRoom) copyCut(destination, capacity, fallback);
  HAL_LOG_AS(HAL_LOG_INFO, "get_string_config", "********use_default_cnt: %d %s = %s*******", used, shown(path),
          fallback);
  return HAL_CONFIG_DEFAULT_FAILED;
}

void *getNode(void *node, const char *path) { return findNode(static_cast<ConfigNode *>(node), path); }

const HalConfigAccessor kAccessor = {getNode, getIntConfig, getIntArrayConfig, getStringConfig};

}  // namespace

VENDOR_EXPORT const HalConfigAccessor *get_config_file_interface(void) { return &kAccessor; }

void hal_config_lookup_counts(uint32_t *lookups, uint32_t *defaults) {
  if (lookups != nullptr) *lookups = g_lookups.load();
  if (defaults != nullptr) *defaults = g_defaults.load();
}
