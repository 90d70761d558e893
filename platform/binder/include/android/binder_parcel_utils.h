#pragma once
// Typed parcel access for interface code: ndk::AParcel_writeData / AParcel_readData for
// the AIDL types (primitives, enums, strings, binders, interfaces, parcelables and vectors
// of them). A parcelable is any type with writeToParcel(AParcel*) const and
// readFromParcel(const AParcel*); in a parcel it follows an int32 presence marker.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include <android/binder_auto_utils.h>
#include <android/binder_interface_utils.h>
#include <android/binder_parcel.h>

namespace ndk {

namespace internal {
template <typename T>
concept Parcelable = requires(const T& c, T& m, AParcel* out, const AParcel* in) {
  { c.writeToParcel(out) } -> std::same_as<binder_status_t>;
  { m.readFromParcel(in) } -> std::same_as<binder_status_t>;
};
template <typename T>
concept Interface = std::is_base_of_v<ICInterface, T>;

inline int32_t bytesLeft(const AParcel* parcel) {
  return AParcel_getDataSize(parcel) - AParcel_getDataPosition(parcel);
}
}  // namespace internal

// Scalars.
inline binder_status_t AParcel_writeData(AParcel* p, int32_t v) { return AParcel_writeInt32(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, int64_t v) { return AParcel_writeInt64(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, float v) { return AParcel_writeFloat(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, double v) { return AParcel_writeDouble(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, bool v) { return AParcel_writeBool(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, int8_t v) { return AParcel_writeByte(p, v); }
inline binder_status_t AParcel_writeData(AParcel* p, uint8_t v) {
  return AParcel_writeByte(p, static_cast<int8_t>(v));
}
inline binder_status_t AParcel_writeData(AParcel* p, char16_t v) { return AParcel_writeChar(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, int32_t* v) { return AParcel_readInt32(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, int64_t* v) { return AParcel_readInt64(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, float* v) { return AParcel_readFloat(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, double* v) { return AParcel_readDouble(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, bool* v) { return AParcel_readBool(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, int8_t* v) { return AParcel_readByte(p, v); }
inline binder_status_t AParcel_readData(const AParcel* p, uint8_t* v) {
  return AParcel_readByte(p, reinterpret_cast<int8_t*>(v));
}
inline binder_status_t AParcel_readData(const AParcel* p, char16_t* v) { return AParcel_readChar(p, v); }

// Enums travel as their backing type.
template <typename E>
  requires std::is_enum_v<E>
binder_status_t AParcel_writeData(AParcel* p, E v) {
  return AParcel_writeData(p, static_cast<std::underlying_type_t<E>>(v));
}
template <typename E>
  requires std::is_enum_v<E>
binder_status_t AParcel_readData(const AParcel* p, E* v) {
  std::underlying_type_t<E> raw{};
  binder_status_t status = AParcel_readData(p, &raw);
  if (status == STATUS_OK) *v = static_cast<E>(raw);
  return status;
}

// Strings (UTF-8 in this build).
inline binder_status_t AParcel_writeData(AParcel* p, const std::string& s) {
  return AParcel_writeString(p, s.c_str(), static_cast<int32_t>(s.size()));
}
inline binder_status_t AParcel_writeData(AParcel* p, const std::optional<std::string>& s) {
  if (!s) return AParcel_writeString(p, nullptr, -1);
  return AParcel_writeData(p, *s);
}
namespace internal {
inline bool optionalStringAllocator(void* data, int32_t length, char** buffer) {
  auto* s = static_cast<std::optional<std::string>*>(data);
  if (length < 0) {
    s->reset();
    return true;
  }
  s->emplace(static_cast<size_t>(length), '\0');
  *buffer = (*s)->data();
  return true;
}
}  // namespace internal
inline binder_status_t AParcel_readData(const AParcel* p, std::optional<std::string>* s) {
  binder_status_t status = AParcel_readString(p, s, internal::optionalStringAllocator);
  // The allocator sized the string with its terminator.
  if (status == STATUS_OK && s->has_value() && !(*s)->empty()) (*s)->pop_back();
  return status;
}
inline binder_status_t AParcel_readData(const AParcel* p, std::string* s) {
  std::optional<std::string> opt;
  binder_status_t status = AParcel_readData(p, &opt);
  if (status != STATUS_OK) return status;
  if (!opt) return STATUS_UNEXPECTED_NULL;
  *s = std::move(*opt);
  return STATUS_OK;
}

// Binders (nullable).
inline binder_status_t AParcel_writeData(AParcel* p, const SpAIBinder& b) {
  return AParcel_writeStrongBinder(p, b.get());
}
inline binder_status_t AParcel_readData(const AParcel* p, SpAIBinder* b) {
  AIBinder* raw = nullptr;
  binder_status_t status = AParcel_readStrongBinder(p, &raw);
  if (status == STATUS_OK) b->set(raw);
  return status;
}

// Interfaces (nullable): as their binder; I::fromBinder turns it back into an object.
template <internal::Interface I>
binder_status_t AParcel_writeData(AParcel* p, const std::shared_ptr<I>& i) {
  return AParcel_writeStrongBinder(p, i ? i->asBinder().get() : nullptr);
}
template <internal::Interface I>
binder_status_t AParcel_readData(const AParcel* p, std::shared_ptr<I>* i) {
  SpAIBinder binder;
  binder_status_t status = AParcel_readData(p, &binder);
  if (status != STATUS_OK) return status;
  *i = binder.get() == nullptr ? nullptr : I::fromBinder(binder);
  return STATUS_OK;
}

// Parcelables: presence marker 1, then the fields.
template <internal::Parcelable P>
binder_status_t AParcel_writeData(AParcel* p, const P& v) {
  binder_status_t status = AParcel_writeInt32(p, 1);
  if (status != STATUS_OK) return status;
  return v.writeToParcel(p);
}
template <internal::Parcelable P>
binder_status_t AParcel_readData(const AParcel* p, P* v) {
  int32_t present = 0;
  binder_status_t status = AParcel_readInt32(p, &present);
  if (status != STATUS_OK) return status;
  if (present == 0) return STATUS_UNEXPECTED_NULL;
  return v->readFromParcel(p);
}
template <internal::Parcelable P>
binder_status_t AParcel_writeData(AParcel* p, const std::optional<P>& v) {
  if (!v) return AParcel_writeInt32(p, 0);
  return AParcel_writeData(p, *v);
}
template <internal::Parcelable P>
binder_status_t AParcel_readData(const AParcel* p, std::optional<P>* v) {
  int32_t present = 0;
  binder_status_t status = AParcel_readInt32(p, &present);
  if (status != STATUS_OK) return status;
  if (present == 0) {
    v->reset();
    return STATUS_OK;
  }
  v->emplace();
  return (*v)->readFromParcel(p);
}

// Vectors: an int32 count (-1 = null) and the elements; bytes are packed.
namespace internal {
template <typename T>
inline constexpr bool kPackedByte = std::is_same_v<T, uint8_t> || std::is_same_v<T, int8_t>;

template <typename T>
bool byteVectorAllocator(void* data, int32_t length, int8_t** buffer) {
  auto* v = static_cast<std::optional<std::vector<T>>*>(data);
  if (length < 0) {
    v->reset();
    return true;
  }
  v->emplace(static_cast<size_t>(length));
  *buffer = reinterpret_cast<int8_t*>((*v)->data());
  return true;
}
}  // namespace internal

template <typename T>
binder_status_t AParcel_writeData(AParcel* p, const std::vector<T>& v) {
  if constexpr (internal::kPackedByte<T>) {
    return AParcel_writeByteArray(p, reinterpret_cast<const int8_t*>(v.data()),
                                  static_cast<int32_t>(v.size()));
  } else {
    binder_status_t status = AParcel_writeInt32(p, static_cast<int32_t>(v.size()));
    for (size_t i = 0; status == STATUS_OK && i < v.size(); ++i) {
      if constexpr (std::is_same_v<T, bool>) {
        status = AParcel_writeData(p, static_cast<bool>(v[i]));
      } else {
        status = AParcel_writeData(p, v[i]);
      }
    }
    return status;
  }
}
template <typename T>
binder_status_t AParcel_writeData(AParcel* p, const std::optional<std::vector<T>>& v) {
  if (!v) return AParcel_writeInt32(p, -1);
  return AParcel_writeData(p, *v);
}
template <typename T>
binder_status_t AParcel_readData(const AParcel* p, std::optional<std::vector<T>>* v) {
  if constexpr (internal::kPackedByte<T>) {
    return AParcel_readByteArray(p, v, internal::byteVectorAllocator<T>);
  } else {
    int32_t count = 0;
    binder_status_t status = AParcel_readInt32(p, &count);
    if (status != STATUS_OK) return status;
    if (count == -1) {
      v->reset();
      return STATUS_OK;
    }
    // Every element takes at least four bytes: refuse counts the data cannot hold
    // before allocating for them.
    if (count < 0 || count > internal::bytesLeft(p) / 4) return STATUS_BAD_VALUE;
    v->emplace(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      if constexpr (std::is_same_v<T, bool>) {
        bool b = false;
        status = AParcel_readData(p, &b);
        (**v)[static_cast<size_t>(i)] = b;
      } else {
        status = AParcel_readData(p, &(**v)[static_cast<size_t>(i)]);
      }
      if (status != STATUS_OK) return status;
    }
    return STATUS_OK;
  }
}
template <typename T>
binder_status_t AParcel_readData(const AParcel* p, std::vector<T>* v) {
  std::optional<std::vector<T>> opt;
  binder_status_t status = AParcel_readData(p, &opt);
  if (status != STATUS_OK) return status;
  if (!opt) return STATUS_UNEXPECTED_NULL;
  *v = std::move(*opt);
  return STATUS_OK;
}

// The framing of a stable parcelable: an int32 size counted from its own start, then the
// fields. Readers stop at the size, so fields added later are skipped.
class ParcelableWriteFrame {
 public:
  explicit ParcelableWriteFrame(AParcel* p) : mParcel(p), mStart(AParcel_getDataPosition(p)) {
    mStatus = AParcel_writeInt32(p, 0);
  }
  binder_status_t status() const { return mStatus; }
  binder_status_t finish() {
    if (mStatus != STATUS_OK) return mStatus;
    int32_t end = AParcel_getDataPosition(mParcel);
    binder_status_t status = AParcel_setDataPosition(mParcel, mStart);
    if (status == STATUS_OK) status = AParcel_writeInt32(mParcel, end - mStart);
    if (status == STATUS_OK) status = AParcel_setDataPosition(mParcel, end);
    return status;
  }

 private:
  AParcel* mParcel;
  int32_t mStart;
  binder_status_t mStatus;
};

class ParcelableReadFrame {
 public:
  explicit ParcelableReadFrame(const AParcel* p) : mParcel(p), mStart(AParcel_getDataPosition(p)) {
    int32_t size = 0;
    mStatus = AParcel_readInt32(p, &size);
    if (mStatus != STATUS_OK) return;
    if (size < 4 || mStart > INT32_MAX - size) {
      mStatus = STATUS_BAD_VALUE;
      return;
    }
    mSize = size;
  }
  binder_status_t status() const { return mStatus; }
  // Whether the next field lies inside the frame.
  bool more() const { return AParcel_getDataPosition(mParcel) - mStart < mSize; }
  binder_status_t finish() { return AParcel_setDataPosition(mParcel, mStart + mSize); }

 private:
  const AParcel* mParcel;
  int32_t mStart;
  int32_t mSize = 0;
  binder_status_t mStatus;
};

}  // namespace ndk
