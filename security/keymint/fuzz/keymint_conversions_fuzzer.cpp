// The conversions between interface key parameters and KeyMaster parameter lists on an
// arbitrary list, both ways, and the auth-token string. Each record of the input: a tag
// (int32, little-endian), a value member (one byte), then the member's value: one byte for
// a boolean, eight for 64-bit members, a length byte and that many bytes for a blob, four
// for the rest.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "KeyMintConversions.h"

namespace {

namespace km = ::aidl::android::hardware::security::keymint;
using V = km::KeyParameterValue;

struct Reader {
  const uint8_t* p;
  size_t n;
  bool take(void* out, size_t len) {
    if (n < len) return false;
    if (len == 0) return true;
    std::memcpy(out, p, len);
    p += len;
    n -= len;
    return true;
  }
};

bool readParam(Reader& r, km::KeyParameter* out) {
  int32_t tag;
  uint8_t member;
  if (!r.take(&tag, 4) || !r.take(&member, 1)) return false;
  out->tag = static_cast<km::Tag>(tag);
  int32_t i32 = 0;
  int64_t i64 = 0;
  uint8_t b = 0;
  switch (member % 15) {
    case 10:
      if (!r.take(&b, 1)) return false;
      out->value = V::make<V::boolValue>(b != 0);
      return true;
    case 12:
    case 13:
      if (!r.take(&i64, 8)) return false;
      out->value = member % 15 == 12 ? V::make<V::longInteger>(i64) : V::make<V::dateTime>(i64);
      return true;
    case 14: {
      if (!r.take(&b, 1)) return false;
      std::vector<uint8_t> blob(b);
      if (!r.take(blob.data(), blob.size())) return false;
      out->value = V::make<V::blob>(std::move(blob));
      return true;
    }
    default:
      if (!r.take(&i32, 4)) return false;
      switch (member % 15) {
        case 0: out->value = V::make<V::invalid>(i32); break;
        case 1: out->value = V::make<V::algorithm>(static_cast<km::Algorithm>(i32)); break;
        case 2: out->value = V::make<V::blockMode>(static_cast<km::BlockMode>(i32)); break;
        case 3: out->value = V::make<V::paddingMode>(static_cast<km::PaddingMode>(i32)); break;
        case 4: out->value = V::make<V::digest>(static_cast<km::Digest>(i32)); break;
        case 5: out->value = V::make<V::ecCurve>(static_cast<km::EcCurve>(i32)); break;
        case 6: out->value = V::make<V::origin>(static_cast<km::KeyOrigin>(i32)); break;
        case 7: out->value = V::make<V::keyPurpose>(static_cast<km::KeyPurpose>(i32)); break;
        case 8:
          out->value = V::make<V::hardwareAuthenticatorType>(static_cast<km::HardwareAuthenticatorType>(i32));
          break;
        case 9: out->value = V::make<V::securityLevel>(static_cast<km::SecurityLevel>(i32)); break;
        default: out->value = V::make<V::integer>(i32); break;
      }
      return true;
  }
}

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace km::km_utils;
  Reader r{data, size};
  std::vector<km::KeyParameter> params;
  km::KeyParameter p;
  while (params.size() < 64 && readParam(r, &p)) params.push_back(p);

  KmParamSet set(aidlKeyParams2Km(params));
  check(set.size() == params.size());
  std::vector<km::KeyParameter> back = kmParamSet2Aidl(*set);
  check(back.size() == params.size());
  for (size_t k = 0; k < back.size(); k++) {
    // A parameter either keeps its tag or comes back invalid; a bytes value is copied whole.
    check(back[k].tag == params[k].tag || back[k].tag == km::Tag::INVALID);
    if (back[k].tag != km::Tag::INVALID && back[k].value.getTag() == V::blob &&
        params[k].value.getTag() == V::blob) {
      check(back[k].value.get<V::blob>() == params[k].value.get<V::blob>());
    }
  }
  // What survived one round converts to itself.
  KmParamSet again(aidlKeyParams2Km(back));
  std::vector<km::KeyParameter> twice = kmParamSet2Aidl(*again);
  for (size_t k = 0; k < twice.size(); k++) {
    if (back[k].tag != km::Tag::INVALID) check(twice[k] == back[k]);
  }

  // The rest of the input as an auth token.
  km::HardwareAuthToken token;
  uint8_t macLength = 0;
  if (r.take(&token.challenge, 8) && r.take(&macLength, 1)) {
    token.mac.assign(macLength, 0x5A);
    std::vector<uint8_t> s = authToken2AidlVec(token);
    check(s.empty() == (macLength != 32));
    check(s.empty() || s.size() == 69);
  }
  return 0;
}
