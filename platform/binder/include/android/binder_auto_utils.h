#pragma once
// Owning C++ handles over the binder C objects.
#include <unistd.h>

#include <cstddef>
#include <string>
#include <utility>

#include <android/binder_ibinder.h>
#include <android/binder_parcel.h>
#include <android/binder_status.h>

namespace ndk {

// A strong reference to a binder.
class SpAIBinder {
 public:
  SpAIBinder() = default;
  // Takes over one strong reference the caller already holds.
  explicit SpAIBinder(AIBinder* binder) : mBinder(binder) {}
  SpAIBinder(std::nullptr_t) : SpAIBinder() {}
  SpAIBinder(const SpAIBinder& other) : mBinder(other.mBinder) {
    if (mBinder != nullptr) AIBinder_incStrong(mBinder);
  }
  SpAIBinder(SpAIBinder&& other) noexcept : mBinder(other.release()) {}
  SpAIBinder& operator=(const SpAIBinder& other) {
    if (this != &other) {
      if (other.mBinder != nullptr) AIBinder_incStrong(other.mBinder);
      set(other.mBinder);
    }
    return *this;
  }
  SpAIBinder& operator=(SpAIBinder&& other) noexcept {
    if (this != &other) set(other.release());
    return *this;
  }
  ~SpAIBinder() { set(nullptr); }

  AIBinder* get() const { return mBinder; }
  AIBinder* release() { return std::exchange(mBinder, nullptr); }
  // Replaces the held reference with one the caller hands over.
  void set(AIBinder* binder) {
    AIBinder* old = std::exchange(mBinder, binder);
    if (old != nullptr) AIBinder_decStrong(old);
  }
  AIBinder** getR() { return &mBinder; }

  bool operator==(const SpAIBinder& rhs) const { return mBinder == rhs.mBinder; }
  bool operator!=(const SpAIBinder& rhs) const { return mBinder != rhs.mBinder; }
  bool operator<(const SpAIBinder& rhs) const { return AIBinder_lt(mBinder, rhs.mBinder); }

 private:
  AIBinder* mBinder = nullptr;
};

namespace impl {
// One owning handle for every C resource with a delete function.
template <typename T, void (*Destroy)(T), T DEFAULT>
class ScopedAResource {
 public:
  explicit ScopedAResource(T t = DEFAULT) : mT(t) {}
  ~ScopedAResource() { set(DEFAULT); }
  ScopedAResource(const ScopedAResource&) = delete;
  ScopedAResource& operator=(const ScopedAResource&) = delete;
  ScopedAResource(ScopedAResource&& other) noexcept : mT(other.release()) {}
  ScopedAResource& operator=(ScopedAResource&& other) noexcept {
    if (this != &other) set(other.release());
    return *this;
  }
  T get() const { return mT; }
  T* getR() { return &mT; }
  T release() { return std::exchange(mT, DEFAULT); }
  void set(T t) {
    T old = std::exchange(mT, t);
    if (old != DEFAULT) Destroy(old);
  }

 private:
  T mT;
};
}  // namespace impl

class ScopedAParcel : public impl::ScopedAResource<AParcel*, AParcel_delete, nullptr> {
 public:
  explicit ScopedAParcel(AParcel* a = nullptr) : ScopedAResource(a) {}
  ScopedAParcel(ScopedAParcel&&) = default;
  ScopedAParcel& operator=(ScopedAParcel&&) = default;
};

class ScopedAStatus : public impl::ScopedAResource<AStatus*, AStatus_delete, nullptr> {
 public:
  explicit ScopedAStatus(AStatus* a = nullptr) : ScopedAResource(a) {}
  ScopedAStatus(ScopedAStatus&&) = default;
  ScopedAStatus& operator=(ScopedAStatus&&) = default;

  // A default-constructed (null) status counts as OK.
  bool isOk() const { return get() == nullptr || AStatus_isOk(get()); }
  binder_exception_t getExceptionCode() const {
    return get() == nullptr ? EX_NONE : AStatus_getExceptionCode(get());
  }
  int32_t getServiceSpecificError() const {
    return get() == nullptr ? 0 : AStatus_getServiceSpecificError(get());
  }
  binder_status_t getStatus() const {
    return get() == nullptr ? STATUS_OK : AStatus_getStatus(get());
  }
  const char* getMessage() const { return get() == nullptr ? "" : AStatus_getMessage(get()); }
  std::string getDescription() const {
    if (get() == nullptr) return "Status(0, EX_NONE): ''";
    const char* cStr = AStatus_getDescription(get());
    std::string ret = cStr;
    AStatus_deleteDescription(cStr);
    return ret;
  }

  static ScopedAStatus ok() { return ScopedAStatus(AStatus_newOk()); }
  static ScopedAStatus fromExceptionCode(binder_exception_t exception) {
    return ScopedAStatus(AStatus_fromExceptionCode(exception));
  }
  static ScopedAStatus fromExceptionCodeWithMessage(binder_exception_t exception,
                                                    const char* message) {
    return ScopedAStatus(AStatus_fromExceptionCodeWithMessage(exception, message));
  }
  static ScopedAStatus fromServiceSpecificError(int32_t serviceSpecific) {
    return ScopedAStatus(AStatus_fromServiceSpecificError(serviceSpecific));
  }
  static ScopedAStatus fromServiceSpecificErrorWithMessage(int32_t serviceSpecific,
                                                           const char* message) {
    return ScopedAStatus(AStatus_fromServiceSpecificErrorWithMessage(serviceSpecific, message));
  }
  static ScopedAStatus fromStatus(binder_status_t status) {
    return ScopedAStatus(AStatus_fromStatus(status));
  }
};

class ScopedAIBinder_DeathRecipient
    : public impl::ScopedAResource<AIBinder_DeathRecipient*, AIBinder_DeathRecipient_delete,
                                   nullptr> {
 public:
  explicit ScopedAIBinder_DeathRecipient(AIBinder_DeathRecipient* a = nullptr)
      : ScopedAResource(a) {}
  ScopedAIBinder_DeathRecipient(ScopedAIBinder_DeathRecipient&&) = default;
  ScopedAIBinder_DeathRecipient& operator=(ScopedAIBinder_DeathRecipient&&) = default;
};

class ScopedAIBinder_Weak
    : public impl::ScopedAResource<AIBinder_Weak*, AIBinder_Weak_delete, nullptr> {
 public:
  explicit ScopedAIBinder_Weak(AIBinder_Weak* a = nullptr) : ScopedAResource(a) {}
  ScopedAIBinder_Weak(ScopedAIBinder_Weak&&) = default;
  ScopedAIBinder_Weak& operator=(ScopedAIBinder_Weak&&) = default;
  SpAIBinder promote() const { return SpAIBinder(AIBinder_Weak_promote(get())); }
};

namespace internal {
inline void closeWithError(int fd) {
  if (fd != -1) ::close(fd);
}
}  // namespace internal

class ScopedFileDescriptor : public impl::ScopedAResource<int, internal::closeWithError, -1> {
 public:
  explicit ScopedFileDescriptor(int a = -1) : ScopedAResource(a) {}
  ScopedFileDescriptor(ScopedFileDescriptor&&) = default;
  ScopedFileDescriptor& operator=(ScopedFileDescriptor&&) = default;
};

}  // namespace ndk
