// ITouchFeature: stub dispatch and proxy.
#include <aidl/vendor/tamrel/hw/touchfeature/ITouchFeature.h>

#include "marshal.h"

namespace aidl::vendor::tamrel::hw::touchfeature {

using vibrator_aidl::remoteCall;
using vibrator_aidl::serve;
using Callback = std::shared_ptr<ITouchFeatureCallback>;
using Ints = std::vector<int32_t>;

const char* ITouchFeature::descriptor = "vendor.tamrel.hw.touchfeature.ITouchFeature";

namespace {

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = vibrator_aidl::implOf<ITouchFeature>(binder);
  using I = ITouchFeature;
  switch (code) {
    case I::TRANSACTION_getModeCurValue:
      return serve<int32_t, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, int32_t* r) { return impl->getModeCurValue(id, m, r); });
    case I::TRANSACTION_getModeDefaultValue:
      return serve<int32_t, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, int32_t* r) { return impl->getModeDefaultValue(id, m, r); });
    case I::TRANSACTION_getModeMaxValue:
      return serve<int32_t, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, int32_t* r) { return impl->getModeMaxValue(id, m, r); });
    case I::TRANSACTION_getModeMinValue:
      return serve<int32_t, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, int32_t* r) { return impl->getModeMinValue(id, m, r); });
    case I::TRANSACTION_getModeValue:
      return serve<Ints, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, Ints* r) { return impl->getModeValue(id, m, r); });
    case I::TRANSACTION_getTouchEvent:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getTouchEvent(r); });
    case I::TRANSACTION_modeReset:
      return serve<int32_t, int32_t, int32_t>(in, out, [&](int32_t id, int32_t m, int32_t* r) { return impl->modeReset(id, m, r); });
    case I::TRANSACTION_setModeLongValue:
      return serve<int32_t, int32_t, int32_t, int32_t, Ints>(
          in, out, [&](int32_t id, int32_t m, int32_t n, Ints& v, int32_t* r) { return impl->setModeLongValue(id, m, n, v, r); });
    case I::TRANSACTION_setModeValue:
      return serve<int32_t, int32_t, int32_t, int32_t>(
          in, out, [&](int32_t id, int32_t m, int32_t v, int32_t* r) { return impl->setModeValue(id, m, v, r); });
    case I::TRANSACTION_getModeCurValueString:
      return serve<std::string, int32_t, int32_t>(
          in, out, [&](int32_t id, int32_t m, std::string* r) { return impl->getModeCurValueString(id, m, r); });
    case I::TRANSACTION_getModeWhiteList:
      return serve<std::string, int32_t, Ints>(
          in, out, [&](int32_t id, Ints& modes, std::string* r) { return impl->getModeWhiteList(id, modes, r); });
    case I::TRANSACTION_registerCallback:
      return serve<int32_t, int32_t, Callback, std::string>(
          in, out, [&](int32_t id, Callback& cb, std::string& n, int32_t* r) { return impl->registerCallback(id, cb, n, r); });
    case I::TRANSACTION_unregisterCallback:
      return serve<int32_t, int32_t, Callback, std::string>(
          in, out, [&](int32_t id, Callback& cb, std::string& n, int32_t* r) { return impl->unregisterCallback(id, cb, n, r); });
    case I::TRANSACTION_setModePackageName:
      return serve<std::string, int32_t, int32_t, std::string>(
          in, out, [&](int32_t id, int32_t m, std::string& t, std::string* r) { return impl->setModePackageName(id, m, t, r); });
    case I::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return impl->getInterfaceVersion(r); });
    case I::TRANSACTION_getInterfaceHash:
      return serve<std::string>(in, out, [&](std::string* r) { return impl->getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(ITouchFeature::descriptor, onTransact);
  return c;
}

}  // namespace

std::shared_ptr<ITouchFeature> ITouchFeature::fromBinder(const ::ndk::SpAIBinder& binder) {
  return vibrator_aidl::fromBinderOf<ITouchFeature, BpTouchFeature>(binder, clazz());
}
binder_status_t ITouchFeature::writeToParcel(AParcel* parcel, const std::shared_ptr<ITouchFeature>& instance) {
  return ::ndk::AParcel_writeData(parcel, instance);
}
binder_status_t ITouchFeature::readFromParcel(const AParcel* parcel, std::shared_ptr<ITouchFeature>* instance) {
  return ::ndk::AParcel_readData(parcel, instance);
}

::ndk::SpAIBinder BnTouchFeature::createBinder() { return vibrator_aidl::newStubBinder(clazz(), static_cast<void*>(this)); }
::ndk::ScopedAStatus BnTouchFeature::getInterfaceVersion(int32_t* r) {
  *r = ITouchFeature::version;
  return ::ndk::ScopedAStatus::ok();
}
::ndk::ScopedAStatus BnTouchFeature::getInterfaceHash(std::string* r) {
  *r = ITouchFeature::hash;
  return ::ndk::ScopedAStatus::ok();
}

BpTouchFeature::BpTouchFeature(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}
::ndk::ScopedAStatus BpTouchFeature::getModeCurValue(int32_t id, int32_t m, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeCurValue, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getModeDefaultValue(int32_t id, int32_t m, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeDefaultValue, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getModeMaxValue(int32_t id, int32_t m, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeMaxValue, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getModeMinValue(int32_t id, int32_t m, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeMinValue, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getModeValue(int32_t id, int32_t m, Ints* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeValue, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getTouchEvent(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getTouchEvent, 0, r);
}
::ndk::ScopedAStatus BpTouchFeature::modeReset(int32_t id, int32_t m, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_modeReset, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::setModeLongValue(int32_t id, int32_t m, int32_t n, const Ints& v, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_setModeLongValue, 0, r, id, m, n, v);
}
::ndk::ScopedAStatus BpTouchFeature::setModeValue(int32_t id, int32_t m, int32_t v, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_setModeValue, 0, r, id, m, v);
}
::ndk::ScopedAStatus BpTouchFeature::getModeCurValueString(int32_t id, int32_t m, std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeCurValueString, 0, r, id, m);
}
::ndk::ScopedAStatus BpTouchFeature::getModeWhiteList(int32_t id, const Ints& modes, std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getModeWhiteList, 0, r, id, modes);
}
::ndk::ScopedAStatus BpTouchFeature::registerCallback(int32_t id, const Callback& cb, const std::string& n, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_registerCallback, 0, r, id, cb, n);
}
::ndk::ScopedAStatus BpTouchFeature::unregisterCallback(int32_t id, const Callback& cb, const std::string& n, int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_unregisterCallback, 0, r, id, cb, n);
}
::ndk::ScopedAStatus BpTouchFeature::setModePackageName(int32_t id, int32_t m, const std::string& t, std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_setModePackageName, 0, r, id, m, t);
}
::ndk::ScopedAStatus BpTouchFeature::getInterfaceVersion(int32_t* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceVersion, 0, r);
}
::ndk::ScopedAStatus BpTouchFeature::getInterfaceHash(std::string* r) {
  return remoteCall(asBinder(), TRANSACTION_getInterfaceHash, 0, r);
}

}  // namespace aidl::vendor::tamrel::hw::touchfeature
