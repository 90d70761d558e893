#pragma once
// Process-wide state of the channel client, shared by every KeymasterUtils of the process.
#include <vaultlink/vaultlink.h>

#include <chrono>
#include <cstdint>
#include <mutex>

namespace keymasterutils::internal {

struct SpState {
  std::mutex lock;  // sp_state_lock: single reads and writes only, never across a call
  // Held across the process-wide part of a bring-up (restart handling, registration, the TZ
  // hand-over) and across the teardown by the last channel object, so that objects on
  // several threads run each of them once. Never taken while `lock` is held.
  std::mutex bring_up;
  int users = 0;  // channel objects sharing the client and the TZ utilities (under bring_up)
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
