#include "CborPrimitives.h"

#include <cstring>

namespace {

using vcbor::Item;

enum class LabelKind { kNone, kInteger, kText };

// Error codes of one getter family in its plain form: a decoder failure and a value that
// is not accepted.
struct Codes {
  bool decoderCodeWhenPlain;  // plain form reports the decoder's own code (else 1)
  int32_t badValuePlain;      // plain form's code for a value not accepted
};

bool integerLabelMatches(const Item& item, uint64_t label) {
  return (item.labelType == vcbor::kTypeInt64 || item.labelType == vcbor::kTypeUint64) &&
         item.label.u64 == label;
}

// Reads the next item, checks its label, and hands it to `accept`, which stores the value
// and says whether it was acceptable. Sets the reader's error as the forms require.
template <typename Accept>
void get(CborReader* r, LabelKind kind, uint64_t intLabel, const char* textLabel, Codes codes,
         Accept accept) {
  if (r == nullptr || r->error != 0) return;
  Item item;
  uint8_t e = r->ctx->getNext(item);
  if (e != vcbor::kSuccess) {
    r->error = (kind == LabelKind::kNone && !codes.decoderCodeWhenPlain) ? 1 : e;
    return;
  }
  if (kind == LabelKind::kInteger && !integerLabelMatches(item, intLabel)) {
    r->error = 1;
    return;
  }
  if (kind == LabelKind::kText) {
    if (item.labelType != vcbor::kTypeText) {
      r->error = 1;
      return;
    }
    size_t len = std::strlen(textLabel);
    if (item.label.str.len != len) {
      r->error = 1;
      return;
    }
    int cmp = std::memcmp(item.label.str.ptr, textLabel, len);
    if (cmp != 0) {
      r->error = cmp;
      return;
    }
  }
  if (!accept(item)) r->error = kind == LabelKind::kNone ? codes.badValuePlain : -1;
}

bool enter(CborReader* r, uint8_t type, bool labelled, uint64_t label) {
  if (r == nullptr || r->error != 0) return false;
  uint8_t e = r->ctx->getNext(r->item);
  if (e != vcbor::kSuccess || r->item.type != type || (labelled && !integerLabelMatches(r->item, label))) {
    r->error = -1;
    return false;
  }
  return true;
}

constexpr Codes kLooseCodes{false, 1};   // bool, uint64, int64, bytes
constexpr Codes kStrictCodes{true, -1};  // uint32, int32, uint8

auto boolValue(uint8_t* out) {
  return [out](const Item& it) {
    if (it.type != vcbor::kTypeTrue && it.type != vcbor::kTypeFalse) return false;
    *out = it.type == vcbor::kTypeTrue ? 1 : 0;
    return true;
  };
}
auto uint64Value(uint64_t* out) {
  return [out](const Item& it) {
    if (it.type != vcbor::kTypeInt64 && it.type != vcbor::kTypeUint64) return false;
    *out = it.val.u64;
    return true;
  };
}
auto int64Value(int64_t* out) {
  return [out](const Item& it) {
    if (it.type != vcbor::kTypeInt64) return false;
    *out = it.val.i64;
    return true;
  };
}
auto uint32Value(uint32_t* out) {
  return [out](const Item& it) {
    if (it.type != vcbor::kTypeInt64 || it.val.i64 < 0 || it.val.i64 > INT64_C(0xFFFFFFFF)) return false;
    *out = static_cast<uint32_t>(it.val.i64);
    return true;
  };
}
auto int32Value(int32_t* out) {
  return [out](const Item& it) {
    if (it.type != vcbor::kTypeInt64 || it.val.i64 < INT32_MIN || it.val.i64 > INT32_MAX) return false;
    *out = static_cast<int32_t>(it.val.i64);
    return true;
  };
}
auto uint8Value(uint8_t* out) {
  return [out](const Item& it) {
    if ((it.type != vcbor::kTypeInt64 && it.type != vcbor::kTypeUint64) || it.val.u64 > 255) return false;
    *out = static_cast<uint8_t>(it.val.u64);
    return true;
  };
}
auto bytesValue(uint8_t type, UsefulBufC* out) {
  return [type, out](const Item& it) {
    if (it.type != type || (type != vcbor::kTypeBytes && type != vcbor::kTypeText)) return false;
    *out = it.val.str;
    return true;
  };
}

}  // namespace

bool CR_ARRAY_ENTER(CborReader* r) { return enter(r, vcbor::kTypeArray, false, 0); }
bool CR_ARRAY_LABEL_ENTER(CborReader* r, uint64_t label) { return enter(r, vcbor::kTypeArray, true, label); }
bool CR_MAP_ENTER(CborReader* r) { return enter(r, vcbor::kTypeMap, false, 0); }
bool CR_MAP_LABEL_ENTER(CborReader* r, uint64_t label) { return enter(r, vcbor::kTypeMap, true, label); }

#define CR_FAMILY(Name, OutT, codes, make)                                                        \
  void CRGet##Name(CborReader* r, OutT* out) { get(r, LabelKind::kNone, 0, nullptr, codes, make(out)); } \
  void CRGet##Name##FromMapWithUint64Label(CborReader* r, uint64_t label, OutT* out) {             \
    get(r, LabelKind::kInteger, label, nullptr, codes, make(out));                                 \
  }                                                                                                \
  void CRGet##Name##FromMapWithStringLabel(CborReader* r, const char* label, OutT* out) {          \
    get(r, LabelKind::kText, 0, label, codes, make(out));                                          \
  }

CR_FAMILY(Bool, uint8_t, kLooseCodes, boolValue)
CR_FAMILY(Uint64, uint64_t, kLooseCodes, uint64Value)
CR_FAMILY(Int64, int64_t, kLooseCodes, int64Value)
CR_FAMILY(Uint32, uint32_t, kStrictCodes, uint32Value)
CR_FAMILY(Int32, int32_t, kStrictCodes, int32Value)
CR_FAMILY(Uint8, uint8_t, kStrictCodes, uint8Value)
#undef CR_FAMILY

void CRGetBytesOrString(CborReader* r, uint8_t type, UsefulBufC* out) {
  get(r, LabelKind::kNone, 0, nullptr, kLooseCodes, bytesValue(type, out));
}
void CRGetBytesOrStringFromMapWithUint64Label(CborReader* r, uint64_t label, uint8_t type, UsefulBufC* out) {
  get(r, LabelKind::kInteger, label, nullptr, kLooseCodes, bytesValue(type, out));
}
void CRGetBytesOrStringFromMapWithStringLabel(CborReader* r, const char* label, uint8_t type, UsefulBufC* out) {
  get(r, LabelKind::kText, 0, label, kLooseCodes, bytesValue(type, out));
}

bool CW_ARRAY_ENTER(vcbor::Encoder* enc) {
  enc->openArray();
  return true;
}
bool CW_ARRAY_LABEL_ENTER(vcbor::Encoder* enc, int64_t label) {
  enc->openArrayInMapN(label);
  return true;
}
bool CW_MAP_ENTER(vcbor::Encoder* enc) {
  enc->openMap();
  return true;
}
bool CW_MAP_LABEL_ENTER(vcbor::Encoder* enc, int64_t label) {
  enc->openMapInMapN(label);
  return true;
}
