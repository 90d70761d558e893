#include "cbor/cbor.h"

#include <cmath>
#include <cstring>

namespace vcbor {

const char* errorName(uint8_t error) {
  switch (error) {
    case kSuccess: return "success";
    case kBufferTooSmall: return "buffer too small";
    case kEncodeNestingTooDeep: return "encode nesting too deep";
    case kCloseMismatch: return "close mismatch";
    case kTooManyCloses: return "too many closes";
    case kStillOpen: return "container still open";
    case kContainerTooLong: return "container too long";
    case kNotWellFormed: return "not well-formed";
    case kHitEnd: return "hit end";
    case kBadBreak: return "bad break";
    case kNestingTooDeep: return "nesting too deep";
    case kContainerTooLongDecode: return "container too long";
    case kBadUtf8: return "bad UTF-8";
    case kBadChunk: return "bad string chunk";
    case kNoStringPool: return "no string pool";
    case kStringPoolFull: return "string pool full";
    case kLabelType: return "bad label type";
    case kTooManyTags: return "too many tags";
    case kBadTagContent: return "bad tag content";
    case kNoMoreItems: return "no more items";
    case kExtraBytes: return "extra bytes";
    case kUnconsumed: return "container not consumed";
    case kInputTooLarge: return "input too large";
    case kCallerError: return "caller error";
    default: return "unknown";
  }
}

bool isValidUtf8(const uint8_t* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    uint8_t c = s[i];
    if (c < 0x80) {
      i++;
      continue;
    }
    size_t len;
    uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i < len) return false;
    for (size_t k = 1; k < len; k++) {
      if ((s[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

// ---------------------------------------------------------------- encoder

void Encoder::init(void* buf, size_t size) {
  buf_ = static_cast<uint8_t*>(buf);
  size_ = buf_ != nullptr ? size : 0;
  pos_ = 0;
  error_ = kSuccess;
  depth_ = 0;
}

static size_t headSize(uint64_t arg) {
  if (arg < 24) return 1;
  if (arg <= 0xFF) return 2;
  if (arg <= 0xFFFF) return 3;
  if (arg <= 0xFFFFFFFFull) return 5;
  return 9;
}

static void writeHead(uint8_t* out, uint8_t major, uint64_t arg, size_t n) {
  uint8_t mt = static_cast<uint8_t>(major << 5);
  switch (n) {
    case 1: out[0] = static_cast<uint8_t>(mt | arg); return;
    case 2: out[0] = mt | 24; break;
    case 3: out[0] = mt | 25; break;
    case 5: out[0] = mt | 26; break;
    default: out[0] = mt | 27; break;
  }
  for (size_t k = 1; k < n; k++) out[k] = static_cast<uint8_t>(arg >> (8 * (n - 1 - k)));
}

void Encoder::head(uint8_t major, uint64_t arg) {
  if (error_ != kSuccess) return;
  size_t n = headSize(arg);
  if (size_ - pos_ < n) {
    error_ = kBufferTooSmall;
    return;
  }
  writeHead(buf_ + pos_, major, arg, n);
  pos_ += n;
}

void Encoder::addInt64(int64_t v) {
  if (v >= 0) {
    head(0, static_cast<uint64_t>(v));
  } else {
    head(1, ~static_cast<uint64_t>(v));
  }
  countItem();
}

void Encoder::addString(uint8_t major, UsefulBufC s) {
  head(major, s.len);
  if (error_ != kSuccess) return;
  if (size_ - pos_ < s.len) {
    error_ = kBufferTooSmall;
    return;
  }
  if (s.len != 0) std::memcpy(buf_ + pos_, s.ptr, s.len);
  pos_ += s.len;
  countItem();
}

void Encoder::addSimple(uint8_t v) {
  if (error_ != kSuccess) return;
  size_t n = v < 24 ? 1 : 2;
  if (size_ - pos_ < n) {
    error_ = kBufferTooSmall;
    return;
  }
  if (n == 1) {
    buf_[pos_] = static_cast<uint8_t>(0xE0 | v);
  } else {
    buf_[pos_] = 0xF8;
    buf_[pos_ + 1] = v;
  }
  pos_ += n;
  countItem();
}

// The half-precision bits of `f` when it converts without loss.
static bool floatToHalf(float f, uint16_t* out) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  uint16_t sign = static_cast<uint16_t>((bits >> 16) & 0x8000);
  uint32_t exp = (bits >> 23) & 0xFF;
  uint32_t mant = bits & 0x7FFFFF;
  if (exp == 0xFF) {  // infinities (NaN is handled by the caller)
    if (mant != 0) return false;
    *out = sign | 0x7C00;
    return true;
  }
  if (exp == 0) {
    if (mant != 0) return false;  // single subnormals are far below half's range
    *out = sign;
    return true;
  }
  int e = static_cast<int>(exp) - 127;
  if (e >= -14 && e <= 15) {
    if ((mant & 0x1FFF) != 0) return false;
    *out = static_cast<uint16_t>(sign | ((e + 15) << 10) | (mant >> 13));
    return true;
  }
  if (e >= -24 && e < -14) {
    uint32_t full = mant | 0x800000;
    int shift = -(e + 1);
    if ((full & ((1u << shift) - 1)) != 0) return false;
    *out = static_cast<uint16_t>(sign | (full >> shift));
    return true;
  }
  return false;
}

void Encoder::addDouble(double d) {
  if (error_ != kSuccess) return;
  uint8_t tmp[9];
  size_t n;
  if (std::isnan(d)) {
    tmp[0] = 0xF9;
    tmp[1] = 0x7E;
    tmp[2] = 0x00;
    n = 3;
  } else {
    float f = static_cast<float>(d);
    uint16_t half;
    if (static_cast<double>(f) == d && floatToHalf(f, &half)) {
      tmp[0] = 0xF9;
      tmp[1] = static_cast<uint8_t>(half >> 8);
      tmp[2] = static_cast<uint8_t>(half);
      n = 3;
    } else if (static_cast<double>(f) == d) {
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      writeHead(tmp, 7, bits, 5);
      n = 5;
    } else {
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      writeHead(tmp, 7, bits, 9);
      n = 9;
    }
  }
  if (size_ - pos_ < n) {
    error_ = kBufferTooSmall;
    return;
  }
  std::memcpy(buf_ + pos_, tmp, n);
  pos_ += n;
  countItem();
}

void Encoder::open(uint8_t major) {
  if (error_ != kSuccess) return;
  if (depth_ == kMaxNesting) {
    error_ = kEncodeNestingTooDeep;
    return;
  }
  // One head byte is reserved; close widens it when the count needs more.
  if (size_ - pos_ < 1) {
    error_ = kBufferTooSmall;
    return;
  }
  countItem();
  levels_[depth_++] = Level{static_cast<uint32_t>(pos_), 0, major};
  pos_ += 1;
}

void Encoder::close(uint8_t major) {
  if (error_ != kSuccess) return;
  if (depth_ == 0) {
    error_ = kTooManyCloses;
    return;
  }
  const Level& level = levels_[depth_ - 1];
  if (level.major != major || (major == 5 && (level.items & 1) != 0)) {
    error_ = kCloseMismatch;
    return;
  }
  uint64_t count = major == 5 ? level.items / 2 : level.items;
  size_t n = headSize(count);
  if (n > 1) {
    if (size_ - pos_ < n - 1) {
      error_ = kBufferTooSmall;
      return;
    }
    std::memmove(buf_ + level.start + n, buf_ + level.start + 1, pos_ - level.start - 1);
    pos_ += n - 1;
  }
  writeHead(buf_ + level.start, major, count, n);
  depth_--;
}

uint8_t Encoder::finish(size_t* encodedLength) {
  if (error_ == kSuccess && depth_ != 0) error_ = kStillOpen;
  if (error_ != kSuccess) return error_;
  if (encodedLength != nullptr) *encodedLength = pos_;
  return kSuccess;
}

// ---------------------------------------------------------------- decoder

void Decoder::init(const void* data, size_t len) {
  data_ = static_cast<const uint8_t*>(data);
  len_ = data_ != nullptr ? len : 0;
  pos_ = 0;
  error_ = len_ > (SIZE_MAX >> 1) ? kInputTooLarge : kSuccess;
  depth_ = 0;
  poolUsed_ = 0;
}

uint8_t Decoder::readHead(uint8_t* major, uint8_t* ai, uint64_t* arg) {
  if (pos_ >= len_) return kHitEnd;
  uint8_t ib = data_[pos_++];
  *major = ib >> 5;
  *ai = ib & 0x1F;
  if (*ai < 24) {
    *arg = *ai;
    return kSuccess;
  }
  if (*ai >= 28) {
    if (*ai == 31) {
      *arg = 0;
      return kSuccess;
    }
    return kNotWellFormed;
  }
  size_t n = size_t{1} << (*ai - 24);
  if (len_ - pos_ < n) return kHitEnd;
  uint64_t v = 0;
  for (size_t k = 0; k < n; k++) v = (v << 8) | data_[pos_ + k];
  pos_ += n;
  *arg = v;
  return kSuccess;
}

uint8_t Decoder::readString(uint8_t major, uint8_t ai, uint64_t arg, Item& item) {
  if (ai != 31) {
    if (arg > len_ - pos_) return kHitEnd;
    if (major == 3 && !isValidUtf8(data_ + pos_, arg)) return kBadUtf8;
    item.val.str = UsefulBufC{data_ + pos_, static_cast<size_t>(arg)};
    pos_ += arg;
    return kSuccess;
  }
  uint8_t* start = pool_ != nullptr ? pool_ + poolUsed_ : nullptr;
  size_t total = 0;
  for (;;) {
    if (pos_ >= len_) return kHitEnd;
    if (data_[pos_] == 0xFF) {
      pos_++;
      break;
    }
    uint8_t m2, ai2;
    uint64_t n;
    uint8_t e = readHead(&m2, &ai2, &n);
    if (e != kSuccess) return e;
    if (m2 != major || ai2 == 31) return kBadChunk;
    if (n > len_ - pos_) return kHitEnd;
    if (major == 3 && !isValidUtf8(data_ + pos_, n)) return kBadUtf8;
    if (pool_ == nullptr) return kNoStringPool;
    if (n > poolSize_ - poolUsed_ - total) return kStringPoolFull;
    if (n != 0) std::memcpy(start + total, data_ + pos_, n);
    total += n;
    pos_ += n;
  }
  if (pool_ == nullptr) return kNoStringPool;
  poolUsed_ += total;
  item.val.str = UsefulBufC{start, total};
  item.indefinite = true;
  return kSuccess;
}

static double halfToDouble(uint16_t h) {
  int exp = (h >> 10) & 0x1F;
  int mant = h & 0x3FF;
  double v;
  if (exp == 0) {
    v = std::ldexp(mant, -24);
  } else if (exp != 31) {
    v = std::ldexp(mant + 1024, exp - 25);
  } else {
    v = mant == 0 ? INFINITY : NAN;
  }
  return (h & 0x8000) != 0 ? -v : v;
}

uint8_t Decoder::readOne(Item& item, bool asLabel) {
  uint8_t numTags = 0;
  uint64_t tags[kMaxTags];
  uint8_t major, ai;
  uint64_t arg;
  for (;;) {
    if (pos_ >= len_) return kHitEnd;
    // Breaks that end a container were taken when the item before them was read.
    if (data_[pos_] == 0xFF) return kBadBreak;
    uint8_t e = readHead(&major, &ai, &arg);
    if (e != kSuccess) return e;
    if (major != 6) break;
    if (ai == 31) return kNotWellFormed;
    if (numTags == kMaxTags) return kTooManyTags;
    tags[numTags++] = arg;
  }
  Item tmp;
  switch (major) {
    case 0:
      if (ai == 31) return kNotWellFormed;
      tmp.type = arg <= INT64_MAX ? kTypeInt64 : kTypeUint64;
      tmp.val.u64 = arg;
      break;
    case 1:
      if (ai == 31) return kNotWellFormed;
      if (arg <= INT64_MAX) {
        tmp.type = kTypeInt64;
        tmp.val.i64 = -1 - static_cast<int64_t>(arg);
      } else {
        tmp.type = kTypeNegInt65;
        tmp.val.u64 = arg;
      }
      break;
    case 2:
    case 3: {
      uint8_t e = readString(major, ai, arg, tmp);
      if (e != kSuccess) return e;
      tmp.type = major == 2 ? kTypeBytes : kTypeText;
      break;
    }
    case 4:
    case 5:
      tmp.type = major == 4 ? kTypeArray : kTypeMap;
      if (ai == 31) {
        tmp.indefinite = true;
        tmp.count = kIndefiniteCount;
      } else {
        if (arg >= kIndefiniteCount) return kContainerTooLongDecode;
        tmp.count = static_cast<uint32_t>(arg);
      }
      break;
    default:  // 7
      if (ai < 20) {
        tmp.type = kTypeSimple;
        tmp.val.simple = ai;
      } else if (ai < 24) {
        tmp.type = static_cast<uint8_t>(kTypeFalse + (ai - 20));
      } else if (ai == 24) {
        if (arg < 32) return kNotWellFormed;
        tmp.type = kTypeSimple;
        tmp.val.simple = static_cast<uint8_t>(arg);
      } else {
        tmp.type = kTypeDouble;
        if (ai == 25) {
          tmp.val.d = halfToDouble(static_cast<uint16_t>(arg));
        } else if (ai == 26) {
          uint32_t bits = static_cast<uint32_t>(arg);
          float f;
          std::memcpy(&f, &bits, 4);
          tmp.val.d = f;
        } else {
          std::memcpy(&tmp.val.d, &arg, 8);
        }
      }
      break;
  }
  if (numTags != 0) {
    // Only the innermost tag describes the content; the standard ones are checked.
    uint64_t t = tags[numTags - 1];
    bool ok = true;
    if (t == 0) ok = tmp.type == kTypeText;
    if (t == 1) {
      ok = tmp.type == kTypeInt64 || tmp.type == kTypeUint64 || tmp.type == kTypeNegInt65 ||
           tmp.type == kTypeDouble;
    }
    if (t == 2 || t == 3) ok = tmp.type == kTypeBytes;
    if (!ok) return kBadTagContent;
  }
  if (asLabel) {
    if (numTags != 0) return kLabelType;
    switch (tmp.type) {
      case kTypeInt64:
      case kTypeUint64:
        item.label.u64 = tmp.val.u64;
        break;
      case kTypeText:
      case kTypeBytes:
        item.label.str = tmp.val.str;
        break;
      default:
        return kLabelType;
    }
    item.labelType = tmp.type;
    return kSuccess;
  }
  item.type = tmp.type;
  item.val = tmp.val;
  item.count = tmp.count;
  item.indefinite = tmp.indefinite;
  item.numTags = numTags;
  for (uint8_t k = 0; k < numTags; k++) item.tags[k] = tags[k];
  return kSuccess;
}

void Decoder::ascend() {
  while (depth_ > 0) {
    Level& top = levels_[depth_ - 1];
    if (!top.indefinite) {
      if (top.remaining != 0) return;
    } else {
      if (pos_ >= len_ || data_[pos_] != 0xFF) return;
      pos_++;
    }
    depth_--;
  }
}

uint8_t Decoder::getNext(Item& item) {
  item = Item{};
  if (error_ != kSuccess) return error_;
  if (depth_ == 0 && pos_ >= len_) return kNoMoreItems;
  item.nestingLevel = static_cast<uint8_t>(depth_);
  Level* parent = depth_ > 0 ? &levels_[depth_ - 1] : nullptr;
  if (parent != nullptr && parent->map) {
    uint8_t e = readOne(item, true);
    if (e != kSuccess) return fail(e);
  }
  uint8_t e = readOne(item, false);
  if (e != kSuccess) return fail(e);
  if (parent != nullptr && !parent->indefinite) parent->remaining--;
  if (item.type == kTypeArray || item.type == kTypeMap) {
    if (depth_ == kMaxNesting) return fail(kNestingTooDeep);
    levels_[depth_++] = Level{item.count, item.indefinite, item.type == kTypeMap};
  }
  ascend();
  item.nextNestLevel = static_cast<uint8_t>(depth_);
  return kSuccess;
}

uint8_t Decoder::skipNext() {
  Item item;
  uint8_t e = getNext(item);
  if (e != kSuccess) return e;
  const uint8_t level = item.nestingLevel;
  while (item.nextNestLevel > level) {
    e = getNext(item);
    if (e != kSuccess) return e;
  }
  return kSuccess;
}

uint8_t Decoder::finish() {
  if (error_ != kSuccess) return error_;
  if (depth_ != 0) return fail(kUnconsumed);
  if (pos_ != len_) return fail(kExtraBytes);
  return kSuccess;
}

}  // namespace vcbor
