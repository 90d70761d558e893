#pragma once
// PCM output in the shape of tinyalsa, backed by ALSA's libasound on the host. The device
// opened for (card, device) is "hw:CARD,DEVICE", or the ALSA device name in the
// environment variable VENDOR_PCM_DEVICE when that is set. Tests can divert every PCM to
// a recording sink (platform_tinyalsa_test.h).
#include <stddef.h>
#include <sys/ioctl.h>
#include <sound/asound.h>  // SNDRV_PCM_IOCTL_DRAIN and the other request numbers

#ifdef __cplusplus
extern "C" {
#endif

#define PCM_OUT 0x00000000
#define PCM_IN 0x10000000
#define PCM_MMAP 0x00000001
#define PCM_NOIRQ 0x00000002
#define PCM_NORESTART 0x00000004
#define PCM_MONOTONIC 0x00000008

enum pcm_format {
  PCM_FORMAT_INVALID = -1,
  PCM_FORMAT_S16_LE = 0,
  PCM_FORMAT_S32_LE,
  PCM_FORMAT_S8,
  PCM_FORMAT_S24_LE,
  PCM_FORMAT_S24_3LE,
  PCM_FORMAT_MAX,
};

struct pcm_config {
  unsigned int channels;
  unsigned int rate;
  unsigned int period_size;  // frames
  unsigned int period_count;
  enum pcm_format format;
  // 0 picks the defaults: start after one period, stop on underrun, no silence fill.
  unsigned int start_threshold;
  unsigned int stop_threshold;
  unsigned int silence_threshold;
  unsigned int silence_size;
  int avail_min;
};

struct pcm;

// Never null: check pcm_is_ready, and pcm_get_error for the reason of a failure.
struct pcm* pcm_open(unsigned int card, unsigned int device, unsigned int flags,
                     const struct pcm_config* config);
int pcm_close(struct pcm* pcm);
int pcm_is_ready(const struct pcm* pcm);
const char* pcm_get_error(const struct pcm* pcm);

// Plays `count` bytes (whole frames); starts the stream on its first write. 0 on success,
// a negative value on failure.
int pcm_write(struct pcm* pcm, const void* data, unsigned int count);
int pcm_prepare(struct pcm* pcm);
int pcm_start(struct pcm* pcm);
int pcm_stop(struct pcm* pcm);
// Supported requests: SNDRV_PCM_IOCTL_DRAIN (play out what is queued), SNDRV_PCM_IOCTL_PREPARE,
// SNDRV_PCM_IOCTL_START, SNDRV_PCM_IOCTL_DROP. Others give -EINVAL.
int pcm_ioctl(struct pcm* pcm, int request, ...);

unsigned int pcm_get_buffer_size(const struct pcm* pcm);
unsigned int pcm_format_to_bits(enum pcm_format format);
unsigned int pcm_frames_to_bytes(const struct pcm* pcm, unsigned int frames);
unsigned int pcm_bytes_to_frames(const struct pcm* pcm, unsigned int bytes);

#ifdef __cplusplus
}
#endif
