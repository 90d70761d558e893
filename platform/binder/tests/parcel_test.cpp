// Parcel round trips, the byte layout of entries and the refusals of bad data.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <android/binder_auto_utils.h>
#include <android/binder_parcel.h>
#include <android/binder_parcel_utils.h>
#include <gtest/gtest.h>

namespace {

// Builds the expected bytes of a parcel independently of the code under test.
class Bytes {
 public:
  Bytes& i32(int32_t v) { return raw(&v, 4); }
  Bytes& i64(int64_t v) { return raw(&v, 8); }
  Bytes& str(const std::string& s) {
    i32(static_cast<int32_t>(s.size()));
    raw(s.data(), s.size());
    size_t withNul = s.size() + 1;
    data.insert(data.end(), ((withNul + 3) & ~size_t{3}) - s.size(), 0);
    return *this;
  }
  Bytes& raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    data.insert(data.end(), b, b + n);
    return *this;
  }
  ndk::ScopedAParcel parcel() const {
    ndk::ScopedAParcel p(AParcel_create());
    EXPECT_EQ(STATUS_OK, AParcel_unmarshal(p.get(), data.data(), data.size()));
    return p;
  }
  std::vector<uint8_t> data;
};

std::vector<uint8_t> contents(const AParcel* p) {
  std::vector<uint8_t> out(static_cast<size_t>(AParcel_getDataSize(p)));
  EXPECT_EQ(STATUS_OK, AParcel_marshal(p, out.data(), 0, out.size()));
  return out;
}

template <typename T>
void expectRoundTrip(const T& value) {
  ndk::ScopedAParcel p(AParcel_create());
  ASSERT_EQ(STATUS_OK, ndk::AParcel_writeData(p.get(), value));
  ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(p.get(), 0));
  T back{};
  ASSERT_EQ(STATUS_OK, ndk::AParcel_readData(p.get(), &back));
  EXPECT_EQ(value, back);
  EXPECT_EQ(AParcel_getDataSize(p.get()), AParcel_getDataPosition(p.get()));
}

enum class ByteEnum : int8_t { A = 0, B = 2 };
enum class IntEnum : int32_t { X = 7, Y = -3 };

TEST(ParcelTest, EveryTypeReadsBackAsWritten) {
  expectRoundTrip<int32_t>(-123456);
  expectRoundTrip<int64_t>(0x1122334455667788LL);
  expectRoundTrip<float>(0.25f);
  expectRoundTrip<double>(-1.5e300);
  expectRoundTrip<bool>(true);
  expectRoundTrip<int8_t>(-7);
  expectRoundTrip<char16_t>(u'\u00e9');
  expectRoundTrip(ByteEnum::B);
  expectRoundTrip(IntEnum::Y);
  expectRoundTrip(std::string("hello, parcel"));
  expectRoundTrip(std::string());
  expectRoundTrip(std::optional<std::string>());
  expectRoundTrip(std::vector<int32_t>{1, -2, 3});
  expectRoundTrip(std::vector<int64_t>{INT64_MIN, 0, INT64_MAX});
  expectRoundTrip(std::vector<float>{0.5f, 1.0f});
  expectRoundTrip(std::vector<double>{});
  expectRoundTrip(std::vector<bool>{true, false, true});
  expectRoundTrip(std::vector<uint8_t>{1, 2, 3, 4, 5});
  expectRoundTrip(std::vector<std::string>{"a", "", "ccc"});
  expectRoundTrip(std::vector<IntEnum>{IntEnum::X, IntEnum::Y});
  expectRoundTrip(std::optional<std::vector<uint8_t>>());
}

TEST(ParcelTest, CArraysReadBackThroughAllocators) {
  ndk::ScopedAParcel p(AParcel_create());
  const uint32_t u32[] = {1u, 0xffffffffu};
  const uint64_t u64[] = {0xfedcba9876543210ull};
  const char16_t chars[] = {u'a', u'\u4e2d'};
  ASSERT_EQ(STATUS_OK, AParcel_writeUint32Array(p.get(), u32, 2));
  ASSERT_EQ(STATUS_OK, AParcel_writeUint64Array(p.get(), u64, 1));
  ASSERT_EQ(STATUS_OK, AParcel_writeCharArray(p.get(), chars, 2));
  ASSERT_EQ(STATUS_OK, AParcel_writeInt32Array(p.get(), nullptr, -1));
  ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(p.get(), 0));

  std::vector<uint32_t> a;
  ASSERT_EQ(STATUS_OK, AParcel_readUint32Array(p.get(), &a, [](void* d, int32_t n, uint32_t** b) {
    auto* v = static_cast<std::vector<uint32_t>*>(d);
    v->resize(static_cast<size_t>(n));
    *b = v->data();
    return true;
  }));
  EXPECT_EQ((std::vector<uint32_t>{1u, 0xffffffffu}), a);
  std::vector<uint64_t> b;
  ASSERT_EQ(STATUS_OK, AParcel_readUint64Array(p.get(), &b, [](void* d, int32_t n, uint64_t** o) {
    auto* v = static_cast<std::vector<uint64_t>*>(d);
    v->resize(static_cast<size_t>(n));
    *o = v->data();
    return true;
  }));
  EXPECT_EQ(u64[0], b.at(0));
  std::u16string c;
  ASSERT_EQ(STATUS_OK, AParcel_readCharArray(p.get(), &c, [](void* d, int32_t n, char16_t** o) {
    auto* v = static_cast<std::u16string*>(d);
    v->resize(static_cast<size_t>(n));
    *o = v->data();
    return true;
  }));
  EXPECT_EQ(u"a\u4e2d", c);
  int32_t nullLength = 0;
  ASSERT_EQ(STATUS_OK, AParcel_readInt32Array(p.get(), &nullLength, [](void* d, int32_t n, int32_t**) {
    *static_cast<int32_t*>(d) = n;
    return true;
  }));
  EXPECT_EQ(-1, nullLength);
}

TEST(ParcelTest, EntriesAreLaidOutInFourByteWords) {
  ndk::ScopedAParcel p(AParcel_create());
  ASSERT_EQ(STATUS_OK, AParcel_writeInt32(p.get(), 0x01020304));
  ASSERT_EQ(STATUS_OK, AParcel_writeByte(p.get(), -2));
  ASSERT_EQ(STATUS_OK, AParcel_writeBool(p.get(), true));
  ASSERT_EQ(STATUS_OK, AParcel_writeInt64(p.get(), 5));
  ASSERT_EQ(STATUS_OK, AParcel_writeString(p.get(), "abc", 3));
  ASSERT_EQ(STATUS_OK, AParcel_writeString(p.get(), "abcd", 4));
  const int8_t bytes[] = {9, 8, 7, 6, 5};
  ASSERT_EQ(STATUS_OK, AParcel_writeByteArray(p.get(), bytes, 5));
  ASSERT_EQ(STATUS_OK, AParcel_writeString(p.get(), nullptr, -1));

  Bytes expected;
  expected.i32(0x01020304).i32(-2).i32(1).i64(5).str("abc").str("abcd").i32(5);
  expected.raw(bytes, 5).raw("\0\0\0", 3).i32(-1);
  EXPECT_EQ(expected.data, contents(p.get()));
}

// Reads of damaged data: each case is one entry whose read must be refused.
using Reader = binder_status_t (*)(const AParcel*);
binder_status_t readInt32(const AParcel* p) {
  int32_t v;
  return AParcel_readInt32(p, &v);
}
binder_status_t readInt64(const AParcel* p) {
  int64_t v;
  return AParcel_readInt64(p, &v);
}
binder_status_t readString(const AParcel* p) {
  std::string s;
  return ndk::AParcel_readData(p, &s);
}
binder_status_t readIntVector(const AParcel* p) {
  std::vector<int32_t> v;
  return ndk::AParcel_readData(p, &v);
}
binder_status_t readByteVector(const AParcel* p) {
  std::vector<uint8_t> v;
  return ndk::AParcel_readData(p, &v);
}
binder_status_t readBinder(const AParcel* p) {
  ndk::SpAIBinder b;
  binder_status_t s = ndk::AParcel_readData(p, &b);
  EXPECT_EQ(nullptr, b.get());
  return s;
}
binder_status_t readStatus(const AParcel* p) {
  ndk::ScopedAStatus s;
  binder_status_t ret = AParcel_readStatusHeader(p, s.getR());
  EXPECT_EQ(nullptr, s.get());
  return ret;
}

TEST(ParcelTest, DamagedEntriesAreRefused) {
  struct BadCase {
    const char* name;
    Bytes bytes;
    Reader read;
    binder_status_t expected;
  };
  std::vector<BadCase> cases = {
      {"int32 cut short", Bytes().raw("\1\2", 2), readInt32, STATUS_NOT_ENOUGH_DATA},
      {"int64 cut short", Bytes().i32(1), readInt64, STATUS_NOT_ENOUGH_DATA},
      {"string length past the end", Bytes().i32(100).raw("abcd", 4), readString,
       STATUS_NOT_ENOUGH_DATA},
      {"string length below -1", Bytes().i32(-5), readString, STATUS_BAD_VALUE},
      {"string without terminator", Bytes().i32(4).raw("abcdefgh", 8), readString,
       STATUS_BAD_VALUE},
      {"string with an inner NUL", Bytes().i32(3).raw("a\0c\0", 4), readString, STATUS_BAD_VALUE},
      {"int array count past the end", Bytes().i32(1000).i32(1), readIntVector, STATUS_BAD_VALUE},
      {"int array count below -1", Bytes().i32(-2), readIntVector, STATUS_BAD_VALUE},
      {"huge int array count", Bytes().i32(0x7fffffff), readIntVector, STATUS_BAD_VALUE},
      {"int array element missing", Bytes().i32(2).i32(1).raw("\1", 1), readIntVector,
       STATUS_BAD_VALUE},
      {"byte array past the end", Bytes().i32(9).raw("12345678", 8), readByteVector,
       STATUS_BAD_VALUE},
      {"binder entry without object", Bytes().i32(1).i32(0), readBinder, STATUS_BAD_TYPE},
      {"status trace size past the end", Bytes().i32(EX_SECURITY).str("m").i32(64), readStatus,
       STATUS_BAD_VALUE},
      {"service error without its code", Bytes().i32(EX_SERVICE_SPECIFIC).str("").i32(0),
       readStatus, STATUS_NOT_ENOUGH_DATA},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    ndk::ScopedAParcel p = c.bytes.parcel();
    EXPECT_EQ(c.expected, c.read(p.get()));
  }
}

TEST(ParcelTest, NullValuesForRequiredTypesAreUnexpected) {
  ndk::ScopedAParcel p = Bytes().i32(-1).i32(-1).i32(0).parcel();
  std::string s;
  EXPECT_EQ(STATUS_UNEXPECTED_NULL, ndk::AParcel_readData(p.get(), &s));
  std::vector<int32_t> v;
  EXPECT_EQ(STATUS_UNEXPECTED_NULL, ndk::AParcel_readData(p.get(), &v));
}

TEST(ParcelTest, AllocatorRefusalIsNoMemory) {
  ndk::ScopedAParcel p = Bytes().str("abc").parcel();
  EXPECT_EQ(STATUS_NO_MEMORY,
            AParcel_readString(p.get(), nullptr, [](void*, int32_t, char**) { return false; }));
}

// A parcelable with the stable framing, as interface code writes one.
struct Sample {
  int32_t result = 0;
  std::vector<uint8_t> data;
  binder_status_t writeToParcel(AParcel* p) const {
    ndk::ParcelableWriteFrame frame(p);
    if (frame.status() != STATUS_OK) return frame.status();
    binder_status_t s = ndk::AParcel_writeData(p, result);
    if (s == STATUS_OK) s = ndk::AParcel_writeData(p, data);
    return s == STATUS_OK ? frame.finish() : s;
  }
  binder_status_t readFromParcel(const AParcel* p) {
    ndk::ParcelableReadFrame frame(p);
    if (frame.status() != STATUS_OK) return frame.status();
    binder_status_t s = STATUS_OK;
    if (frame.more()) s = ndk::AParcel_readData(p, &result);
    if (s == STATUS_OK && frame.more()) s = ndk::AParcel_readData(p, &data);
    return s == STATUS_OK ? frame.finish() : s;
  }
  bool operator==(const Sample&) const = default;
};

TEST(ParcelTest, StableParcelableFramesItsFields) {
  Sample in{-9, {1, 2, 3}};
  expectRoundTrip(in);

  ndk::ScopedAParcel p(AParcel_create());
  ASSERT_EQ(STATUS_OK, in.writeToParcel(p.get()));
  // size = 4 (itself) + 4 (result) + 4 + 4 (byte array of 3, padded)
  EXPECT_EQ(Bytes().i32(16).i32(-9).i32(3).raw("\1\2\3\0", 4).data, contents(p.get()));

  // A newer writer's extra field is skipped; an older writer's missing field stays empty.
  ndk::ScopedAParcel newer = Bytes().i32(20).i32(4).i32(1).raw("\7\0\0\0", 4).i32(99).i32(55).parcel();
  Sample s;
  ASSERT_EQ(STATUS_OK, s.readFromParcel(newer.get()));
  EXPECT_EQ((Sample{4, {7}}), s);
  int32_t after = 0;
  ASSERT_EQ(STATUS_OK, AParcel_readInt32(newer.get(), &after));
  EXPECT_EQ(55, after);

  ndk::ScopedAParcel older = Bytes().i32(8).i32(6).parcel();
  Sample o;
  ASSERT_EQ(STATUS_OK, o.readFromParcel(older.get()));
  EXPECT_EQ((Sample{6, {}}), o);

  ndk::ScopedAParcel tooSmall = Bytes().i32(3).i32(6).parcel();
  EXPECT_EQ(STATUS_BAD_VALUE, Sample().readFromParcel(tooSmall.get()));
  ndk::ScopedAParcel overflowing = Bytes().i32(0).i32(0x7fffffff).i32(6).parcel();
  ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(overflowing.get(), 4));
  EXPECT_EQ(STATUS_BAD_VALUE, Sample().readFromParcel(overflowing.get()));
}

TEST(ParcelTest, ParcelablePresenceMarker) {
  ndk::ScopedAParcel p = Bytes().i32(0).i32(0).parcel();
  Sample s;
  EXPECT_EQ(STATUS_UNEXPECTED_NULL, ndk::AParcel_readData(p.get(), &s));
  std::optional<Sample> o = Sample{};
  EXPECT_EQ(STATUS_OK, ndk::AParcel_readData(p.get(), &o));
  EXPECT_FALSE(o.has_value());
}

// Each kind of status crosses a parcel with its code and message.
TEST(ParcelTest, StatusHeaderCarriesEveryKindOfStatus) {
  struct Case {
    ndk::ScopedAStatus status;
    binder_exception_t exception;
    int32_t serviceSpecific;
    const char* message;
  };
  std::vector<Case> cases;
  cases.push_back({ndk::ScopedAStatus::ok(), EX_NONE, 0, ""});
  cases.push_back({ndk::ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION),
                   EX_UNSUPPORTED_OPERATION, 0, ""});
  cases.push_back({ndk::ScopedAStatus::fromExceptionCodeWithMessage(EX_ILLEGAL_ARGUMENT, "bad"),
                   EX_ILLEGAL_ARGUMENT, 0, "bad"});
  cases.push_back({ndk::ScopedAStatus::fromServiceSpecificError(-27), EX_SERVICE_SPECIFIC, -27, ""});
  cases.push_back({ndk::ScopedAStatus::fromServiceSpecificErrorWithMessage(5, "five"),
                   EX_SERVICE_SPECIFIC, 5, "five"});
  for (auto& c : cases) {
    SCOPED_TRACE(c.status.getDescription());
    ndk::ScopedAParcel p(AParcel_create());
    ASSERT_EQ(STATUS_OK, AParcel_writeStatusHeader(p.get(), c.status.get()));
    ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(p.get(), 0));
    ndk::ScopedAStatus back;
    ASSERT_EQ(STATUS_OK, AParcel_readStatusHeader(p.get(), back.getR()));
    EXPECT_EQ(c.exception, back.getExceptionCode());
    EXPECT_EQ(c.serviceSpecific, back.getServiceSpecificError());
    EXPECT_STREQ(c.message, back.getMessage());
    EXPECT_EQ(AParcel_getDataSize(p.get()), AParcel_getDataPosition(p.get()));
  }
  // A transport failure is not parcelled: it is the transaction's own result.
  ndk::ScopedAParcel p(AParcel_create());
  EXPECT_EQ(STATUS_DEAD_OBJECT,
            AParcel_writeStatusHeader(p.get(), ndk::ScopedAStatus::fromStatus(STATUS_DEAD_OBJECT).get()));
  EXPECT_EQ(0, AParcel_getDataSize(p.get()));
}

TEST(StatusTest, CodesFollowTheStatusKind) {
  auto ss = ndk::ScopedAStatus::fromServiceSpecificErrorWithMessage(-100, "nope");
  EXPECT_FALSE(ss.isOk());
  EXPECT_EQ(EX_SERVICE_SPECIFIC, ss.getExceptionCode());
  EXPECT_EQ(-100, ss.getServiceSpecificError());
  EXPECT_EQ(STATUS_OK, ss.getStatus());
  EXPECT_EQ("Status(-8, EX_SERVICE_SPECIFIC): '-100: nope'", ss.getDescription());

  auto tf = ndk::ScopedAStatus::fromStatus(STATUS_UNKNOWN_TRANSACTION);
  EXPECT_EQ(EX_TRANSACTION_FAILED, tf.getExceptionCode());
  EXPECT_EQ(STATUS_UNKNOWN_TRANSACTION, tf.getStatus());
  EXPECT_EQ(0, tf.getServiceSpecificError());

  EXPECT_TRUE(ndk::ScopedAStatus::fromStatus(STATUS_OK).isOk());
  EXPECT_TRUE(ndk::ScopedAStatus::fromExceptionCode(EX_NONE).isOk());
  EXPECT_EQ(0, ndk::ScopedAStatus::fromExceptionCode(EX_SERVICE_SPECIFIC).getServiceSpecificError());
  EXPECT_EQ(STATUS_FAILED_TRANSACTION,
            ndk::ScopedAStatus::fromExceptionCode(EX_TRANSACTION_FAILED).getStatus());
  // An exception code the platform does not define is a failed transaction.
  EXPECT_EQ(EX_TRANSACTION_FAILED, ndk::ScopedAStatus::fromExceptionCode(-55).getExceptionCode());
  EXPECT_TRUE(ndk::ScopedAStatus().isOk());
}

}  // namespace

namespace {

TEST(ParcelTest, CountedListsThroughTheCApi) {
  ndk::ScopedAParcel p(AParcel_create());
  const char* strings[] = {"one", nullptr, ""};
  ASSERT_EQ(STATUS_OK, AParcel_writeStringArray(p.get(), strings, 3,
                                                [](const void* d, size_t i, int32_t* len) {
                                                  const char* s = static_cast<const char* const*>(d)[i];
                                                  *len = s == nullptr ? -1 : static_cast<int32_t>(strlen(s));
                                                  return s;
                                                }));
  const bool flags[] = {true, false, true};
  ASSERT_EQ(STATUS_OK, AParcel_writeBoolArray(p.get(), flags, 3, [](const void* d, size_t i) {
    return static_cast<const bool*>(d)[i];
  }));
  ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(p.get(), 0));

  std::vector<std::optional<std::string>> back;
  ASSERT_EQ(STATUS_OK,
            AParcel_readStringArray(
                p.get(), &back,
                [](void* d, int32_t n) {
                  static_cast<std::vector<std::optional<std::string>>*>(d)->resize(static_cast<size_t>(n));
                  return true;
                },
                [](void* d, size_t i, int32_t n, char** buffer) {
                  auto& slot = (*static_cast<std::vector<std::optional<std::string>>*>(d))[i];
                  if (n < 0) return true;
                  slot.emplace(static_cast<size_t>(n), '\0');
                  *buffer = slot->data();
                  return true;
                }));
  ASSERT_EQ(3u, back.size());
  EXPECT_EQ(std::string("one", 4), back[0]);  // with its terminator, as the allocator sized it
  EXPECT_FALSE(back[1].has_value());
  EXPECT_EQ(std::string(1, '\0'), back[2]);

  std::vector<bool> bools;
  ASSERT_EQ(STATUS_OK, AParcel_readBoolArray(
                           p.get(), &bools,
                           [](void* d, int32_t n) {
                             static_cast<std::vector<bool>*>(d)->resize(static_cast<size_t>(n));
                             return true;
                           },
                           [](void* d, size_t i, bool v) { (*static_cast<std::vector<bool>*>(d))[i] = v; }));
  EXPECT_EQ((std::vector<bool>{true, false, true}), bools);
  EXPECT_EQ(AParcel_getDataSize(p.get()), AParcel_getDataPosition(p.get()));
}

}  // namespace
