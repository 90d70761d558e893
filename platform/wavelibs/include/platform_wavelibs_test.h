#pragma once
// Test control of the wave-library, audio-graph and SoC-information stand-ins: what each
// was asked, and the results they give. The libraries loaded with dlopen share this state
// with the test through libplatform_wavelibs.so. Never called by production code.
#include <cstdint>
#include <string>
#include <vector>

namespace platform_wavelibs_test {

// One call of a library entry point: its name, its scalar arguments, and the integers or
// samples it was handed (a post's list, the events, the bytes written).
struct Call {
  std::string name;
  std::vector<int64_t> args;
  std::vector<int32_t> data;
};

// Libraries: "braxvibrator", "awa", "quon", "audigraph", "socinfo".
std::vector<Call> calls(const std::string& library);
// The result the named entry point gives from now on (e.g. ("braxvibrator",
// "brax_vibra_init", -19), ("audigraph", "write", -1), ("braxvibrator",
// "brax_vibra_looper_stopPerformHe", 0)).
void setResult(const std::string& library, const std::string& call, int64_t value);
void setSocInfo(int32_t id, const std::string& name);
// Forgets every call and set result.
void reset();

}  // namespace platform_wavelibs_test
