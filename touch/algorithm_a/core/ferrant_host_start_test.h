#pragma once
// Test side: a touch host with an algorithm A plug-in loaded, its configuration file
// (BLOB and the controller block of a DRV x SEN panel) written under DIR, read, initialised
// and resumed. ERROR receives what failed; null when anything failed.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace fxtest {

inline std::unique_ptr<touch_host::TouchHost> StartFerrantHost(const std::string& plugin, const std::string& dir,
                                                               const Bytes& blob, uint8_t drv, uint8_t sen,
                                                               std::string* error) {
  IcInfoDesc ic;
  ic.drv = drv;
  ic.sen = sen;
  const Bytes file = BuildConfigFile(blob, BuildIcInfoBlock(ic));
  const std::string path = dir + "/flash.bin";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  touch_host::HostOptions options;
  options.log_sink = [](const touch_host::LogLine&) {};
  auto host = std::make_unique<touch_host::TouchHost>(options);
  int32_t result = -1;
  if (!host->load_alg(plugin, error)) return nullptr;
  if (host->read_configuration_file(path) != touch_host::HostStatus::kOk) {
    *error = "configuration file refused";
    return nullptr;
  }
  if (host->init(&result) != touch_host::HostStatus::kOk || result != 0) {
    *error = "init failed";
    return nullptr;
  }
  if (host->update_suspend_status(false) != touch_host::HostStatus::kOk) {
    *error = "resume failed";
    return nullptr;
  }
  return host;
}

}  // namespace fxtest
