// The ALSA side: libasound's PCM API on a named device.
#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>

#include <android/log.h>

#include "backend.h"

namespace platform_tinyalsa {

namespace {

constexpr const char* kTag = "platform_tinyalsa";

// libasound prints its own diagnostics to stderr; route them to the log instead.
void quietErrors(const char* file, int line, const char* function, int err, const char* fmt, ...) {
  char text[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);
  __android_log_print(ANDROID_LOG_DEBUG, kTag, "alsa %s:%d %s: %s (%d)", file, line, function,
                      text, err);
}

snd_pcm_format_t toAlsa(int format) {
  switch (format) {
    case 0: return SND_PCM_FORMAT_S16_LE;
    case 1: return SND_PCM_FORMAT_S32_LE;
    case 2: return SND_PCM_FORMAT_S8;
    case 3: return SND_PCM_FORMAT_S24_LE;
    case 4: return SND_PCM_FORMAT_S24_3LE;
    default: return SND_PCM_FORMAT_UNKNOWN;
  }
}

class AlsaPcm : public PcmBackend {
 public:
  AlsaPcm(snd_pcm_t* handle, unsigned frameBytes) : mHandle(handle), mFrameBytes(frameBytes) {}
  ~AlsaPcm() override { snd_pcm_close(mHandle); }

  int write(const void* data, size_t bytes) override {
    const auto* at = static_cast<const uint8_t*>(data);
    snd_pcm_uframes_t left = bytes / mFrameBytes;
    while (left > 0) {
      snd_pcm_sframes_t n = snd_pcm_writei(mHandle, at, left);
      if (n == -EPIPE || n == -ESTRPIPE) {  // underrun: start over, as tinyalsa does
        int err = snd_pcm_recover(mHandle, static_cast<int>(n), 1);
        if (err < 0) return err;
        continue;
      }
      if (n == -EINTR) continue;
      if (n < 0) return static_cast<int>(n);
      left -= static_cast<snd_pcm_uframes_t>(n);
      at += static_cast<size_t>(n) * mFrameBytes;
    }
    return 0;
  }
  int prepare() override { return snd_pcm_prepare(mHandle); }
  int start() override { return snd_pcm_start(mHandle); }
  int stop() override { return snd_pcm_drop(mHandle); }
  int drain() override { return snd_pcm_drain(mHandle); }

 private:
  snd_pcm_t* mHandle;
  unsigned mFrameBytes;
};

}  // namespace

std::unique_ptr<PcmBackend> openAlsa(const std::string& name, const PcmParams& params,
                                     std::string* error) {
  snd_lib_error_set_handler(quietErrors);
  snd_pcm_t* handle = nullptr;
  int err = snd_pcm_open(&handle, name.c_str(), SND_PCM_STREAM_PLAYBACK, 0);
  if (err < 0) {
    *error = "cannot open device '" + name + "': " + snd_strerror(err);
    return nullptr;
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  snd_pcm_uframes_t period = params.periodSize;
  unsigned periods = params.periodCount;
  unsigned rate = params.rate;
  const char* step = "hw params";
  if ((err = snd_pcm_hw_params_any(handle, hw)) >= 0 &&
      (step = "access", err = snd_pcm_hw_params_set_access(handle, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) >= 0 &&
      (step = "format", err = snd_pcm_hw_params_set_format(handle, hw, toAlsa(params.format))) >= 0 &&
      (step = "channels", err = snd_pcm_hw_params_set_channels(handle, hw, params.channels)) >= 0 &&
      (step = "rate", err = snd_pcm_hw_params_set_rate_near(handle, hw, &rate, nullptr)) >= 0 &&
      (step = "period size", err = snd_pcm_hw_params_set_period_size_near(handle, hw, &period, nullptr)) >= 0 &&
      (step = "periods", err = snd_pcm_hw_params_set_periods_near(handle, hw, &periods, nullptr)) >= 0) {
    step = "hw params";
    err = snd_pcm_hw_params(handle, hw);
  }
  if (err < 0) {
    *error = "cannot set " + std::string(step) + " on '" + name + "': " + snd_strerror(err);
    snd_pcm_close(handle);
    return nullptr;
  }
  snd_pcm_sw_params_t* sw = nullptr;
  snd_pcm_sw_params_alloca(&sw);
  snd_pcm_uframes_t start = params.startThreshold != 0 ? params.startThreshold : period;
  if ((err = snd_pcm_sw_params_current(handle, sw)) >= 0 &&
      (err = snd_pcm_sw_params_set_start_threshold(handle, sw, start)) >= 0 &&
      (params.stopThreshold == 0 ||
       (err = snd_pcm_sw_params_set_stop_threshold(handle, sw, params.stopThreshold)) >= 0)) {
    err = snd_pcm_sw_params(handle, sw);
  }
  if (err < 0) {
    *error = "cannot set sw params on '" + name + "': " + snd_strerror(err);
    snd_pcm_close(handle);
    return nullptr;
  }
  return std::make_unique<AlsaPcm>(handle, params.frameBytes);
}

}  // namespace platform_tinyalsa
