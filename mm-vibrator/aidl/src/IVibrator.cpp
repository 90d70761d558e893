// IVibrator (version 2): stub dispatch and proxy.
#include <aidl/android/hardware/vibrator/BnVibrator.h>
#include <aidl/android/hardware/vibrator/BpVibrator.h>

#include "marshal.h"

namespace aidl::android::hardware::vibrator {

using vibrator_aidl::NoReturn;
using vibrator_aidl::remoteCall;
using vibrator_aidl::serve;
using Callback = std::shared_ptr<IVibratorCallback>;
using Status = ::ndk::ScopedAStatus;

const char* IVibrator::descriptor = "android.hardware.vibrator.IVibrator";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in,
                           AParcel* out) {
  auto impl = vibrator_aidl::implOf<IVibrator>(binder);
  IVibrator* v = impl.get();
  switch (code) {
    case IVibrator::TRANSACTION_getCapabilities:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getCapabilities(r); });
    case IVibrator::TRANSACTION_off:
      return serve<NoReturn>(in, out, [&](NoReturn*) { return v->off(); });
    case IVibrator::TRANSACTION_on:
      return serve<NoReturn, int32_t, Callback>(
          in, out, [&](int32_t t, const Callback& cb, NoReturn*) { return v->on(t, cb); });
    case IVibrator::TRANSACTION_perform:
      return serve<int32_t, Effect, EffectStrength, Callback>(
          in, out, [&](Effect e, EffectStrength s, const Callback& cb, int32_t* r) {
            return v->perform(e, s, cb, r);
          });
    case IVibrator::TRANSACTION_getSupportedEffects:
      return serve<std::vector<Effect>>(
          in, out, [&](std::vector<Effect>* r) { return v->getSupportedEffects(r); });
    case IVibrator::TRANSACTION_setAmplitude:
      return serve<NoReturn, float>(in, out,
                                    [&](float a, NoReturn*) { return v->setAmplitude(a); });
    case IVibrator::TRANSACTION_setExternalControl:
      return serve<NoReturn, bool>(in, out,
                                   [&](bool e, NoReturn*) { return v->setExternalControl(e); });
    case IVibrator::TRANSACTION_getCompositionDelayMax:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getCompositionDelayMax(r); });
    case IVibrator::TRANSACTION_getCompositionSizeMax:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getCompositionSizeMax(r); });
    case IVibrator::TRANSACTION_getSupportedPrimitives:
      return serve<std::vector<CompositePrimitive>>(
          in, out, [&](std::vector<CompositePrimitive>* r) { return v->getSupportedPrimitives(r); });
    case IVibrator::TRANSACTION_getPrimitiveDuration:
      return serve<int32_t, CompositePrimitive>(in, out, [&](CompositePrimitive p, int32_t* r) {
        return v->getPrimitiveDuration(p, r);
      });
    case IVibrator::TRANSACTION_compose:
      return serve<NoReturn, std::vector<CompositeEffect>, Callback>(
          in, out, [&](const std::vector<CompositeEffect>& c, const Callback& cb, NoReturn*) {
            return v->compose(c, cb);
          });
    case IVibrator::TRANSACTION_getSupportedAlwaysOnEffects:
      return serve<std::vector<Effect>>(
          in, out, [&](std::vector<Effect>* r) { return v->getSupportedAlwaysOnEffects(r); });
    case IVibrator::TRANSACTION_alwaysOnEnable:
      return serve<NoReturn, int32_t, Effect, EffectStrength>(
          in, out, [&](int32_t id, Effect e, EffectStrength s, NoReturn*) {
            return v->alwaysOnEnable(id, e, s);
          });
    case IVibrator::TRANSACTION_alwaysOnDisable:
      return serve<NoReturn, int32_t>(in, out,
                                      [&](int32_t id, NoReturn*) { return v->alwaysOnDisable(id); });
    case IVibrator::TRANSACTION_getResonantFrequency:
      return serve<float>(in, out, [&](float* r) { return v->getResonantFrequency(r); });
    case IVibrator::TRANSACTION_getQFactor:
      return serve<float>(in, out, [&](float* r) { return v->getQFactor(r); });
    case IVibrator::TRANSACTION_getFrequencyResolution:
      return serve<float>(in, out, [&](float* r) { return v->getFrequencyResolution(r); });
    case IVibrator::TRANSACTION_getFrequencyMinimum:
      return serve<float>(in, out, [&](float* r) { return v->getFrequencyMinimum(r); });
    case IVibrator::TRANSACTION_getBandwidthAmplitudeMap:
      return serve<std::vector<float>>(
          in, out, [&](std::vector<float>* r) { return v->getBandwidthAmplitudeMap(r); });
    case IVibrator::TRANSACTION_getPwlePrimitiveDurationMax:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getPwlePrimitiveDurationMax(r); });
    case IVibrator::TRANSACTION_getPwleCompositionSizeMax:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getPwleCompositionSizeMax(r); });
    case IVibrator::TRANSACTION_getSupportedBraking:
      return serve<std::vector<Braking>>(
          in, out, [&](std::vector<Braking>* r) { return v->getSupportedBraking(r); });
    case IVibrator::TRANSACTION_composePwle:
      return serve<NoReturn, std::vector<PrimitivePwle>, Callback>(
          in, out, [&](const std::vector<PrimitivePwle>& c, const Callback& cb, NoReturn*) {
            return v->composePwle(c, cb);
          });
    case IVibrator::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return v->getInterfaceVersion(r); });
    case IVibrator::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return v->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IVibrator::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<IVibrator> IVibrator::fromBinder(const ::ndk::SpAIBinder& binder) {
  return vibrator_aidl::fromBinderOf<IVibrator, BpVibrator>(binder, clazz());
}
binder_status_t IVibrator::writeToParcel(AParcel* parcel, const std::shared_ptr<IVibrator>& instance) {
  return ::ndk::AParcel_writeData(parcel, instance);
}
binder_status_t IVibrator::readFromParcel(const AParcel* parcel,
                                          std::shared_ptr<IVibrator>* instance) {
  return ::ndk::AParcel_readData(parcel, instance);
}

::ndk::SpAIBinder BnVibrator::createBinder() {
  return vibrator_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
Status BnVibrator::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IVibrator::version;
  return Status::ok();
}
Status BnVibrator::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IVibrator::hash;
  return Status::ok();
}

BpVibrator::BpVibrator(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}

#define VIBRATOR_CALL(code, ret, ...) remoteCall(asBinder(), TRANSACTION_##code, 0, ret, ##__VA_ARGS__)

Status BpVibrator::getCapabilities(int32_t* r) { return VIBRATOR_CALL(getCapabilities, r); }
Status BpVibrator::off() {
  NoReturn none;
  return VIBRATOR_CALL(off, &none);
}
Status BpVibrator::on(int32_t t, const Callback& cb) {
  NoReturn none;
  return VIBRATOR_CALL(on, &none, t, cb);
}
Status BpVibrator::perform(Effect e, EffectStrength s, const Callback& cb, int32_t* r) {
  return VIBRATOR_CALL(perform, r, e, s, cb);
}
Status BpVibrator::getSupportedEffects(std::vector<Effect>* r) {
  return VIBRATOR_CALL(getSupportedEffects, r);
}
Status BpVibrator::setAmplitude(float a) {
  NoReturn none;
  return VIBRATOR_CALL(setAmplitude, &none, a);
}
Status BpVibrator::setExternalControl(bool e) {
  NoReturn none;
  return VIBRATOR_CALL(setExternalControl, &none, e);
}
Status BpVibrator::getCompositionDelayMax(int32_t* r) { return VIBRATOR_CALL(getCompositionDelayMax, r); }
Status BpVibrator::getCompositionSizeMax(int32_t* r) { return VIBRATOR_CALL(getCompositionSizeMax, r); }
Status BpVibrator::getSupportedPrimitives(std::vector<CompositePrimitive>* r) {
  return VIBRATOR_CALL(getSupportedPrimitives, r);
}
Status BpVibrator::getPrimitiveDuration(CompositePrimitive p, int32_t* r) {
  return VIBRATOR_CALL(getPrimitiveDuration, r, p);
}
Status BpVibrator::compose(const std::vector<CompositeEffect>& c, const Callback& cb) {
  NoReturn none;
  return VIBRATOR_CALL(compose, &none, c, cb);
}
Status BpVibrator::getSupportedAlwaysOnEffects(std::vector<Effect>* r) {
  return VIBRATOR_CALL(getSupportedAlwaysOnEffects, r);
}
Status BpVibrator::alwaysOnEnable(int32_t id, Effect e, EffectStrength s) {
  NoReturn none;
  return VIBRATOR_CALL(alwaysOnEnable, &none, id, e, s);
}
Status BpVibrator::alwaysOnDisable(int32_t id) {
  NoReturn none;
  return VIBRATOR_CALL(alwaysOnDisable, &none, id);
}
Status BpVibrator::getResonantFrequency(float* r) { return VIBRATOR_CALL(getResonantFrequency, r); }
Status BpVibrator::getQFactor(float* r) { return VIBRATOR_CALL(getQFactor, r); }
Status BpVibrator::getFrequencyResolution(float* r) { return VIBRATOR_CALL(getFrequencyResolution, r); }
Status BpVibrator::getFrequencyMinimum(float* r) { return VIBRATOR_CALL(getFrequencyMinimum, r); }
Status BpVibrator::getBandwidthAmplitudeMap(std::vector<float>* r) {
  return VIBRATOR_CALL(getBandwidthAmplitudeMap, r);
}
Status BpVibrator::getPwlePrimitiveDurationMax(int32_t* r) {
  return VIBRATOR_CALL(getPwlePrimitiveDurationMax, r);
}
Status BpVibrator::getPwleCompositionSizeMax(int32_t* r) {
  return VIBRATOR_CALL(getPwleCompositionSizeMax, r);
}
Status BpVibrator::getSupportedBraking(std::vector<Braking>* r) {
  return VIBRATOR_CALL(getSupportedBraking, r);
}
Status BpVibrator::composePwle(const std::vector<PrimitivePwle>& c, const Callback& cb) {
  NoReturn none;
  return VIBRATOR_CALL(composePwle, &none, c, cb);
}
Status BpVibrator::getInterfaceVersion(int32_t* r) { return VIBRATOR_CALL(getInterfaceVersion, r); }
Status BpVibrator::getInterfaceHash(std::string* r) { return VIBRATOR_CALL(getInterfaceHash, r); }

#undef VIBRATOR_CALL

}  // namespace aidl::android::hardware::vibrator
