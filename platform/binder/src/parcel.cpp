// Parcels: a little-endian byte buffer of 4-byte aligned entries plus the binder objects
// it carries. Reads never pass the end of the data.
#include <cstring>
#include <limits>

#include <android/log.h>

#include "binder_internal.h"

using binder_internal::asReceived;

namespace {

constexpr const char* kTag = "platform_binder";
constexpr int32_t kBinderEntry = 1;
constexpr int32_t kNullBinderEntry = 0;

size_t padded(size_t n) { return (n + 3u) & ~size_t{3}; }

void dropObjects(AParcel* p, size_t from, size_t to) {
  for (auto it = p->objects.lower_bound(from); it != p->objects.end() && it->first < to;) {
    AIBinder_decStrong(it->second);
    it = p->objects.erase(it);
  }
}

binder_status_t writeRaw(AParcel* p, const void* bytes, size_t n, size_t paddedTo) {
  if (p->position > std::numeric_limits<int32_t>::max() - paddedTo) return STATUS_NO_MEMORY;
  size_t end = p->position + paddedTo;
  if (end > p->data.size()) p->data.resize(end, 0);
  dropObjects(p, p->position, end);
  if (n > 0) std::memcpy(p->data.data() + p->position, bytes, n);
  std::memset(p->data.data() + p->position + n, 0, paddedTo - n);
  p->position = end;
  return STATUS_OK;
}

size_t bytesLeft(const AParcel* p) {
  return p->position >= p->data.size() ? 0 : p->data.size() - p->position;
}

binder_status_t readRaw(const AParcel* p, void* out, size_t n, size_t paddedTo) {
  if (bytesLeft(p) < paddedTo) return STATUS_NOT_ENOUGH_DATA;
  if (n > 0) std::memcpy(out, p->data.data() + p->position, n);
  p->position += paddedTo;
  return STATUS_OK;
}

template <typename T>
binder_status_t writeValue(AParcel* p, T v) {
  return writeRaw(p, &v, sizeof(T), padded(sizeof(T)));
}
template <typename T>
binder_status_t readValue(const AParcel* p, T* v) {
  if (v == nullptr) return STATUS_UNEXPECTED_NULL;
  return readRaw(p, v, sizeof(T), padded(sizeof(T)));
}

binder_status_t refuse(const char* what, binder_status_t status, int64_t value) {
  __android_log_print(ANDROID_LOG_WARN, kTag, "parcel: refusing %s (%lld): status %d", what,
                      static_cast<long long>(value), status);
  return status;
}

// Reads an array count and checks the data left can hold `wireBytes` per element.
binder_status_t readCount(const AParcel* p, size_t wireBytes, int32_t* length) {
  binder_status_t status = readValue<int32_t>(p, length);
  if (status != STATUS_OK) return status;
  if (*length < -1) return refuse("negative array length", STATUS_BAD_VALUE, *length);
  if (*length > 0 && static_cast<uint64_t>(*length) * wireBytes > bytesLeft(p)) {
    return refuse("array longer than the data", STATUS_BAD_VALUE, *length);
  }
  return STATUS_OK;
}

// A counted list (-1 = null) written element by element.
template <typename WriteElement>
binder_status_t writeCounted(AParcel* p, int32_t length, WriteElement write) {
  if (length < -1) return STATUS_BAD_VALUE;
  binder_status_t status = writeValue<int32_t>(p, length);
  for (int32_t i = 0; status == STATUS_OK && i < length; ++i) status = write(static_cast<size_t>(i));
  return status;
}

// A counted list read element by element, after its count was checked against the data
// (`minBytes` per element) and the storage allocated.
template <typename Allocate, typename ReadElement>
binder_status_t readCounted(const AParcel* p, size_t minBytes, Allocate allocate, ReadElement read) {
  int32_t length = 0;
  binder_status_t status = readCount(p, minBytes, &length);
  if (status != STATUS_OK) return status;
  if (!allocate(length)) return STATUS_NO_MEMORY;
  for (int32_t i = 0; status == STATUS_OK && i < length; ++i) status = read(static_cast<size_t>(i));
  return status;
}

// Array entries: int32 count (-1 = null) and the elements, each as its wire type W.
template <typename T, typename W = T>
binder_status_t writeArray(AParcel* p, const T* array, int32_t length) {
  if (length > 0 && array == nullptr) return STATUS_BAD_VALUE;
  return writeCounted(p, length, [&](size_t i) { return writeValue<W>(p, static_cast<W>(array[i])); });
}

template <typename T, typename W = T, typename Allocator>
binder_status_t readArray(const AParcel* p, void* arrayData, Allocator allocator) {
  size_t start = p->position;
  int32_t length = 0;
  binder_status_t status = readCount(p, padded(sizeof(W)), &length);
  if (status != STATUS_OK) {
    p->position = start;
    return status;
  }
  T* buffer = nullptr;
  if (!allocator(arrayData, length, &buffer)) return STATUS_NO_MEMORY;
  if (length <= 0) return STATUS_OK;
  if (buffer == nullptr) return STATUS_NO_MEMORY;
  for (int32_t i = 0; i < length; ++i) {
    W w{};
    readValue<W>(p, &w);  // cannot fail: the count was checked against the data
    buffer[i] = static_cast<T>(w);
  }
  return STATUS_OK;
}

}  // namespace

AParcel::AParcel(const AParcel& other)
    : data(other.data), position(other.position), objects(other.objects) {
  for (auto& [offset, binder] : objects) AIBinder_incStrong(binder);
}

AParcel::~AParcel() { dropObjects(this, 0, std::numeric_limits<size_t>::max()); }

extern "C" {

void AParcel_delete(AParcel* parcel) { delete parcel; }
AParcel* AParcel_create() { return new AParcel(); }

binder_status_t AParcel_setDataPosition(const AParcel* parcel, int32_t position) {
  if (position < 0) return STATUS_BAD_VALUE;
  // A position past the end is allowed: reads then fail, writes fill the gap with zeros.
  parcel->position = static_cast<size_t>(position);
  return STATUS_OK;
}
int32_t AParcel_getDataPosition(const AParcel* parcel) {
  return static_cast<int32_t>(parcel->position);
}
int32_t AParcel_getDataSize(const AParcel* parcel) {
  return static_cast<int32_t>(parcel->data.size());
}
binder_status_t AParcel_reset(AParcel* parcel) {
  dropObjects(parcel, 0, std::numeric_limits<size_t>::max());
  parcel->data.clear();
  parcel->position = 0;
  return STATUS_OK;
}

binder_status_t AParcel_appendFrom(const AParcel* from, AParcel* parcel, int32_t start,
                                   int32_t size) {
  if (start < 0 || size < 0 || static_cast<size_t>(start) > from->data.size() ||
      static_cast<size_t>(size) > from->data.size() - static_cast<size_t>(start)) {
    return STATUS_BAD_VALUE;
  }
  size_t begin = static_cast<size_t>(start);
  size_t end = begin + static_cast<size_t>(size);
  // Binder entries must be copied whole.
  for (const auto& [offset, binder] : from->objects) {
    if ((offset < begin && offset + 8 > begin) || (offset < end && offset + 8 > end)) {
      return STATUS_BAD_VALUE;
    }
  }
  size_t destination = parcel->data.size();
  parcel->position = destination;
  binder_status_t status = writeRaw(parcel, from->data.data() + begin, end - begin, end - begin);
  if (status != STATUS_OK) return status;
  for (auto it = from->objects.lower_bound(begin); it != from->objects.end() && it->first < end;
       ++it) {
    AIBinder_incStrong(it->second);
    parcel->objects[destination + (it->first - begin)] = it->second;
  }
  return STATUS_OK;
}

binder_status_t AParcel_marshal(const AParcel* parcel, uint8_t* buffer, size_t start, size_t len) {
  if (!parcel->objects.empty()) return STATUS_INVALID_OPERATION;
  if (start > parcel->data.size() || len > parcel->data.size() - start) return STATUS_BAD_VALUE;
  if (len > 0) std::memcpy(buffer, parcel->data.data() + start, len);
  return STATUS_OK;
}
binder_status_t AParcel_unmarshal(AParcel* parcel, const uint8_t* buffer, size_t len) {
  AParcel_reset(parcel);
  if (len > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return STATUS_BAD_VALUE;
  parcel->data.assign(buffer, buffer + len);
  return STATUS_OK;
}

binder_status_t AParcel_writeStrongBinder(AParcel* parcel, AIBinder* binder) {
  size_t at = parcel->position;
  int32_t entry[2] = {binder == nullptr ? kNullBinderEntry : kBinderEntry, 0};
  binder_status_t status = writeRaw(parcel, entry, sizeof(entry), sizeof(entry));
  if (status == STATUS_OK && binder != nullptr) {
    AIBinder_incStrong(binder);
    parcel->objects[at] = binder;
  }
  return status;
}

binder_status_t AParcel_readStrongBinder(const AParcel* parcel, AIBinder** binder) {
  size_t at = parcel->position;
  int32_t entry[2] = {};
  binder_status_t status = readRaw(parcel, entry, sizeof(entry), sizeof(entry));
  if (status != STATUS_OK) return status;
  if (entry[0] == kNullBinderEntry) {
    *binder = nullptr;
    return STATUS_OK;
  }
  auto it = parcel->objects.find(at);
  if (entry[0] != kBinderEntry || it == parcel->objects.end()) {
    parcel->position = at;
    return refuse("binder entry without an object", STATUS_BAD_TYPE, entry[0]);
  }
  *binder = asReceived(it->second);
  return STATUS_OK;
}

binder_status_t AParcel_writeString(AParcel* parcel, const char* string, int32_t length) {
  if (string == nullptr || length == -1) return writeValue<int32_t>(parcel, -1);
  if (length < 0) return STATUS_BAD_VALUE;
  size_t start = parcel->position;
  binder_status_t status = writeValue<int32_t>(parcel, length);
  if (status != STATUS_OK) return status;
  size_t bytes = static_cast<size_t>(length);
  status = writeRaw(parcel, string, bytes, padded(bytes + 1));  // keeps the terminator 0
  if (status != STATUS_OK) parcel->position = start;
  return status;
}

binder_status_t AParcel_readString(const AParcel* parcel, void* stringData,
                                   AParcel_stringAllocator allocator) {
  size_t start = parcel->position;
  int32_t length = 0;
  binder_status_t status = readValue<int32_t>(parcel, &length);
  if (status != STATUS_OK) return status;
  if (length == -1) {
    char* unused = nullptr;
    return allocator(stringData, -1, &unused) ? STATUS_OK : STATUS_NO_MEMORY;
  }
  if (length < 0) {
    parcel->position = start;
    return refuse("negative string length", STATUS_BAD_VALUE, length);
  }
  size_t bytes = static_cast<size_t>(length);
  if (bytesLeft(parcel) < padded(bytes + 1)) {
    parcel->position = start;
    return refuse("string longer than the data", STATUS_NOT_ENOUGH_DATA, length);
  }
  const char* text = reinterpret_cast<const char*>(parcel->data.data() + parcel->position);
  if (text[bytes] != '\0' || std::memchr(text, '\0', bytes) != nullptr) {
    parcel->position = start;
    return refuse("string without its terminator", STATUS_BAD_VALUE, length);
  }
  char* buffer = nullptr;
  if (!allocator(stringData, length + 1, &buffer) || buffer == nullptr) return STATUS_NO_MEMORY;
  std::memcpy(buffer, text, bytes + 1);
  parcel->position += padded(bytes + 1);
  return STATUS_OK;
}

binder_status_t AParcel_writeStringArray(AParcel* parcel, const void* arrayData, int32_t length,
                                         AParcel_stringArrayElementGetter getter) {
  return writeCounted(parcel, length, [&](size_t i) {
    int32_t elementLength = 0;
    const char* element = getter(arrayData, i, &elementLength);
    return AParcel_writeString(parcel, element, element == nullptr ? -1 : elementLength);
  });
}

binder_status_t AParcel_readStringArray(const AParcel* parcel, void* arrayData,
                                        AParcel_stringArrayAllocator allocator,
                                        AParcel_stringArrayElementAllocator elementAllocator) {
  struct Element {
    void* arrayData;
    size_t index;
    AParcel_stringArrayElementAllocator allocator;
  };
  return readCounted(
      parcel, 4, [&](int32_t length) { return allocator(arrayData, length); },
      [&](size_t i) {
        Element element{arrayData, i, elementAllocator};
        return AParcel_readString(parcel, &element, [](void* data, int32_t len, char** buffer) {
          auto* e = static_cast<Element*>(data);
          return e->allocator(e->arrayData, e->index, len, buffer);
        });
      });
}

binder_status_t AParcel_writeParcelableArray(AParcel* parcel, const void* arrayData,
                                             int32_t length,
                                             AParcel_writeParcelableElement elementWriter) {
  return writeCounted(parcel, length, [&](size_t i) { return elementWriter(parcel, arrayData, i); });
}

binder_status_t AParcel_readParcelableArray(const AParcel* parcel, void* arrayData,
                                            AParcel_parcelableArrayAllocator allocator,
                                            AParcel_readParcelableElement elementReader) {
  return readCounted(
      parcel, 4, [&](int32_t length) { return allocator(arrayData, length); },
      [&](size_t i) { return elementReader(parcel, arrayData, i); });
}

binder_status_t AParcel_writeStatusHeader(AParcel* parcel, const AStatus* status) {
  if (status == nullptr || status->exception == EX_NONE) return writeValue<int32_t>(parcel, 0);
  if (status->exception == EX_TRANSACTION_FAILED) {
    return status->status == STATUS_OK ? STATUS_FAILED_TRANSACTION : status->status;
  }
  binder_status_t ret = writeValue<int32_t>(parcel, status->exception);
  if (ret == STATUS_OK) {
    ret = AParcel_writeString(parcel, status->message.c_str(),
                              static_cast<int32_t>(status->message.size()));
  }
  if (ret == STATUS_OK) ret = writeValue<int32_t>(parcel, 0);  // no remote stack trace
  if (ret == STATUS_OK && status->exception == EX_SERVICE_SPECIFIC) {
    ret = writeValue<int32_t>(parcel, status->serviceSpecific);
  }
  return ret;
}

binder_status_t AParcel_readStatusHeader(const AParcel* parcel, AStatus** status) {
  int32_t exception = 0;
  binder_status_t ret = readValue<int32_t>(parcel, &exception);
  if (ret != STATUS_OK) return ret;
  if (exception == EX_NONE) {
    *status = AStatus_newOk();
    return STATUS_OK;
  }
  std::string message;
  ret = AParcel_readString(parcel, &message, [](void* data, int32_t length, char** buffer) {
    auto* s = static_cast<std::string*>(data);
    s->assign(length < 0 ? 0 : static_cast<size_t>(length), '\0');
    *buffer = s->data();
    return true;
  });
  if (ret != STATUS_OK) return ret;
  if (!message.empty()) message.pop_back();  // the terminator
  int32_t traceSize = 0;
  ret = readValue<int32_t>(parcel, &traceSize);
  if (ret != STATUS_OK) return ret;
  if (traceSize < 0 || static_cast<size_t>(traceSize) > bytesLeft(parcel)) {
    return refuse("status trace size", STATUS_BAD_VALUE, traceSize);
  }
  parcel->position += static_cast<size_t>(traceSize);
  if (exception == EX_SERVICE_SPECIFIC) {
    int32_t code = 0;
    ret = readValue<int32_t>(parcel, &code);
    if (ret != STATUS_OK) return ret;
    *status = AStatus_fromServiceSpecificErrorWithMessage(code, message.c_str());
    return STATUS_OK;
  }
  *status = AStatus_fromExceptionCodeWithMessage(exception, message.c_str());
  return STATUS_OK;
}

binder_status_t AParcel_writeInt32(AParcel* p, int32_t v) { return writeValue(p, v); }
binder_status_t AParcel_writeUint32(AParcel* p, uint32_t v) { return writeValue(p, v); }
binder_status_t AParcel_writeInt64(AParcel* p, int64_t v) { return writeValue(p, v); }
binder_status_t AParcel_writeUint64(AParcel* p, uint64_t v) { return writeValue(p, v); }
binder_status_t AParcel_writeFloat(AParcel* p, float v) { return writeValue(p, v); }
binder_status_t AParcel_writeDouble(AParcel* p, double v) { return writeValue(p, v); }
binder_status_t AParcel_writeBool(AParcel* p, bool v) { return writeValue<int32_t>(p, v ? 1 : 0); }
binder_status_t AParcel_writeChar(AParcel* p, char16_t v) { return writeValue<int32_t>(p, v); }
binder_status_t AParcel_writeByte(AParcel* p, int8_t v) { return writeValue<int32_t>(p, v); }
binder_status_t AParcel_readInt32(const AParcel* p, int32_t* v) { return readValue(p, v); }
binder_status_t AParcel_readUint32(const AParcel* p, uint32_t* v) { return readValue(p, v); }
binder_status_t AParcel_readInt64(const AParcel* p, int64_t* v) { return readValue(p, v); }
binder_status_t AParcel_readUint64(const AParcel* p, uint64_t* v) { return readValue(p, v); }
binder_status_t AParcel_readFloat(const AParcel* p, float* v) { return readValue(p, v); }
binder_status_t AParcel_readDouble(const AParcel* p, double* v) { return readValue(p, v); }
binder_status_t AParcel_readBool(const AParcel* p, bool* v) {
  int32_t raw = 0;
  binder_status_t status = readValue(p, &raw);
  if (status == STATUS_OK) *v = raw != 0;
  return status;
}
binder_status_t AParcel_readChar(const AParcel* p, char16_t* v) {
  int32_t raw = 0;
  binder_status_t status = readValue(p, &raw);
  if (status == STATUS_OK) *v = static_cast<char16_t>(raw);
  return status;
}
binder_status_t AParcel_readByte(const AParcel* p, int8_t* v) {
  int32_t raw = 0;
  binder_status_t status = readValue(p, &raw);
  if (status == STATUS_OK) *v = static_cast<int8_t>(raw);
  return status;
}

binder_status_t AParcel_writeInt32Array(AParcel* p, const int32_t* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeUint32Array(AParcel* p, const uint32_t* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeInt64Array(AParcel* p, const int64_t* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeUint64Array(AParcel* p, const uint64_t* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeFloatArray(AParcel* p, const float* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeDoubleArray(AParcel* p, const double* a, int32_t n) {
  return writeArray(p, a, n);
}
binder_status_t AParcel_writeCharArray(AParcel* p, const char16_t* a, int32_t n) {
  return writeArray<char16_t, int32_t>(p, a, n);
}
binder_status_t AParcel_writeBoolArray(AParcel* p, const void* arrayData, int32_t length,
                                       AParcel_boolArrayGetter getter) {
  return writeCounted(p, length, [&](size_t i) {
    return writeValue<int32_t>(p, getter(arrayData, i) ? 1 : 0);
  });
}
binder_status_t AParcel_writeByteArray(AParcel* p, const int8_t* a, int32_t n) {
  if (n < -1 || (n > 0 && a == nullptr)) return STATUS_BAD_VALUE;
  size_t start = p->position;
  binder_status_t status = writeValue<int32_t>(p, n);
  if (status == STATUS_OK && n > 0) {
    status = writeRaw(p, a, static_cast<size_t>(n), padded(static_cast<size_t>(n)));
    if (status != STATUS_OK) p->position = start;
  }
  return status;
}

binder_status_t AParcel_readInt32Array(const AParcel* p, void* d, AParcel_int32ArrayAllocator a) {
  return readArray<int32_t>(p, d, a);
}
binder_status_t AParcel_readUint32Array(const AParcel* p, void* d,
                                        AParcel_uint32ArrayAllocator a) {
  return readArray<uint32_t>(p, d, a);
}
binder_status_t AParcel_readInt64Array(const AParcel* p, void* d, AParcel_int64ArrayAllocator a) {
  return readArray<int64_t>(p, d, a);
}
binder_status_t AParcel_readUint64Array(const AParcel* p, void* d,
                                        AParcel_uint64ArrayAllocator a) {
  return readArray<uint64_t>(p, d, a);
}
binder_status_t AParcel_readFloatArray(const AParcel* p, void* d, AParcel_floatArrayAllocator a) {
  return readArray<float>(p, d, a);
}
binder_status_t AParcel_readDoubleArray(const AParcel* p, void* d,
                                        AParcel_doubleArrayAllocator a) {
  return readArray<double>(p, d, a);
}
binder_status_t AParcel_readCharArray(const AParcel* p, void* d, AParcel_charArrayAllocator a) {
  return readArray<char16_t, int32_t>(p, d, a);
}
binder_status_t AParcel_readBoolArray(const AParcel* p, void* arrayData,
                                      AParcel_boolArrayAllocator allocator,
                                      AParcel_boolArraySetter setter) {
  return readCounted(
      p, 4, [&](int32_t length) { return allocator(arrayData, length); },
      [&](size_t i) {
        int32_t raw = 0;
        binder_status_t status = readValue(p, &raw);
        if (status == STATUS_OK) setter(arrayData, i, raw != 0);
        return status;
      });
}
binder_status_t AParcel_readByteArray(const AParcel* p, void* arrayData,
                                      AParcel_byteArrayAllocator allocator) {
  size_t start = p->position;
  int32_t length = 0;
  binder_status_t status = readValue<int32_t>(p, &length);
  if (status != STATUS_OK) return status;
  if (length < -1) {
    p->position = start;
    return refuse("negative array length", STATUS_BAD_VALUE, length);
  }
  size_t bytes = length > 0 ? static_cast<size_t>(length) : 0;
  if (bytesLeft(p) < padded(bytes)) {
    p->position = start;
    return refuse("byte array longer than the data", STATUS_BAD_VALUE, length);
  }
  int8_t* buffer = nullptr;
  if (!allocator(arrayData, length, &buffer)) return STATUS_NO_MEMORY;
  if (bytes == 0) return STATUS_OK;
  if (buffer == nullptr) return STATUS_NO_MEMORY;
  return readRaw(p, buffer, bytes, padded(bytes));
}

}  // extern "C"
