#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "DynamicEffectDevice.h"

#include <cutils/str_parms.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/input.h>
#include <log/log.h>
#include <string.h>
#include <tinyalsa/asoundlib.h>

#include <algorithm>
#include <array>

#include "VibratorDevices.h"
#include "platform/devio.h"

namespace {

template <typename F>
auto retryEintr(F&& call) {
  decltype(call()) rc;
  do {
    rc = call();
  } while (rc < 0 && errno == EINTR);
  return rc;
}

}  // namespace

// ---------------------------------------------------------------- PCMDevice

int PCMDevice::open() {
  if (mOpen) {
    mStandby = false;
    return 0;
  }
  pcm_config config = {};
  config.channels = 1;
  config.rate = 24000;
  config.period_size = kPeriodFrames;
  config.period_count = 4;
  config.format = PCM_FORMAT_S16_LE;
  mPcm = pcm_open(kCard, kDevice, PCM_OUT, &config);
  if (mPcm != nullptr && pcm_is_ready(mPcm)) {
    mOpen = true;
    mStandby = false;
    return 0;
  }
  ALOGE("Unable to open PCM device (%s)\n", mPcm != nullptr ? pcm_get_error(mPcm) : "no pcm");
  if (mPcm != nullptr) pcm_close(mPcm);  // the failed handle is released, not leaked
  mPcm = nullptr;
  return -1;
}

int PCMDevice::writePeriod(const signed char* samples, int count) {
  // Each 8-bit sample becomes the high byte of a 16-bit little-endian sample; the rest of
  // the period stays silent.
  std::array<uint8_t, kPeriodBytes> period{};
  for (int i = 0; i < count; ++i) period[2 * static_cast<size_t>(i) + 1] = static_cast<uint8_t>(samples[i]);
  int rc;
  do {
    rc = pcm_write(mPcm, period.data(), kPeriodBytes);
  } while (rc == -EINTR);
  if (rc != 0) {
    ALOGE(" playing error sample %d", count);
    return -1;
  }
  mBytesWritten = (mBytesWritten + kPeriodBytes) % kPeriodBytes;
  ALOGV("write %d bytes", kPeriodBytes);
  return 0;
}

int PCMDevice::write(signed char* samples, int count) {
  if (mStandby) {
    ALOGD("write return because of standby");
    return 0;
  }
  if (!mOpen || count < 0 || (samples == nullptr && count > 0)) {
    ALOGE("PCM write refused: %s, count %d", mOpen ? "bad samples" : "not open", count);
    return -1;
  }
  // A write longer than a period goes out as several whole periods, never past the
  // period buffer.
  int done = 0;
  do {
    const int chunk = std::min(count - done, static_cast<int>(kPeriodFrames));
    if (writePeriod(samples + done, chunk) != 0) return -1;
    done += chunk;
  } while (done < count);
  return count;
}

void PCMDevice::eos() {
  if (!mOpen) return;
  const int pad = kPeriodBytes - (mBytesWritten % kPeriodBytes);
  std::array<uint8_t, kPeriodBytes> zeros{};
  int rc;
  do {
    rc = pcm_write(mPcm, zeros.data(), static_cast<unsigned>(pad));
  } while (rc == -EINTR);
  if (rc != 0) ALOGE(" playing error sample %d", 0);
  ALOGD("drain pcm write %d bytes", pad);
  mBytesWritten = 0;
}

void PCMDevice::off() { mStandby = true; }

int PCMDevice::close() {
  if (mOpen) {
    pcm_ioctl(mPcm, SNDRV_PCM_IOCTL_DRAIN);
    mOpen = false;
    pcm_close(mPcm);
    mPcm = nullptr;
  }
  return 0;
}

PCMDevice::~PCMDevice() {
  ALOGD("PCMDevice destruct");
  close();
}

// ---------------------------------------------------------------- FFDevice

std::string find_custom_wave_node() {
  char sysPath[aidl::android::hardware::vibrator::kSysPathMax] = {};
  if (aidl::android::hardware::vibrator::load_sys_path(sysPath, sizeof sysPath) != 0) return "";
  const std::string dir = sysPath;
  if (dir.find("orvn") != std::string::npos) {
    ALOGW("custom wave node isn't supported for orvn haptic.");
    return "";
  }
  return dir + "/custom_wave";
}

FFDevice::FFDevice(int inputFd) : mInputFd(inputFd) {
  mNodePath = find_custom_wave_node();
  if (mNodePath.empty()) {
    ALOGE("read custom_wave_id failed: %s, errno = %d, fd = %d", mNodePath.c_str(), -1, -1);
    return;
  }
  mNodeFd = retryEintr([&] { return plat_open(mNodePath.c_str(), O_RDWR | O_CLOEXEC); });
  char text[512] = {};
  const ssize_t n = mNodeFd >= 0 ? retryEintr([&] { return plat_read(mNodeFd, text, sizeof text - 1); }) : -1;
  int id = -1;
  bool ok = false;
  if (n > 0) {
    text[n] = '\0';
    if (struct str_parms* parms = str_parms_create_str(text)) {
      ok = str_parms_get_int(parms, "custom_wave_id", &id) == 0;
      str_parms_destroy(parms);
    }
  }
  if (ok) {
    mCustomWaveId = id;
    ALOGD("read custom_wave_id: %d", id);
  } else {
    ALOGE("read custom_wave_id failed: %s, errno = %d, fd = %d", mNodePath.c_str(), errno, mNodeFd);
    mCustomWaveId = -1;
  }
}

FFDevice::~FFDevice() {
  ALOGD("FFDevice destruct");
  if (mNodeFd >= 0) plat_close(mNodeFd);
}

int FFDevice::removeEffect() {
  const int id = mEffectId;
  const int rc = retryEintr([&] { return plat_ioctl(mInputFd, EVIOCRMFF, id); });
  if (rc < 0) {
    ALOGE("ioctl EVIOCRMFF failed, errno = %d", -errno);
    return -1;
  }
  mEffectId = -1;
  return 0;
}

int FFDevice::open() {
  if (mEffectId != -1 && removeEffect() != 0) return -1;
  mEffectId = -1;

  int16_t custom[6] = {static_cast<int16_t>(mCustomWaveId), 0, 0, 0, 0, 0};
  struct ff_effect effect = {};
  effect.type = FF_PERIODIC;
  effect.id = -1;
  effect.u.periodic.waveform = FF_CUSTOM;
  effect.u.periodic.magnitude = 0x7fff;
  effect.u.periodic.custom_len = 6;
  effect.u.periodic.custom_data = custom;
  if (retryEintr([&] { return plat_ioctl(mInputFd, EVIOCSFF, &effect); }) < 0) {
    ALOGE("ioctl EVIOCSFF failed, errno = %d", -errno);
    return -1;
  }
  mEffectId = effect.id;

  struct input_event play = {};
  play.type = EV_FF;
  play.code = static_cast<uint16_t>(mEffectId);
  play.value = 1;
  if (retryEintr([&] { return plat_write(mInputFd, &play, sizeof play); }) == static_cast<ssize_t>(sizeof play)) {
    return 0;
  }
  ALOGE("write failed, errno = %d", -errno);
  const int rc = removeEffect();
  mEffectId = -1;
  return rc;
}

int FFDevice::write(signed char* samples, int count) {
  if (count < 0 || (samples == nullptr && count > 0)) return -1;
  return static_cast<int>(retryEintr([&] { return plat_write(mNodeFd, samples, static_cast<size_t>(count)); }));
}

void FFDevice::eos() {
  signed char zero = 0;
  retryEintr([&] { return plat_write(mNodeFd, &zero, 1); });
}

void FFDevice::off() {
  eos();
  ALOGD("FFDevice pause");
  if (mEffectId != -1) {
    ALOGD("ioctl EVIOCRMFF");
    removeEffect();
    mEffectId = -1;
  }
}
