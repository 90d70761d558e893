#define LOG_TAG "android.hardware.security.keymint-secproc-impl"

#include "KeyMintConversions.h"

#include <log/log.h>

#include <cstdlib>
#include <cstring>

namespace aidl::android::hardware::security::keymint::km_utils {

namespace {

using V = KeyParameterValue;

constexpr uint32_t kTypeMask = 0xF0000000;

uint32_t typeOf(uint32_t tag) { return tag >> 28; }

// The enumerated tags that convert, with the union member that carries each.
struct EnumTag {
  uint32_t tag;
  V::Tag member;
};
constexpr EnumTag kEnumTags[] = {
    {0x10000002, V::algorithm},  {0x1000000A, V::ecCurve},     {0x100001F8, V::hardwareAuthenticatorType},
    {0x100002BE, V::origin},     {0x20000001, V::keyPurpose},  {0x20000004, V::blockMode},
    {0x20000005, V::digest},     {0x20000006, V::paddingMode}, {0x200000CB, V::digest},
};

const EnumTag* findEnum(uint32_t tag) {
  for (const EnumTag& e : kEnumTags) {
    if (e.tag == tag) return &e;
  }
  return nullptr;
}

KeyParameter invalidParam() {
  KeyParameter p;
  p.tag = Tag::INVALID;
  p.value = V::make<V::boolValue>(false);
  return p;
}

template <V::Tag T>
V enumValue(uint32_t raw) {
  return V::make<T>(static_cast<V::Type<T>>(static_cast<int32_t>(raw)));
}

V enumMember(V::Tag member, uint32_t raw) {
  switch (member) {
    case V::algorithm:
      return enumValue<V::algorithm>(raw);
    case V::ecCurve:
      return enumValue<V::ecCurve>(raw);
    case V::hardwareAuthenticatorType:
      return enumValue<V::hardwareAuthenticatorType>(raw);
    case V::origin:
      return enumValue<V::origin>(raw);
    case V::keyPurpose:
      return enumValue<V::keyPurpose>(raw);
    case V::blockMode:
      return enumValue<V::blockMode>(raw);
    case V::digest:
      return enumValue<V::digest>(raw);
    case V::paddingMode:
      return enumValue<V::paddingMode>(raw);
    default:
      return V::make<V::boolValue>(false);
  }
}

// The 32-bit value of an enumeration member, when the value holds `member`.
bool enumRaw(const V& v, V::Tag member, uint32_t* raw) {
  if (v.getTag() != member) return false;
  switch (member) {
    case V::algorithm:
      *raw = static_cast<uint32_t>(v.get<V::algorithm>());
      return true;
    case V::ecCurve:
      *raw = static_cast<uint32_t>(v.get<V::ecCurve>());
      return true;
    case V::hardwareAuthenticatorType:
      *raw = static_cast<uint32_t>(v.get<V::hardwareAuthenticatorType>());
      return true;
    case V::origin:
      *raw = static_cast<uint32_t>(v.get<V::origin>());
      return true;
    case V::keyPurpose:
      *raw = static_cast<uint32_t>(v.get<V::keyPurpose>());
      return true;
    case V::blockMode:
      *raw = static_cast<uint32_t>(v.get<V::blockMode>());
      return true;
    case V::digest:
      *raw = static_cast<uint32_t>(v.get<V::digest>());
      return true;
    case V::paddingMode:
      *raw = static_cast<uint32_t>(v.get<V::paddingMode>());
      return true;
    default:
      return false;
  }
}

void putLE64(uint8_t* p, uint64_t v) {
  for (int k = 0; k < 8; k++) p[k] = static_cast<uint8_t>(v >> (8 * k));
}
void putBE(uint8_t* p, uint64_t v, int n) {
  for (int k = 0; k < n; k++) p[k] = static_cast<uint8_t>(v >> (8 * (n - 1 - k)));
}

}  // namespace

std::vector<uint8_t> authToken2AidlVec(const std::optional<HardwareAuthToken>& token) {
  // A MAC of any other length cannot be an HMAC-SHA256 over the token: cutting a longer
  // one to fit would hand the secure processor a forged-looking token.
  if (!token || token->mac.size() != static_cast<size_t>(32)) return {};
  std::vector<uint8_t> out(69, 0);
  out[0] = 0;
  putLE64(&out[1], static_cast<uint64_t>(token->challenge));
  putLE64(&out[9], static_cast<uint64_t>(token->userId));
  putLE64(&out[17], static_cast<uint64_t>(token->authenticatorId));
  putBE(&out[25], static_cast<uint32_t>(token->authenticatorType), 4);
  putBE(&out[29], static_cast<uint64_t>(token->timestamp.milliSeconds), 8);
  std::memcpy(&out[37], token->mac.data(), 32);
  return out;
}

KeyParameter kmParam2Aidl(const keymaster_key_param_t& param) {
  const auto tag = static_cast<uint32_t>(param.tag);
  KeyParameter p;
  p.tag = static_cast<Tag>(static_cast<int32_t>(tag));
  switch (typeOf(tag)) {
    case 1:
    case 2: {
      const EnumTag* e = findEnum(tag);
      if (e == nullptr) {
        ALOGE("kmEnumParam2Aidl INVALID: %d", static_cast<int32_t>(tag));
        return invalidParam();
      }
      p.value = enumMember(e->member, param.enumerated);
      return p;
    }
    case 3:
    case 4:
      p.value = V::make<V::integer>(static_cast<int32_t>(param.integer));
      return p;
    case 5:
    case 10:
      p.value = V::make<V::longInteger>(static_cast<int64_t>(param.long_integer));
      return p;
    case 6:
      p.value = V::make<V::dateTime>(static_cast<int64_t>(param.date_time));
      return p;
    case 7:
      p.value = V::make<V::boolValue>(param.boolean);
      return p;
    case 8:
    case 9:
      p.value = V::make<V::blob>(kmBlob2AidlVec(param.blob));
      return p;
    default:
      ALOGE("INVALID KeyParameter case: %d", static_cast<int32_t>(tag & kTypeMask));
      return invalidParam();
  }
}

std::vector<KeyParameter> kmParamSet2Aidl(const keymaster_key_param_set_t& set) {
  std::vector<KeyParameter> out;
  if (set.params == nullptr || set.length == 0) return out;
  out.reserve(set.length);
  for (size_t k = 0; k < set.length; k++) out.push_back(kmParam2Aidl(set.params[k]));
  return out;
}

namespace {

void toKm(const KeyParameter& in, keymaster_key_param_t* out) {
  *out = keymaster_key_param_t{};
  const auto tag = static_cast<uint32_t>(in.tag);
  const V& v = in.value;
  switch (typeOf(tag)) {
    case 1:
    case 2: {
      const EnumTag* e = findEnum(tag);
      if (e == nullptr) {
        ALOGE("aidlEnumParam2Km INVALID: %d", static_cast<int32_t>(tag));
        out->tag = static_cast<keymaster_tag_t>(tag);
        return;
      }
      uint32_t raw = 0;
      if (enumRaw(v, e->member, &raw)) {
        out->tag = static_cast<keymaster_tag_t>(tag);
        out->enumerated = raw;
      }
      return;
    }
    case 3:
    case 4:
      if (v.getTag() == V::integer) {
        out->tag = static_cast<keymaster_tag_t>(tag);
        out->integer = static_cast<uint32_t>(v.get<V::integer>());
      }
      return;
    case 5:
    case 10:
      if (v.getTag() == V::longInteger) {
        out->tag = static_cast<keymaster_tag_t>(tag);
        out->long_integer = static_cast<uint64_t>(v.get<V::longInteger>());
      }
      return;
    case 6:
      if (v.getTag() == V::dateTime) {
        out->tag = static_cast<keymaster_tag_t>(tag);
        out->date_time = static_cast<uint64_t>(v.get<V::dateTime>());
      }
      return;
    case 7:
      // The presence of a boolean tag is its value.
      out->tag = static_cast<keymaster_tag_t>(tag);
      out->boolean = true;
      return;
    case 8:
    case 9: {
      if (v.getTag() != V::blob) return;
      const std::vector<uint8_t>& bytes = v.get<V::blob>();
      if (bytes.empty()) {
        out->tag = static_cast<keymaster_tag_t>(tag);
        return;
      }
      auto* copy = static_cast<uint8_t*>(std::malloc(bytes.size()));
      if (copy == nullptr) {
        ALOGE("FAILED MALLOC: KM_BYTES");
        return;
      }
      std::memcpy(copy, bytes.data(), bytes.size());
      out->tag = static_cast<keymaster_tag_t>(tag);
      out->blob = {copy, bytes.size()};
      return;
    }
    default:
      ALOGE("aidlKeyParams2Km INVALID: %d", static_cast<int32_t>(tag & kTypeMask));
      return;
  }
}

}  // namespace

keymaster_key_param_set_t aidlKeyParams2Km(const std::vector<KeyParameter>& params) {
  if (params.empty()) return {nullptr, 0};
  auto* out = static_cast<keymaster_key_param_t*>(std::malloc(params.size() * sizeof(keymaster_key_param_t)));
  if (out == nullptr) {
    ALOGE("FAILED MALLOC: set.params length: %d", static_cast<int>(params.size()));
    return {nullptr, 0};
  }
  for (size_t k = 0; k < params.size(); k++) toKm(params[k], &out[k]);
  return {out, params.size()};
}

bool KmParamSet::appendBytes(keymaster_tag_t tag, const std::vector<uint8_t>& value) {
  auto* copy = static_cast<uint8_t*>(std::malloc(value.empty() ? 1 : value.size()));
  if (copy == nullptr) return false;
  if (!value.empty()) std::memcpy(copy, value.data(), value.size());
  auto* grown = static_cast<keymaster_key_param_t*>(
      std::realloc(set_.params, (set_.length + 1) * sizeof(keymaster_key_param_t)));
  if (grown == nullptr) {
    std::free(copy);
    return false;
  }
  set_.params = grown;
  keymaster_key_param_t& p = set_.params[set_.length++];
  p = keymaster_key_param_t{};
  p.tag = tag;
  p.blob = {copy, value.size()};
  return true;
}

}  // namespace aidl::android::hardware::security::keymint::km_utils
