// Fuzz entry: the game-turbo JSON files as the product image and the state partition hold
// them, read by the tool at start-up, then one package change against them.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "GameTurboTool.h"
#include "platform/temp_root.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static platform::testing::TempRoot root;
  // One input feeds all three files, split at the first two form feeds.
  const std::string text(reinterpret_cast<const char *>(data), size);
  const size_t a = text.find('\f');
  const size_t b = a == std::string::npos ? std::string::npos : text.find('\f', a + 1);
  root.writeFile(touchfeature::kControlFile, text.substr(0, a));
  root.writeFile(touchfeature::kFastInputFile, a == std::string::npos ? "" : text.substr(a + 1, b - a - 1));
  root.writeFile(touchfeature::kStateFile, b == std::string::npos ? "" : text.substr(b + 1));
  touchfeature::GameTurboTool tool;
  tool.init(nullptr);
  tool.getModeList();
  tool.checkIsEnableListApp("com.game.a");
  tool.getModeDefaultValue(0, 10005);
  return 0;
}
