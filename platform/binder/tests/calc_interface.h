#pragma once
// A small interface written the way interface libraries are, for the binder tests:
// ICalc (add, fail, echo, listen) and the one-way ICalcListener.
#include <memory>
#include <string>

#include <android/binder_auto_utils.h>
#include <android/binder_ibinder.h>
#include <android/binder_interface_utils.h>
#include <android/binder_parcel_utils.h>

namespace calc {

class ICalcListener : public ndk::ICInterface {
 public:
  static constexpr const char* descriptor = "test.calc.ICalcListener";
  static constexpr transaction_code_t TRANSACTION_onValue = FIRST_CALL_TRANSACTION + 0;
  virtual ndk::ScopedAStatus onValue(int32_t value) = 0;
  static std::shared_ptr<ICalcListener> fromBinder(const ndk::SpAIBinder& binder);
  static AIBinder_Class* clazz();
};

class ICalc : public ndk::ICInterface {
 public:
  static constexpr const char* descriptor = "test.calc.ICalc";
  static constexpr transaction_code_t TRANSACTION_add = FIRST_CALL_TRANSACTION + 0;
  static constexpr transaction_code_t TRANSACTION_fail = FIRST_CALL_TRANSACTION + 1;
  static constexpr transaction_code_t TRANSACTION_echo = FIRST_CALL_TRANSACTION + 2;
  static constexpr transaction_code_t TRANSACTION_listen = FIRST_CALL_TRANSACTION + 3;
  virtual ndk::ScopedAStatus add(int32_t a, int32_t b, int32_t* _aidl_return) = 0;
  // kind 0 ok, 1 service-specific `code`, 2 exception `code`, 3 transport status `code`
  virtual ndk::ScopedAStatus fail(int32_t kind, int32_t code) = 0;
  virtual ndk::ScopedAStatus echo(const std::string& in, std::string* _aidl_return) = 0;
  virtual ndk::ScopedAStatus listen(const std::shared_ptr<ICalcListener>& listener,
                                    int32_t value) = 0;
  static std::shared_ptr<ICalc> fromBinder(const ndk::SpAIBinder& binder);
  static AIBinder_Class* clazz();
};

// Proxy side: one body for every call.
template <typename Marshal, typename Unmarshal>
ndk::ScopedAStatus call(AIBinder* binder, transaction_code_t code, Marshal marshal,
                        Unmarshal unmarshal, binder_flags_t flags = 0) {
  ndk::ScopedAParcel in;
  binder_status_t status = AIBinder_prepareTransaction(binder, in.getR());
  if (status == STATUS_OK) status = marshal(in.get());
  if (status != STATUS_OK) return ndk::ScopedAStatus::fromStatus(status);
  ndk::ScopedAParcel out;
  status = AIBinder_transact(binder, code, in.getR(), out.getR(), flags);
  if (status != STATUS_OK) return ndk::ScopedAStatus::fromStatus(status);
  if (flags & FLAG_ONEWAY) return ndk::ScopedAStatus::ok();
  ndk::ScopedAStatus result;
  status = AParcel_readStatusHeader(out.get(), result.getR());
  if (status != STATUS_OK) return ndk::ScopedAStatus::fromStatus(status);
  if (!result.isOk()) return result;
  status = unmarshal(out.get());
  return status == STATUS_OK ? std::move(result) : ndk::ScopedAStatus::fromStatus(status);
}
inline binder_status_t nothing(const AParcel*) { return STATUS_OK; }

class BpCalcListener : public ndk::BpCInterface<ICalcListener> {
 public:
  using BpCInterface::BpCInterface;
  ndk::ScopedAStatus onValue(int32_t value) override {
    return call(asBinder().get(), TRANSACTION_onValue,
                [&](AParcel* in) { return ndk::AParcel_writeData(in, value); }, nothing,
                FLAG_ONEWAY);
  }
};

class BpCalc : public ndk::BpCInterface<ICalc> {
 public:
  using BpCInterface::BpCInterface;
  ndk::ScopedAStatus add(int32_t a, int32_t b, int32_t* ret) override {
    return call(asBinder().get(), TRANSACTION_add,
                [&](AParcel* in) {
                  binder_status_t s = ndk::AParcel_writeData(in, a);
                  return s == STATUS_OK ? ndk::AParcel_writeData(in, b) : s;
                },
                [&](const AParcel* out) { return ndk::AParcel_readData(out, ret); });
  }
  ndk::ScopedAStatus fail(int32_t kind, int32_t code) override {
    return call(asBinder().get(), TRANSACTION_fail,
                [&](AParcel* in) {
                  binder_status_t s = ndk::AParcel_writeData(in, kind);
                  return s == STATUS_OK ? ndk::AParcel_writeData(in, code) : s;
                },
                nothing);
  }
  ndk::ScopedAStatus echo(const std::string& text, std::string* ret) override {
    return call(asBinder().get(), TRANSACTION_echo,
                [&](AParcel* in) { return ndk::AParcel_writeData(in, text); },
                [&](const AParcel* out) { return ndk::AParcel_readData(out, ret); });
  }
  ndk::ScopedAStatus listen(const std::shared_ptr<ICalcListener>& listener, int32_t value) override {
    return call(asBinder().get(), TRANSACTION_listen,
                [&](AParcel* in) {
                  binder_status_t s = ndk::AParcel_writeData(in, listener);
                  return s == STATUS_OK ? ndk::AParcel_writeData(in, value) : s;
                },
                nothing);
  }
};

// Stub side.
template <typename I>
std::shared_ptr<I> implOf(AIBinder* binder) {
  return std::static_pointer_cast<I>(ndk::ICInterface::asInterface(binder));
}

inline binder_status_t listenerTransact(AIBinder* binder, transaction_code_t code,
                                        const AParcel* in, AParcel* /*out*/) {
  auto impl = implOf<ICalcListener>(binder);
  if (code != ICalcListener::TRANSACTION_onValue) return STATUS_UNKNOWN_TRANSACTION;
  int32_t value = 0;
  binder_status_t s = ndk::AParcel_readData(in, &value);
  if (s != STATUS_OK) return s;
  impl->onValue(value);
  return STATUS_OK;
}

inline binder_status_t calcTransact(AIBinder* binder, transaction_code_t code, const AParcel* in,
                                    AParcel* out) {
  auto impl = implOf<ICalc>(binder);
  ndk::ScopedAStatus result;
  binder_status_t s = STATUS_OK;
  switch (code) {
    case ICalc::TRANSACTION_add: {
      int32_t a = 0, b = 0, ret = 0;
      if ((s = ndk::AParcel_readData(in, &a)) != STATUS_OK) return s;
      if ((s = ndk::AParcel_readData(in, &b)) != STATUS_OK) return s;
      result = impl->add(a, b, &ret);
      if ((s = AParcel_writeStatusHeader(out, result.get())) != STATUS_OK) return s;
      return result.isOk() ? ndk::AParcel_writeData(out, ret) : STATUS_OK;
    }
    case ICalc::TRANSACTION_fail: {
      int32_t kind = 0, c = 0;
      if ((s = ndk::AParcel_readData(in, &kind)) != STATUS_OK) return s;
      if ((s = ndk::AParcel_readData(in, &c)) != STATUS_OK) return s;
      result = impl->fail(kind, c);
      return AParcel_writeStatusHeader(out, result.get());
    }
    case ICalc::TRANSACTION_echo: {
      std::string text, ret;
      if ((s = ndk::AParcel_readData(in, &text)) != STATUS_OK) return s;
      result = impl->echo(text, &ret);
      if ((s = AParcel_writeStatusHeader(out, result.get())) != STATUS_OK) return s;
      return result.isOk() ? ndk::AParcel_writeData(out, ret) : STATUS_OK;
    }
    case ICalc::TRANSACTION_listen: {
      std::shared_ptr<ICalcListener> listener;
      int32_t value = 0;
      if ((s = ndk::AParcel_readData(in, &listener)) != STATUS_OK) return s;
      if ((s = ndk::AParcel_readData(in, &value)) != STATUS_OK) return s;
      result = impl->listen(listener, value);
      return AParcel_writeStatusHeader(out, result.get());
    }
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

inline AIBinder_Class* ICalcListener::clazz() {
  static AIBinder_Class* c = defineClass(descriptor, listenerTransact);
  return c;
}
inline AIBinder_Class* ICalc::clazz() {
  static AIBinder_Class* c = defineClass(descriptor, calcTransact);
  return c;
}

template <typename I, typename Bp>
std::shared_ptr<I> fromBinderOf(const ndk::SpAIBinder& binder) {
  if (!AIBinder_associateClass(binder.get(), I::clazz())) return nullptr;
  if (auto local = ndk::ICInterface::asInterface(binder.get())) {
    return std::static_pointer_cast<I>(local);
  }
  return ndk::SharedRefBase::make<Bp>(binder);
}
inline std::shared_ptr<ICalcListener> ICalcListener::fromBinder(const ndk::SpAIBinder& binder) {
  return fromBinderOf<ICalcListener, BpCalcListener>(binder);
}
inline std::shared_ptr<ICalc> ICalc::fromBinder(const ndk::SpAIBinder& binder) {
  return fromBinderOf<ICalc, BpCalc>(binder);
}

class BnCalcListener : public ndk::BnCInterface<ICalcListener> {
 protected:
  ndk::SpAIBinder createBinder() override {
    return ndk::SpAIBinder(AIBinder_new(clazz(), static_cast<void*>(this)));
  }
};
class BnCalc : public ndk::BnCInterface<ICalc> {
 protected:
  ndk::SpAIBinder createBinder() override {
    return ndk::SpAIBinder(AIBinder_new(clazz(), static_cast<void*>(this)));
  }
};

}  // namespace calc
