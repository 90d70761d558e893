// tinyalsa's PCM calls over a backend: argument checks, error text and stream state.
#include <errno.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include <android/log.h>
#include <tinyalsa/asoundlib.h>

#include "backend.h"

using platform_tinyalsa::PcmBackend;
using platform_tinyalsa::PcmParams;

namespace {
constexpr const char* kTag = "platform_tinyalsa";
// Sizes past these are no configuration of a haptic or audio stream.
constexpr unsigned kMaxChannels = 32;
constexpr unsigned kMaxRate = 768000;
constexpr unsigned kMaxPeriodSize = 1u << 20;
constexpr unsigned kMaxPeriodCount = 1024;
}  // namespace

struct pcm {
  std::mutex lock;  // one call at a time on the stream
  PcmParams params;
  std::unique_ptr<PcmBackend> backend;
  bool running = false;
  std::string error;

  int fail(int code, const std::string& text) {
    error = text;
    __android_log_print(ANDROID_LOG_ERROR, kTag, "%s", text.c_str());
    return code;
  }
};

extern "C" {

unsigned int pcm_format_to_bits(enum pcm_format format) {
  switch (format) {
    case PCM_FORMAT_S16_LE: return 16;
    case PCM_FORMAT_S32_LE: return 32;
    case PCM_FORMAT_S24_LE: return 32;  // 24 bits in 32
    case PCM_FORMAT_S24_3LE: return 24;
    case PCM_FORMAT_S8: return 8;
    default: return 0;
  }
}

struct pcm* pcm_open(unsigned int card, unsigned int device, unsigned int flags,
                     const struct pcm_config* config) {
  auto* p = new pcm();
  if (config == nullptr) {
    p->fail(-EINVAL, "no pcm_config");
    return p;
  }
  if ((flags & PCM_IN) != 0) {
    p->fail(-EINVAL, "capture is not supported");
    return p;
  }
  unsigned bits = pcm_format_to_bits(config->format);
  if (bits == 0 || config->channels == 0 || config->channels > kMaxChannels ||
      config->rate == 0 || config->rate > kMaxRate || config->period_size == 0 ||
      config->period_size > kMaxPeriodSize || config->period_count == 0 ||
      config->period_count > kMaxPeriodCount) {
    p->fail(-EINVAL, "invalid pcm_config: channels " + std::to_string(config->channels) +
                         " rate " + std::to_string(config->rate) + " period " +
                         std::to_string(config->period_size) + "x" +
                         std::to_string(config->period_count) + " format " +
                         std::to_string(static_cast<int>(config->format)));
    return p;
  }
  PcmParams& params = p->params;
  params.card = card;
  params.device = device;
  params.channels = config->channels;
  params.rate = config->rate;
  params.periodSize = config->period_size;
  params.periodCount = config->period_count;
  params.format = config->format;
  params.frameBytes = config->channels * bits / 8;
  params.startThreshold = config->start_threshold;
  params.stopThreshold = config->stop_threshold;
  params.silenceThreshold = config->silence_threshold;

  std::string error;
  if (platform_tinyalsa::sinkInUse()) {
    p->backend = platform_tinyalsa::openSink(params, &error);
  } else {
    const char* override = std::getenv("VENDOR_PCM_DEVICE");
    std::string name = override != nullptr && override[0] != '\0'
                           ? std::string(override)
                           : "hw:" + std::to_string(card) + "," + std::to_string(device);
    p->backend = platform_tinyalsa::openAlsa(name, params, &error);
  }
  if (p->backend == nullptr) p->fail(-ENODEV, error);
  return p;
}

int pcm_close(struct pcm* pcm) {
  if (pcm == nullptr) return -EFAULT;
  delete pcm;
  return 0;
}

int pcm_is_ready(const struct pcm* pcm) { return pcm != nullptr && pcm->backend != nullptr; }

const char* pcm_get_error(const struct pcm* pcm) {
  return pcm == nullptr ? "no pcm" : pcm->error.c_str();
}

int pcm_write(struct pcm* pcm, const void* data, unsigned int count) {
  if (!pcm_is_ready(pcm)) return -EBADFD;
  std::lock_guard<std::mutex> lock(pcm->lock);
  if (data == nullptr && count > 0) return pcm->fail(-EINVAL, "write of no data");
  if (count % pcm->params.frameBytes != 0) {
    return pcm->fail(-EINVAL, "write of " + std::to_string(count) + " bytes is no whole frame of " +
                                  std::to_string(pcm->params.frameBytes));
  }
  int ret = pcm->backend->write(data, count);
  if (ret < 0) return pcm->fail(ret, std::string("cannot write stream data: ") + std::strerror(-ret));
  pcm->running = true;
  return 0;
}

int pcm_prepare(struct pcm* pcm) {
  if (!pcm_is_ready(pcm)) return -EBADFD;
  std::lock_guard<std::mutex> lock(pcm->lock);
  int ret = pcm->backend->prepare();
  return ret < 0 ? pcm->fail(ret, std::string("cannot prepare channel: ") + std::strerror(-ret)) : 0;
}

int pcm_start(struct pcm* pcm) {
  if (!pcm_is_ready(pcm)) return -EBADFD;
  std::lock_guard<std::mutex> lock(pcm->lock);
  int ret = pcm->backend->start();
  if (ret < 0) return pcm->fail(ret, std::string("cannot start channel: ") + std::strerror(-ret));
  pcm->running = true;
  return 0;
}

int pcm_stop(struct pcm* pcm) {
  if (!pcm_is_ready(pcm)) return -EBADFD;
  std::lock_guard<std::mutex> lock(pcm->lock);
  int ret = pcm->backend->stop();
  if (ret < 0) return pcm->fail(ret, std::string("cannot stop channel: ") + std::strerror(-ret));
  pcm->running = false;
  return 0;
}

int pcm_ioctl(struct pcm* pcm, int request, ...) {
  if (!pcm_is_ready(pcm)) return -EBADFD;
  switch (static_cast<unsigned>(request)) {
    case SNDRV_PCM_IOCTL_DRAIN: {
      std::lock_guard<std::mutex> lock(pcm->lock);
      int ret = pcm->backend->drain();
      pcm->running = false;
      return ret < 0 ? pcm->fail(ret, std::string("cannot drain: ") + std::strerror(-ret)) : 0;
    }
    case SNDRV_PCM_IOCTL_PREPARE: return pcm_prepare(pcm);
    case SNDRV_PCM_IOCTL_START: return pcm_start(pcm);
    case SNDRV_PCM_IOCTL_DROP: return pcm_stop(pcm);
    default: {
      std::lock_guard<std::mutex> lock(pcm->lock);
      return pcm->fail(-EINVAL, "unsupported pcm ioctl " + std::to_string(request));
    }
  }
}

unsigned int pcm_get_buffer_size(const struct pcm* pcm) {
  return pcm == nullptr ? 0 : pcm->params.periodSize * pcm->params.periodCount;
}
unsigned int pcm_frames_to_bytes(const struct pcm* pcm, unsigned int frames) {
  return pcm == nullptr ? 0 : frames * pcm->params.frameBytes;
}
unsigned int pcm_bytes_to_frames(const struct pcm* pcm, unsigned int bytes) {
  return pcm == nullptr || pcm->params.frameBytes == 0 ? 0 : bytes / pcm->params.frameBytes;
}

}  // extern "C"
