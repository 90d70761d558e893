#pragma once
// Outputs of the dynamic-effect thread: a tinyalsa PCM stream, the force-feedback driver's
// custom-wave streaming node, or the outside audio-graph device (whose factory returns an
// object with these virtual slots in this order: open, write, close, the two destructor
// slots, off, eos — keep the order).

#include <stdint.h>

#include <atomic>
#include <string>

struct pcm;

class DynamicEffectDevice {
 public:
  // Prepares the output; 0 on success.
  virtual int open() = 0;
  // Plays count signed 8-bit samples; returns the count accepted (-1 on failure).
  virtual int write(signed char* samples, int count) = 0;
  virtual int close() { return 0; }
  virtual ~DynamicEffectDevice() = default;
  // Stops output at once.
  virtual void off() = 0;
  // End of stream: flush what is pending.
  virtual void eos() = 0;
};

// PCM card 0 device 41: mono, 24000 Hz, 16-bit, four periods of 512 frames. Each 8-bit
// sample is played as the high byte of a 16-bit sample; every write covers whole periods.
class PCMDevice : public DynamicEffectDevice {
 public:
  static constexpr unsigned kCard = 0;
  static constexpr unsigned kDevice = 41;
  static constexpr int32_t kPeriodFrames = 512;
  static constexpr int32_t kPeriodBytes = 1024;

  int open() override;
  int write(signed char* samples, int count) override;
  int close() override;
  ~PCMDevice() override;
  void off() override;
  void eos() override;

 private:
  int writePeriod(const signed char* samples, int count);

  bool mOpen = false;
  struct pcm* mPcm = nullptr;
  std::atomic<bool> mStandby{false};
  int32_t mBytesWritten = 0;
};

// The custom-wave node of the haptic driver directory, or "" when the driver has none.
std::string find_custom_wave_node();

// Streams samples to the force-feedback driver's custom-wave node while a custom periodic
// effect of the node's custom wave id plays on the input device.
class FFDevice : public DynamicEffectDevice {
 public:
  // inputFd: the force-feedback input device (not owned; -1 when there is none).
  explicit FFDevice(int inputFd);

  int open() override;
  int write(signed char* samples, int count) override;
  ~FFDevice() override;
  void off() override;
  void eos() override;

  int32_t customWaveId() const { return mCustomWaveId; }
  int32_t effectId() const { return mEffectId; }

 private:
  int removeEffect();

  int mInputFd;
  int mNodeFd = -1;
  int32_t mCustomWaveId = -1;
  int32_t mEffectId = -1;
  std::string mNodePath;
};
