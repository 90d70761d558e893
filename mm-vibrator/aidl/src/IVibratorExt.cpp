// IVibratorExt: stub dispatch and proxy.
#include <aidl/vendor/hardware/vibratorfeature/BnVibratorExt.h>
#include <aidl/vendor/hardware/vibratorfeature/BpVibratorExt.h>

#include "marshal.h"

namespace aidl::vendor::hardware::vibratorfeature {

using vibrator_aidl::NoReturn;
using vibrator_aidl::remoteCall;
using vibrator_aidl::serve;

const char* IVibratorExt::descriptor = "vendor.hardware.vibratorfeature.IVibratorExt";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in,
                           AParcel* out) {
  auto impl = vibrator_aidl::implOf<IVibratorExt>(binder);
  switch (code) {
    case IVibratorExt::TRANSACTION_play:
      return serve<NoReturn, std::vector<int32_t>, int32_t, int64_t, int32_t>(
          in, out, [&](auto& data, int32_t loop, int64_t interval, int32_t amplitude, NoReturn*) {
            return impl->play(data, loop, interval, amplitude);
          });
    case IVibratorExt::TRANSACTION_pause:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->pause(); });
    case IVibratorExt::TRANSACTION_stop:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return impl->stop(); });
    case IVibratorExt::TRANSACTION_seekTo:
      return serve<NoReturn, int64_t>(
          in, out, [&](int64_t position, NoReturn*) { return impl->seekTo(position); });
    case IVibratorExt::TRANSACTION_setAmplitudeExt:
      return serve<NoReturn, float, int32_t>(in, out, [&](float a, int32_t flag, NoReturn*) {
        return impl->setAmplitudeExt(a, flag);
      });
    case IVibratorExt::TRANSACTION_configStrengthForEffect:
      return serve<NoReturn, int32_t, float>(in, out, [&](int32_t id, float s, NoReturn*) {
        return impl->configStrengthForEffect(id, s);
      });
    case IVibratorExt::TRANSACTION_setUsageExt:
      return serve<NoReturn, int32_t>(
          in, out, [&](int32_t usage, NoReturn*) { return impl->setUsageExt(usage); });
    case IVibratorExt::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case IVibratorExt::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IVibratorExt::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IVibratorExt> IVibratorExt::fromBinder(const ::ndk::SpAIBinder& binder) {
  return vibrator_aidl::fromBinderOf<IVibratorExt, BpVibratorExt>(binder, clazz());
}
binder_status_t IVibratorExt::writeToParcel(AParcel* parcel,
                                            const std::shared_ptr<IVibratorExt>& instance) {
  return ::ndk::AParcel_writeData(parcel, instance);
}
binder_status_t IVibratorExt::readFromParcel(const AParcel* parcel,
                                             std::shared_ptr<IVibratorExt>* instance) {
  return ::ndk::AParcel_readData(parcel, instance);
}

::ndk::SpAIBinder BnVibratorExt::createBinder() {
  return vibrator_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
::ndk::ScopedAStatus BnVibratorExt::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IVibratorExt::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnVibratorExt::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IVibratorExt::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpVibratorExt::BpVibratorExt(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}

::ndk::ScopedAStatus BpVibratorExt::play(const std::vector<int32_t>& in_data, int32_t in_loop,
                                         int64_t in_interval, int32_t in_amplitude) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_play, 0, &none, in_data, in_loop, in_interval,
                    in_amplitude);
}
::ndk::ScopedAStatus BpVibratorExt::pause() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_pause, 0, &none);
}
::ndk::ScopedAStatus BpVibratorExt::stop() {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_stop, 0, &none);
}
::ndk::ScopedAStatus BpVibratorExt::seekTo(int64_t in_position) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_seekTo, 0, &none, in_position);
}
::ndk::ScopedAStatus BpVibratorExt::setAmplitudeExt(float in_amplitude, int32_t in_flag) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_setAmplitudeExt, 0, &none, in_amplitude, in_flag);
}
::ndk::ScopedAStatus BpVibratorExt::configStrengthForEffect(int32_t in_id, float in_strength) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_configStrengthForEffect, 0, &none, in_id, in_strength);
}
::ndk::ScopedAStatus BpVibratorExt::setUsageExt(int32_t in_usage) {
  NoReturn none;
  return remoteCall(asBinder(), TRANSACTION_setUsageExt, 0, &none, in_usage);
}
::ndk::ScopedAStatus BpVibratorExt::getInterfaceVersion(int32_t* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, _aidl_return);
}
::ndk::ScopedAStatus BpVibratorExt::getInterfaceHash(std::string* _aidl_return) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, _aidl_return);
}

}  // namespace aidl::vendor::hardware::vibratorfeature
