#pragma once
// Helpers of interfaces written by hand on the binder NDK: one body for every proxy method
// and every stub dispatch, and the size-framed form of stable parcelables.
#include <memory>
#include <tuple>
#include <type_traits>

#include <android/binder_auto_utils.h>
#include <android/binder_ibinder.h>
#include <android/binder_interface_utils.h>
#include <android/binder_parcel_utils.h>
#include <android/binder_stability.h>

namespace platform_binder_aidl {


// The result type of a method that returns nothing.
struct NoReturn {};

template <typename... A>
binder_status_t writeAll([[maybe_unused]] AParcel* p, const A&... a) {
  binder_status_t s = STATUS_OK;
  ((s = (s == STATUS_OK ? ::ndk::AParcel_writeData(p, a) : s)), ...);
  return s;
}

template <typename... A>
binder_status_t readAll([[maybe_unused]] const AParcel* p, A*... a) {
  binder_status_t s = STATUS_OK;
  ((s = (s == STATUS_OK ? ::ndk::AParcel_readData(p, a) : s)), ...);
  return s;
}

// Proxy side: marshal the arguments, transact, unmarshal the status and the result.
template <typename R, typename... A>
::ndk::ScopedAStatus remoteCall(const ::ndk::SpAIBinder& binder, uint32_t code,
                                binder_flags_t flags, R* ret, const A&... args) {
  ::ndk::ScopedAParcel in;
  binder_status_t s = AIBinder_prepareTransaction(binder.get(), in.getR());
  if (s == STATUS_OK) s = writeAll(in.get(), args...);
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  ::ndk::ScopedAParcel out;
  s = AIBinder_transact(binder.get(), code, in.getR(), out.getR(), flags | FLAG_PRIVATE_LOCAL);
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  if ((flags & FLAG_ONEWAY) != 0) return ::ndk::ScopedAStatus::ok();
  ::ndk::ScopedAStatus status;
  s = AParcel_readStatusHeader(out.get(), status.getR());
  if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  if (!status.isOk()) return status;
  if constexpr (!std::is_same_v<R, NoReturn>) {
    s = ::ndk::AParcel_readData(out.get(), ret);
    if (s != STATUS_OK) return ::ndk::ScopedAStatus::fromStatus(s);
  }
  return status;
}

// Stub side: read the arguments A..., call `call(args..., &result)`, write the status and,
// when it is OK, the result.
template <typename R, typename... A, typename Call>
binder_status_t serve(const AParcel* in, AParcel* out, Call call) {
  std::tuple<A...> args;
  binder_status_t s = std::apply([&](auto&... a) { return readAll(in, &a...); }, args);
  if (s != STATUS_OK) return s;
  R ret{};
  ::ndk::ScopedAStatus status = std::apply([&](auto&... a) { return call(a..., &ret); }, args);
  s = AParcel_writeStatusHeader(out, status.get());
  if (s != STATUS_OK || !status.isOk()) return s;
  if constexpr (!std::is_same_v<R, NoReturn>) s = ::ndk::AParcel_writeData(out, ret);
  return s;
}

template <typename I>
std::shared_ptr<I> implOf(AIBinder* binder) {
  return std::static_pointer_cast<I>(::ndk::ICInterface::asInterface(binder));
}

template <typename I, typename Bp>
std::shared_ptr<I> fromBinderOf(const ::ndk::SpAIBinder& binder, const AIBinder_Class* clazz) {
  if (binder.get() == nullptr || !AIBinder_associateClass(binder.get(), clazz)) return nullptr;
  if (auto local = ::ndk::ICInterface::asInterface(binder.get())) {
    return std::static_pointer_cast<I>(local);
  }
  return ::ndk::SharedRefBase::make<Bp>(binder);
}

// A stub's binder: stable across partitions, as the interfaces here are.
inline ::ndk::SpAIBinder newStubBinder(const AIBinder_Class* clazz, void* self) {
  ::ndk::SpAIBinder binder(AIBinder_new(clazz, self));
  AIBinder_markVintfStability(binder.get());
  return binder;
}


// A parcelable's fields inside its size frame.
template <typename... F>
binder_status_t writeFramed(AParcel* p, const F&... fields) {
  ::ndk::ParcelableWriteFrame frame(p);
  binder_status_t s = frame.status();
  ((s = (s == STATUS_OK ? ::ndk::AParcel_writeData(p, fields) : s)), ...);
  return s == STATUS_OK ? frame.finish() : s;
}

// Reads the fields the frame holds; fields it does not reach keep their values.
template <typename... F>
binder_status_t readFramed(const AParcel* p, F*... fields) {
  ::ndk::ParcelableReadFrame frame(p);
  binder_status_t s = frame.status();
  ((s = (s == STATUS_OK && frame.more() ? ::ndk::AParcel_readData(p, fields) : s)), ...);
  return s == STATUS_OK ? frame.finish() : s;
}

}  // namespace platform_binder_aidl
