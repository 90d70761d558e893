// The read-configuration interface: finds the configuration file the driver names, parses
// it, hands tree and accessor to the host, then frees the tree.
#include <fcntl.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "config/hal_config.h"
#include "platform/devio.h"

namespace {

constexpr const char *kInitFn = "hal_param_init";
constexpr const char *kSearchDirs[] = {"/odm/firmware/", "/vendor/firmware/", "./"};
constexpr size_t kNameField = sizeof(TouchPanelInfo::config_file);

// dir + name when it fits the path limit; empty (logged) when it does not.
std::string joinPath(const char *dir, const std::string &name) {
  std::string path = std::string(dir) + name;
  if (path.size() >= HAL_CONFIG_PATH_MAX) {
    HAL_LOG_AS(HAL_LOG_ERROR, kInitFn, "config path %s%s too long, skip it", dir, name.c_str());
    return {};
  }
  return path;
}

// Every '.' of the name becomes "_vendor.".
std::string vendorName(const std::string &name) {
  std::string out;
  for (char c : name) {
    if (c == '.') out += "_vendor";
    out += c;
  }
  return out;
}

int32_t hal_param_init(TouchPanelInfo *panel, int32_t /*fd*/, uint8_t /*touch_id*/, uint8_t /*replay_flag*/) {
  HalHostCallbacks *host = get_hal_module_callback();
  if (host == nullptr || panel == nullptr) return HAL_RESULT_FAILED;
  // The driver fills the name; it must end inside its field.
  size_t length = strnlen(panel->config_file, kNameField);
  if (length == kNameField || length == 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, kInitFn, "can't open config file");
    return HAL_RESULT_FAILED;
  }
  std::string name(panel->config_file, length);

  ConfigNode *tree = nullptr;
  for (const char *dir : kSearchDirs) {
    std::string path = joinPath(dir, name);
    if (path.empty()) continue;
    tree = open_and_decode_config_file(path.c_str());
    if (tree != nullptr) {
      HAL_LOG_AS(0 /* always */, kInitFn, "use config file is: %s", path.c_str());
      break;
    }
  }
  if (tree == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, kInitFn, "can't open config file");
    return HAL_RESULT_FAILED;
  }

  std::string vendor = vendorName(name);
  int vendorFd = -1;
  for (const char *dir : kSearchDirs) {
    std::string path = joinPath(dir, vendor);
    if (path.empty()) continue;
    vendorFd = plat_open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (vendorFd >= 0) {
      HAL_LOG_AS(0 /* always */, kInitFn, "use vendor config file is: %s", path.c_str());
      break;
    }
  }
  if (vendorFd < 0) HAL_LOG_AS(HAL_LOG_ERROR, kInitFn, "can't not find vendor config file %s!", vendor.c_str());

  if (host->parsed_config != nullptr) {
    host->parsed_config(panel, tree, const_cast<HalConfigAccessor *>(get_config_file_interface()), vendorFd,
                        panel->extent_x * panel->scale, panel->extent_y * panel->scale, panel->tx_count,
                        panel->rx_count);
  }
  if (vendorFd >= 0) plat_close(vendorFd);
  free_config_tree(tree);
  return 0;
}

int32_t hal_param_exit(void) { return 0; }

const HalFunctionInterface kConfigInterface = {
    .init = hal_param_init,
    .exit = hal_param_exit,
    .receive_common_data = nullptr,
    .read_config = nullptr,
    .dump_get = nullptr,
    .dump_send = nullptr,
    .suspend = nullptr,
    .rate_change = nullptr,
    .state = nullptr,
    .process1 = nullptr,
    .process2 = nullptr,
    .extra = {nullptr, nullptr, nullptr},
};

}  // namespace

const HalFunctionInterface *hal_config_interface(void) { return &kConfigInterface; }
