#pragma once
// Test control of the trusted-environment stand-in: a simulated trusted application
// "secproc_service" behind the client environment (class 151 finds a running application
// by name, class 3 loads one from an image). Never used by production code.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform::tz {

struct Invocation {
  std::string object;  // "env", "client", "loader", "controller", "app", "fd"
  uint32_t op;
  uint32_t counts;
};

class SimTz {
 public:
  static SimTz& get();
  void reset();

  // Whether the application is already running (found by name) or must be loaded.
  void setAppRunning(bool running);
  void setClientEnvFails(bool fails);
  void setLoadFails(bool fails);
  void setFdObjectFails(bool fails);
  // Results of the application's operations 7, 8, 12 and 13 (default 0).
  void setResult(uint32_t op, int32_t result);

  std::vector<Invocation> invocations() const;
  int liveObjects() const;               // objects handed out and not yet released
  std::vector<uint8_t> loadedImage() const;
  int lastPreparedFd() const;            // descriptor behind the object given to op 12
  std::vector<uint8_t> lastProvisioned(uint32_t op) const;
  // The application's protected storage, by tag.
  std::map<uint32_t, std::vector<uint8_t>> storage() const;
  void setStorage(uint32_t tag, std::vector<uint8_t> data);
  bool locked(uint32_t tag) const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  SimTz();
  Impl* impl_;
};

}  // namespace platform::tz
