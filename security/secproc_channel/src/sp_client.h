#pragma once
// Process-wide state of the channel client, shared by every KeymasterUtils of the process.
#include <vaultlink/vaultlink.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

namespace keymasterutils::internal {

// One registration of the process as a client of the channel. An exchange holds a reference
// for the whole of its send: a registration that is given up (a restart seen by another
// object's bring-up, a failed send, the last object's cleanup) is unregistered when the last
// exchange on it is done, never under it.
class Registration {
 public:
  explicit Registration(vaultlink_client_handle handle) : handle_(handle) {}
  ~Registration();
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  vaultlink_client_handle handle() const { return handle_; }

 private:
  vaultlink_client_handle handle_;
};
using RegistrationRef = std::shared_ptr<Registration>;

struct SpState {
  std::mutex lock;  // sp_state_lock: single reads and writes only, never across a call
  // Held across the process-wide part of a bring-up (restart handling, registration, the TZ
  // hand-over) and across the teardown by the last channel object, so that objects on
  // several threads run each of them once. Never taken while `lock` is held.
  std::mutex bring_up;
  int users = 0;  // channel objects sharing the client and the TZ utilities (under bring_up)
  // The registration new exchanges use; null when the process is not registered. Only
  // copied or moved under `lock`; a reference is dropped outside it, because the last one
  // unregisters.
  RegistrationRef client;
  bool client_connected = false;
  bool after_ssr = false;
  bool tz_data_initialized = false;
  uint64_t restart_generation = 0;
};
SpState& sp();

RegistrationRef currentRegistration();
// Gives up `used` as the process's registration if it still is one; a registration made
// since, by another thread, is left alone.
void dropRegistration(const RegistrationRef& used);
// After a restart: registers the process again and puts the new registration in place of
// the old one, so that an exchange starting meanwhile finds one or the other, never none.
void renewRegistration();
// After a time-out on `used`: registers the process again and puts the new registration in
// place of `used` if that is still the process's; when no new one can be made, `used` stays.
void replaceRegistration(const RegistrationRef& used);

// One exchange on the process's registration (sp_ext_msg_client_send_message). When the
// process has no registration nothing is sent, *unregistered is set and -3 returned.
int sendMessage(uint32_t req_len, uint32_t* rsp_len, uint32_t buf_size,
                vaultlink_ion_info_table* table, bool* unregistered);

// The restart flags as one restart left them, with the restart count they belong to. A
// bring-up notes them and records what it answered only if no restart came since
// (clearAfterRestart, setTzDataHandedOver); otherwise the flags stay for the next bring-up.
struct RestartMark {
  bool afterRestart;
  bool tzDataHandedOver;
  uint64_t generation;
};
RestartMark restartMark();
// Both return whether the flag was changed (false: a restart came after `generation`).
bool clearAfterRestart(uint64_t generation);
bool setTzDataHandedOver(uint64_t generation);
uint64_t restartGeneration();
// The test step between the TZ hand-over and its record (nothing in production).
void afterHandOver();
std::chrono::steady_clock::time_point now();
void sleepFor(std::chrono::milliseconds ms);

}  // namespace keymasterutils::internal
