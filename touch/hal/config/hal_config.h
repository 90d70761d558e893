#pragma once
// The HAL module's own configuration file: indented key/value lines forming a tree, with
// integer arrays in braces. The read-configuration interface parses the file named by the
// driver, hands the tree and the accessor below to the host, and frees the tree again; the
// other interfaces read their settings through the accessor in their configuration hooks.
#include <stdint.h>

#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

// Longest physical line (and longest value after joining continuation lines), terminator
// included.
#define HAL_CONFIG_LINE_MAX 5120
// Longest path tried for the configuration file and its vendor companion, terminator
// included.
#define HAL_CONFIG_PATH_MAX 128
#define HAL_CONFIG_ARRAY_STEP 100
#define HAL_CONFIG_DEFAULT_FAILED 255

// One non-empty line of the file (or the root, key "root", level -1). Owned by the tree.
typedef struct ConfigNode {
  uint32_t line;               // 1-based physical line
  int32_t level;               // indentation depth
  char *key;
  char *value;                 // null for a section header or an array
  int32_t array_count;
  int32_t *array;              // null unless the value was a brace array
  struct ConfigNode *parent;
  struct ConfigNode *next;     // next sibling, file order
  struct ConfigNode *child;    // first child
} ConfigNode;

// The accessor handed to the host (slot 3) and to every interface's configuration hook is
// core's HalConfigAccessor; its node arguments are ConfigNode pointers. get_int_array_config
// copies when the file holds exactly *count values and otherwise sets *count to 0 and leaves
// the destination unchanged; get_string_config returns 0 with the file's value and
// HAL_CONFIG_DEFAULT_FAILED with the default.

// Exports of the module.
ConfigNode *open_and_decode_config_file(const char *path);
void free_config_tree(ConfigNode *node);
const HalConfigAccessor *get_config_file_interface(void);

// Lookups made through the typed reads, and how many of them fell back to the default.
void hal_config_lookup_counts(uint32_t *lookups, uint32_t *defaults);

#ifdef __cplusplus
}

// Parses text already in memory as the file format (the file reader and the fuzzer share
// it). Null on any error, with one log line naming the line.
ConfigNode *hal_config_parse_text(const char *text, size_t length);
#endif
