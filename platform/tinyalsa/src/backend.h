#pragma once
// Where a PCM's frames go: ALSA or the recording sink. Kept free of both the kernel's and
// libasound's headers, whose names clash.
#include <cstddef>
#include <memory>
#include <string>

namespace platform_tinyalsa {

struct PcmParams {
  unsigned card = 0;
  unsigned device = 0;
  unsigned channels = 0;
  unsigned rate = 0;
  unsigned periodSize = 0;
  unsigned periodCount = 0;
  int format = 0;  // enum pcm_format
  unsigned frameBytes = 0;
  unsigned startThreshold = 0;
  unsigned stopThreshold = 0;
  unsigned silenceThreshold = 0;
};

class PcmBackend {
 public:
  virtual ~PcmBackend() = default;
  // 0 or a negative errno.
  virtual int write(const void* data, size_t bytes) = 0;
  virtual int prepare() = 0;
  virtual int start() = 0;
  virtual int stop() = 0;
  virtual int drain() = 0;
};

// Null with *error set when the device cannot be opened and set up.
std::unique_ptr<PcmBackend> openAlsa(const std::string& name, const PcmParams& params,
                                     std::string* error);
bool sinkInUse();
// Null with *error set when the sink refuses to open.
std::unique_ptr<PcmBackend> openSink(const PcmParams& params, std::string* error);

}  // namespace platform_tinyalsa
