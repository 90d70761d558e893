#pragma once
// Process-wide state of the channel client, shared by every KeymasterUtils of the process.
#include <vaultlink/vaultlink.h>

#include <chrono>
#include <cstdint>
#include <mutex>

namespace keymasterutils::internal {

struct SpState {
  std::mutex lock;  // sp_state_lock: single reads and writes only, never across a call
  vaultlink_client_handle client_handle = nullptr;
  bool client_connected = false;
  bool after_ssr = false;
  bool tz_data_initialized = false;
  uint64_t restart_generation = 0;
};
SpState& sp();

uint64_t restartGeneration();
std::chrono::steady_clock::time_point now();
void sleepFor(std::chrono::milliseconds ms);

}  // namespace keymasterutils::internal
