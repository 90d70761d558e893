#pragma once
// Brings algorithm A up through the touch host, as the end-to-end tests do: the
// configuration file (BLOB and an information block for a DRV x SEN panel) written under
// ROOT, the plug-in at PATH loaded, configured, initialised and resumed. Failures are
// reported through gtest; the host comes back null when a step failed.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "platform/temp_root.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace fxtest {

inline std::unique_ptr<touch_host::TouchHost> StartFerrantHost(const platform::testing::TempRoot& root,
                                                                const std::string& plugin, const Bytes& blob,
                                                                uint8_t drv, uint8_t sen) {
  IcInfoDesc ic;
  ic.drv = drv;
  ic.sen = sen;
  const Bytes file = BuildConfigFile(blob, BuildIcInfoBlock(ic));
  const std::string path = root.dir() + "/flash.bin";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                               static_cast<std::streamsize>(file.size()));
  touch_host::HostOptions options;
  options.log_sink = [](const touch_host::LogLine&) {};
  auto host = std::make_unique<touch_host::TouchHost>(options);
  std::string error;
  int32_t result = -1;
  const bool ok = host->load_alg(plugin, &error) && host->read_configuration_file(path) == touch_host::HostStatus::kOk &&
                  host->init(&result) == touch_host::HostStatus::kOk && result == 0 &&
                  host->update_suspend_status(false) == touch_host::HostStatus::kOk;
  EXPECT_TRUE(ok) << "plug-in start failed: " << error << " (init result " << result << ")";
  if (!ok) host.reset();
  return host;
}

}  // namespace fxtest
