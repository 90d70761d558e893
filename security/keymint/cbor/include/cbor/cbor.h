#pragma once
// The system's one CBOR library: an encoder that writes in place into the caller's buffer
// (nested arrays and maps, integer and text labels) and a pull decoder that hands out one
// item at a time with its label and nesting levels. Both keep the first error and ignore
// every later call (sticky error), so a caller may write or read a whole message and look
// at the result once. The decoder's whole state is a plain value: copy it to look ahead,
// assign it back to re-read.
#include <cstddef>
#include <cstdint>
#include <cstring>

// A read-only byte range; items hand out ranges that point into the message.
struct UsefulBufC {
  const void* ptr;
  size_t len;
};

namespace vcbor {

// Error codes. 0 is success; encoder codes are below 10, decoder codes from 10 on.
enum Error : uint8_t {
  kSuccess = 0,
  kBufferTooSmall = 1,        // encode: the output does not fit
  kEncodeNestingTooDeep = 2,  // encode: more open containers than kMaxNesting
  kCloseMismatch = 3,         // encode: closing an array as a map or the other way round
  kTooManyCloses = 4,         // encode: close with nothing open
  kStillOpen = 5,             // encode: finish with containers left open
  kContainerTooLong = 6,      // encode: more entries than a container may count
  kNotWellFormed = 10,        // decode: reserved additional information, bad simple value
  kHitEnd = 11,               // decode: the input ends inside an item or a container
  kBadBreak = 12,             // decode: a break outside an indefinite-length container
  kNestingTooDeep = 13,       // decode: deeper than kMaxNesting
  kContainerTooLongDecode = 14,  // decode: a container announces more entries than supported
  kBadUtf8 = 15,              // decode: a text string that is not UTF-8
  kBadChunk = 16,             // decode: an indefinite string holding something else than chunks
  kNoStringPool = 17,         // decode: an indefinite string without a pool to join it in
  kStringPoolFull = 18,       // decode: the pool cannot hold the joined string
  kLabelType = 19,            // decode: a map label that is not an integer or a string
  kTooManyTags = 20,          // decode: more tags on one item than kMaxTags
  kBadTagContent = 21,        // decode: a standard tag on content it does not allow
  kNoMoreItems = 22,          // decode: next item asked for after the end of the message
  kExtraBytes = 23,           // decode finish: bytes left after the last top-level item
  kUnconsumed = 24,           // decode finish: a container not read to its end
  kInputTooLarge = 25,        // decode: input longer than the decoder can index
  kCallerError = 255,         // set by a caller through setError
};

const char* errorName(uint8_t error);

// Item types. The integer, container, string and bool numbers are fixed (callers compare
// against them as plain numbers).
enum Type : uint8_t {
  kTypeNone = 0,
  kTypeInt64 = 2,       // any integer that fits int64_t
  kTypeUint64 = 3,      // only for values above INT64_MAX
  kTypeArray = 4,
  kTypeMap = 5,
  kTypeBytes = 6,
  kTypeText = 7,
  kTypeSimple = 13,     // unassigned simple value (val.simple)
  kTypeFalse = 20,
  kTypeTrue = 21,
  kTypeNull = 22,
  kTypeUndefined = 23,
  kTypeDouble = 27,     // half, single and double precision all decode to double
  kTypeNegInt65 = 28,   // below INT64_MIN: the value is -1 - val.u64
};

inline constexpr int kMaxNesting = 16;
inline constexpr int kMaxTags = 4;
inline constexpr uint32_t kIndefiniteCount = UINT32_MAX;

struct Item {
  uint8_t type = kTypeNone;
  uint8_t labelType = kTypeNone;  // kTypeNone, kTypeInt64, kTypeUint64, kTypeText, kTypeBytes
  uint8_t nestingLevel = 0;       // 0 for a top-level item, 1 inside one container, ...
  uint8_t nextNestLevel = 0;      // level of the item after this one (lower: containers ended)
  bool indefinite = false;        // the container or string was indefinite-length
  uint8_t numTags = 0;
  uint32_t count = 0;             // entries of an array or map (pairs); kIndefiniteCount
  uint64_t tags[kMaxTags] = {};   // outermost first
  union {
    int64_t i64;
    uint64_t u64;
    double d;
    UsefulBufC str;
    uint8_t simple;
  } val{};
  union {
    int64_t i64;
    uint64_t u64;
    UsefulBufC str;
  } label{};
};

class Encoder {
 public:
  Encoder() = default;
  Encoder(void* buf, size_t size) { init(buf, size); }
  void init(void* buf, size_t size);

  void addUInt64(uint64_t v) { head(0, v); countItem(); }
  void addInt64(int64_t v);
  // The integer -1 - n (the 65-bit negative range included).
  void addNegative(uint64_t n) { head(1, n); countItem(); }
  void addBytes(UsefulBufC b) { addString(2, b); }
  void addBytes(const void* p, size_t n) { addString(2, UsefulBufC{p, n}); }
  void addText(UsefulBufC t) { addString(3, t); }
  void addText(const char* sz) { addString(3, UsefulBufC{sz, std::strlen(sz)}); }
  void addBool(bool b) { addSimple(b ? 21 : 20); }
  void addNull() { addSimple(22); }
  void addUndefined() { addSimple(23); }
  void addSimple(uint8_t v);
  // Written in the shortest of half, single and double precision that keeps the value.
  void addDouble(double d);
  // A tag for the next item.
  void addTag(uint64_t tag) { head(6, tag); }

  void openArray() { open(4); }
  void openMap() { open(5); }
  void closeArray() { close(4); }
  void closeMap() { close(5); }

  // Map entries with an integer label (QCBOR's "InMapN" forms).
  void addUInt64ToMapN(int64_t label, uint64_t v) { addInt64Label(label); addUInt64(v); }
  void addInt64ToMapN(int64_t label, int64_t v) { addInt64Label(label); addInt64(v); }
  void addBytesToMapN(int64_t label, UsefulBufC b) { addInt64Label(label); addBytes(b); }
  void addTextToMapN(int64_t label, UsefulBufC t) { addInt64Label(label); addText(t); }
  void addBoolToMapN(int64_t label, bool b) { addInt64Label(label); addBool(b); }
  void openArrayInMapN(int64_t label) { addInt64Label(label); openArray(); }
  void openMapInMapN(int64_t label) { addInt64Label(label); openMap(); }
  // Map entries with a text label.
  void addUInt64ToMapSZ(const char* label, uint64_t v) { addTextLabel(label); addUInt64(v); }
  void openArrayInMapSZ(const char* label) { addTextLabel(label); openArray(); }
  void openMapInMapSZ(const char* label) { addTextLabel(label); openMap(); }

  // Marks the encoding failed with a caller's code (kept only if no error is set yet).
  void setError(uint8_t code) {
    if (error_ == kSuccess) error_ = code;
  }
  uint8_t error() const { return error_; }
  size_t size() const { return pos_; }
  // The number of bytes written, or the first error (containers left open are one).
  uint8_t finish(size_t* encodedLength);

 private:
  struct Level {
    uint32_t start;  // offset of the reserved head byte
    uint32_t items;  // items written inside (a map counts labels and values)
    uint8_t major;
  };
  void head(uint8_t major, uint64_t arg);
  void addString(uint8_t major, UsefulBufC s);
  void open(uint8_t major);
  void close(uint8_t major);
  void countItem() {
    if (depth_ > 0) levels_[depth_ - 1].items++;
  }
  void addInt64Label(int64_t label) { addInt64(label); }
  void addTextLabel(const char* label) { addText(label); }

  uint8_t* buf_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  uint8_t error_ = kSuccess;
  int depth_ = 0;
  Level levels_[kMaxNesting] = {};
};

class Decoder {
 public:
  Decoder() = default;
  Decoder(const void* data, size_t len) { init(data, len); }
  void init(const void* data, size_t len);
  // Room where indefinite-length strings are joined; without it they are refused.
  void setStringPool(void* pool, size_t size) {
    pool_ = static_cast<uint8_t*>(pool);
    poolSize_ = size;
    poolUsed_ = 0;
  }

  // The next item, or the first error so far (then `item` is cleared).
  uint8_t getNext(Item& item);
  // Reads past the next item and everything inside it.
  uint8_t skipNext();
  // kSuccess when every item was read and no byte follows; else the error.
  uint8_t finish();
  uint8_t error() const { return error_; }
  void setError(uint8_t code) {
    if (error_ == kSuccess) error_ = code;
  }
  int currentNesting() const { return depth_; }
  size_t position() const { return pos_; }

 private:
  struct Level {
    uint64_t remaining;  // items left (a map counts labels and values)
    bool indefinite;
    bool map;
  };
  uint8_t fail(uint8_t code) {
    error_ = code;
    return code;
  }
  uint8_t readHead(uint8_t* major, uint8_t* ai, uint64_t* arg);
  uint8_t readOne(Item& item, bool asLabel);
  uint8_t readString(uint8_t major, uint8_t ai, uint64_t arg, Item& item);
  void ascend();

  const uint8_t* data_ = nullptr;
  size_t len_ = 0;
  size_t pos_ = 0;
  uint8_t error_ = kSuccess;
  int depth_ = 0;
  Level levels_[kMaxNesting] = {};
  uint8_t* pool_ = nullptr;
  size_t poolSize_ = 0;
  size_t poolUsed_ = 0;
};

bool isValidUtf8(const uint8_t* s, size_t n);

}  // namespace vcbor
