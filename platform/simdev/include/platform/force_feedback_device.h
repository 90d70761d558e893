#pragma once
// A simulated force-feedback input device (a haptic driver behind /dev/input): answers the
// evdev capability queries of platform::sim::EvdevDevice, takes effect uploads (EVIOCSFF)
// and removals (EVIOCRMFF), records them, writes a play length back into prebaked uploads
// as the haptic driver does, and can be told to fail uploads, removals or writes.
// Like the kernel's force-feedback core it has a fixed number of effect slots: a new
// upload takes the lowest free slot (its id) and fails with ENOSPC when every slot is held,
// so an effect that is never removed shows up as failing uploads, as on a phone.

#include <errno.h>
#include <linux/input.h>
#include <string.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/evdev_device.h"
#include "platform/simdev.h"

namespace platform::sim {

class ForceFeedbackDevice : public EvdevDevice {
 public:
  // One EVIOCSFF as the driver saw it, with the custom data it pointed at.
  struct Upload {
    ff_effect effect;
    int16_t assignedId;
    std::vector<int16_t> customWords;  // custom_len 6: the waveform-id words
    std::vector<uint8_t> customBlock;  // custom_len 24: the stream block
  };

  // Slots of a memoryless haptic driver.
  static constexpr int kDefaultEffectSlots = 16;

  ForceFeedbackDevice(std::string name, std::initializer_list<unsigned> ffCodes,
                      int effectSlots = kDefaultEffectSlots)
      : EvdevDevice(std::move(name)), mSlots(effectSlots > 0 ? effectSlots : 1) {
    for (unsigned code : ffCodes) setBit(EV_FF, code);
  }

  int effectSlots() const { return mSlots; }

  // The driver's play length of a prebaked waveform id (written into words 1 and 2).
  void setWaveformLength(int16_t waveformId, int16_t seconds, int16_t millis) {
    std::lock_guard<std::mutex> g(mLock);
    mLengths[waveformId] = {seconds, millis};
  }
  void failUploads(int err) { std::lock_guard<std::mutex> g(mLock); mUploadError = err; }
  void failRemovals(int err) { std::lock_guard<std::mutex> g(mLock); mRemoveError = err; }
  void failWrites(int err) { std::lock_guard<std::mutex> g(mLock); mWriteError = err; }
  // Interrupts the next n uploads with EINTR, as a signal would.
  void interruptUploads(int n) { std::lock_guard<std::mutex> g(mLock); mInterrupts = n; }

  std::vector<Upload> uploads() const { std::lock_guard<std::mutex> g(mLock); return mUploads; }
  std::vector<Upload> uploads(uint16_t type) const {
    std::lock_guard<std::mutex> g(mLock);
    std::vector<Upload> out;
    for (const Upload& up : mUploads)
      if (up.effect.type == type) out.push_back(up);
    return out;
  }
  // Written events of one code (an effect id, FF_GAIN).
  std::vector<input_event> written(uint16_t code) const {
    std::vector<input_event> out;
    for (const input_event& ev : writtenEvents())
      if (ev.code == code) out.push_back(ev);
    return out;
  }
  std::vector<int> removals() const { std::lock_guard<std::mutex> g(mLock); return mRemovals; }
  // Effects currently uploaded (of one type, when given).
  size_t liveEffects(int type = -1) const {
    std::lock_guard<std::mutex> g(mLock);
    size_t n = 0;
    for (const auto& [id, liveType] : mLive) n += (type == -1 || liveType == type) ? 1 : 0;
    return n;
  }

  ssize_t write(platform::sim::File& file, const void* buf, size_t count) override {
    {
      std::lock_guard<std::mutex> g(mLock);
      if (mWriteError != 0) return -mWriteError;
    }
    return EvdevDevice::write(file, buf, count);
  }

 protected:
  int forceFeedbackIoctl(platform::sim::File&, unsigned long request, void* arg) override {
    std::lock_guard<std::mutex> g(mLock);
    if (request == EVIOCSFF) {
      if (mInterrupts > 0) {
        --mInterrupts;
        return -EINTR;
      }
      if (mUploadError != 0) return -mUploadError;
      auto* effect = static_cast<ff_effect*>(arg);
      Upload up{*effect, 0, {}, {}};
      if (effect->type == FF_PERIODIC && effect->u.periodic.waveform == FF_CUSTOM &&
          effect->u.periodic.custom_data != nullptr) {
        const uint32_t len = effect->u.periodic.custom_len;
        if (len == 6) {
          int16_t* words = effect->u.periodic.custom_data;
          auto it = mLengths.find(words[0]);
          if (it != mLengths.end()) {
            words[1] = it->second.first;
            words[2] = it->second.second;
          }
          up.customWords.assign(words, words + 6);
        } else if (len == 24) {
          const auto* bytes = reinterpret_cast<const uint8_t*>(effect->u.periodic.custom_data);
          up.customBlock.assign(bytes, bytes + 24);
        } else {
          return -EINVAL;
        }
      }
      if (effect->id == -1) {
        int16_t slot = 0;
        while (slot < mSlots && mLive.count(slot) != 0) ++slot;
        if (slot == mSlots) return -ENOSPC;
        effect->id = slot;
      } else if (mLive.count(effect->id) == 0) {
        return -EINVAL;  // an update names an effect this device holds
      }
      up.assignedId = effect->id;
      mLive[effect->id] = effect->type;
      mUploads.push_back(std::move(up));
      return 0;
    }
    if (request == EVIOCRMFF) {
      if (mRemoveError != 0) return -mRemoveError;
      int id = argInt(arg);
      mRemovals.push_back(id);
      if (mLive.erase(static_cast<int16_t>(id)) == 0) return -EINVAL;
      return 0;
    }
    if (request == EVIOCGEFFECTS) {
      *static_cast<int*>(arg) = mSlots;
      return 0;
    }
    return -EINVAL;
  }

 private:
  mutable std::mutex mLock;
  std::map<int16_t, std::pair<int16_t, int16_t>> mLengths;
  std::map<int16_t, uint16_t> mLive;  // id -> effect type
  std::vector<Upload> mUploads;
  std::vector<int> mRemovals;
  const int mSlots;
  int mUploadError = 0;
  int mRemoveError = 0;
  int mWriteError = 0;
  int mInterrupts = 0;
};

}  // namespace platform::sim
