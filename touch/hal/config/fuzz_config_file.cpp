// Fuzz entry point: the configuration parser and every accessor over whatever tree it built.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "config/hal_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ConfigNode *root = hal_config_parse_text(reinterpret_cast<const char *>(data), size);
  if (root == nullptr) return 0;
  const HalConfigAccessor *cfg = get_config_file_interface();
  // Walk the first levels with the accessor, the way the interfaces read their settings.
  for (ConfigNode *section = root->child; section != nullptr; section = section->next) {
    for (ConfigNode *leaf = section->child; leaf != nullptr; leaf = leaf->next) {
      char path[HAL_CONFIG_LINE_MAX * 2 + 2];
      snprintf(path, sizeof path, "%s.%s", section->key, leaf->key);
      (void)cfg->get_int_config(root, path, -1);
      int32_t values[8] = {};
      int32_t count = leaf->array_count <= 8 ? leaf->array_count : 8;
      (void)cfg->get_int_array_config(root, path, &count, values);
      char text[16];
      (void)cfg->get_string_config(root, path, text, sizeof text, "none");
    }
  }
  free_config_tree(root);
  return 0;
}
