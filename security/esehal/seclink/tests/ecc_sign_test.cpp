// Public-key signing through the trusted service's double, and the Base64 coder. The
// signature is checked with OpenSSL against the text, as the service's peer checks it.
#include <android/binder_manager.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <platform_binder_test.h>

#include <cstring>
#include <string>
#include <vector>

#include "EccSign.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "vaultsvc_double.h"

namespace {

using vaultsvc_testing::VaultServiceDouble;
using Bytes = std::vector<uint8_t>;

std::string openSslBase64(const Bytes& in) {
  std::string out(4 * ((in.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), in.data(), static_cast<int>(in.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

Bytes openSslUnbase64(const std::string& in) {
  Bytes out(in.size());
  const int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
  if (n < 0) return {};
  size_t len = static_cast<size_t>(n);
  for (size_t i = in.size(); i > 0 && in[i - 1] == '='; i--) len--;  // EVP_DecodeBlock keeps the padding's zeros
  out.resize(len);
  return out;
}

std::string sha256Hex(const std::string& text) {
  uint8_t md[32];
  unsigned int n = 0;
  EVP_Digest(text.data(), text.size(), md, &n, EVP_sha256(), nullptr);
  std::string out;
  char two[3];
  for (uint8_t b : md) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

struct Signed {
  std::string deviceModel;
  std::string text;
  std::string sign;
};

// Splits "deviceModel=<m>&<text>&sign=<s>".
Signed split(const std::string& out) {
  Signed s;
  const size_t amp = out.find('&');
  const size_t sign = out.rfind("&sign=");
  if (out.rfind("deviceModel=", 0) != 0 || amp == std::string::npos || sign == std::string::npos || sign < amp) {
    ADD_FAILURE() << "not a signed text: " << out;
    return s;
  }
  s.deviceModel = out.substr(12, amp - 12);
  s.text = out.substr(amp + 1, sign - amp - 1);
  s.sign = out.substr(sign + 6);
  return s;
}

orvpay_ecc_pubkey_t testKey() {
  orvpay_ecc_pubkey_t key;
  std::memset(key.reserved, 0xEE, sizeof key.reserved);
  for (int i = 0; i < 32; i++) {
    key.x[i] = static_cast<uint8_t>(0xF0 + i);
    key.y[i] = static_cast<uint8_t>(3 * i);
  }
  return key;
}

class EccSign : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    plat_properties_reset();
    gRERoririz.reset();
    service = ::ndk::SharedRefBase::make<VaultServiceDouble>();
  }
  void TearDown() override {
    gRERoririz.reset();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    plat_properties_reset();
  }
  void registerService() {
    ASSERT_EQ(AServiceManager_addService(service->asBinder().get(), vaultsvc_testing::vaultServiceInstance().c_str()),
              EX_NONE);
  }
  // Signs into a heap buffer of exactly the documented capacity, so that an overrun shows.
  int sign(std::string* out, const orvpay_ecc_pubkey_t& key = testKey()) {
    std::vector<char> buffer(kEccSignOutMax, 'X');
    const int r = ecc_sign_pubkey_cplc(&key, buffer.data());
    *out = std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
    EXPECT_LT(out->size(), buffer.size()) << "no terminating zero";
    return r;
  }
  Bytes signedDer(const std::string& hexSignature) {
    service->setSignatureText(hexSignature);
    std::string out;
    EXPECT_EQ(sign(&out), 0) << hexSignature;
    return openSslUnbase64(split(out).sign);
  }

  std::shared_ptr<VaultServiceDouble> service;
};

TEST_F(EccSign, TextCarriesTheKeyAndIdAndItsSignatureVerifies) {
  registerService();
  ASSERT_EQ(property_set("ro.board.platform", "kx9"), 0);
  ASSERT_EQ(property_set("ro.product.device", "mira"), 0);
  service->setFid("FID-42");
  std::string out;
  ASSERT_EQ(sign(&out), 0);
  const Signed s = split(out);
  const orvpay_ecc_pubkey_t key = testKey();
  const std::string pkX = openSslBase64(Bytes(key.x, key.x + 32));
  const std::string pkY = openSslBase64(Bytes(key.y, key.y + 32));
  ASSERT_EQ(pkX.size(), 44u);
  EXPECT_EQ(s.deviceModel, "mira");
  EXPECT_EQ(s.text, "appName=vediraziv&cpuModel=kx9&keyAlg=ec-secp256r1&pkX=" + pkX + "&pkY=" + pkY + "&tzId=FID-42");

  // The service was asked to sign the text's SHA-256 digest, in lower-case hexadecimal.
  const std::vector<std::string> calls = service->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], "getFid");
  EXPECT_EQ(calls[1], "eccSign|0|" + sha256Hex(s.text));

  const Bytes der = openSslUnbase64(s.sign);
  ASSERT_GE(der.size(), 8u);
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, service->publicKey()), 1);
  EXPECT_EQ(EVP_DigestVerify(ctx.get(), der.data(), der.size(), reinterpret_cast<const uint8_t*>(s.text.data()),
                             s.text.size()),
            1);
  // A text that differs by one character does not verify.
  std::string forged = s.text;
  forged.back() ^= 1;
  ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, service->publicKey()), 1);
  EXPECT_NE(EVP_DigestVerify(ctx.get(), der.data(), der.size(), reinterpret_cast<const uint8_t*>(forged.data()),
                             forged.size()),
            1);
}

TEST_F(EccSign, UnsetPropertiesGiveTheDefaultModelsAndAFidErrorAnEmptyId) {
  registerService();
  service->setFidError(5);
  std::string out;
  ASSERT_EQ(sign(&out), 0);
  const Signed s = split(out);
  EXPECT_EQ(s.deviceModel, "Quon");
  EXPECT_NE(s.text.find("&cpuModel=VX7000&"), std::string::npos);
  EXPECT_TRUE(s.text.ends_with("&tzId=")) << s.text;
}

TEST_F(EccSign, RawSignatureBecomesDerWithPositiveIntegers) {
  registerService();
  const std::string r32 = "9F" + std::string(62, '1');
  const std::string s32 = "12" + std::string(62, '3');
  struct Case {
    std::string hex;
    Bytes derHead;  // the DER bytes before r
    size_t derSize;
  };
  const Case cases[] = {
      {r32 + s32, {0x30, 0x45, 0x02, 0x21, 0x00, 0x9F}, 71},
      {"7F" + r32.substr(2) + s32, {0x30, 0x44, 0x02, 0x20, 0x7F}, 70},
      {"ABC", {0x30, 0x08, 0x02, 0x02, 0x00, 0xAB, 0x02, 0x02, 0x00, 0xC0}, 10},
      // Characters outside the hexadecimal digits stand for 0.
      {"zz12", {0x30, 0x06, 0x02, 0x01, 0x00, 0x02, 0x01, 0x12}, 8},
      // One byte: r is empty.
      {"7", {0x30, 0x05, 0x02, 0x00, 0x02, 0x01, 0x70}, 7},
      // Integers in their shortest form: redundant leading zeros go, a zero value keeps one.
      {"0000FF01", {0x30, 0x08, 0x02, 0x01, 0x00, 0x02, 0x03, 0x00, 0xFF, 0x01}, 10},
      {"007F" + std::string(60, '5') + "0080" + std::string(60, '6'), {0x30, 0x43, 0x02, 0x1F, 0x7F, 0x55}, 69},
  };
  for (const Case& c : cases) {
    const Bytes der = signedDer(c.hex);
    ASSERT_EQ(der.size(), c.derSize) << c.hex;
    EXPECT_TRUE(std::equal(c.derHead.begin(), c.derHead.end(), der.begin())) << c.hex;
  }
  // The 71-byte form: s follows r whole.
  const Bytes der = signedDer(r32 + s32);
  EXPECT_EQ(der[37], 0x02);
  EXPECT_EQ(der[38], 0x20);
  EXPECT_EQ(der[39], 0x12);
  // s = 00 80 ...: its zero byte is the one that keeps it positive.
  const Bytes shortR = signedDer("007F" + std::string(60, '5') + "0080" + std::string(60, '6'));
  EXPECT_EQ(Bytes(shortR.begin() + 35, shortR.begin() + 39), (Bytes{0x02, 0x20, 0x00, 0x80}));
}

// A real signature whose r or s starts with a zero byte (about one in a hundred) must still
// verify: many signatures of one text all verify with OpenSSL, which refuses DER integers
// that are not in their shortest form.
TEST_F(EccSign, EverySignatureOfManyVerifies) {
  registerService();
  ASSERT_EQ(property_set("ro.product.device", "mira"), 0);
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  for (int i = 0; i < 400; i++) {
    std::string out;
    ASSERT_EQ(sign(&out), 0);
    const Signed s = split(out);
    const Bytes der = openSslUnbase64(s.sign);
    ASSERT_GE(der.size(), 8u);
    ASSERT_EQ(EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, service->publicKey()), 1);
    ASSERT_EQ(EVP_DigestVerify(ctx.get(), der.data(), der.size(), reinterpret_cast<const uint8_t*>(s.text.data()),
                               s.text.size()),
              1)
        << i;
  }
}

TEST_F(EccSign, NoSignedLookingTextWithoutARealSignature) {
  struct Case {
    const char* what;
    bool registered;
    int32_t signError;
    std::optional<std::string> signature;
  };
  const Case cases[] = {
      {"no service", false, 0, std::nullopt},
      {"signing fails", true, 7, std::nullopt},
      {"empty signature", true, 0, std::string()},
      {"signature text beyond 158 characters", true, 0, std::string(160, 'A')},
  };
  for (const Case& c : cases) {
    SetUp();
    if (c.registered) registerService();
    service->setSignError(c.signError);
    service->setSignatureText(c.signature);
    std::string out = "unset";
    EXPECT_EQ(sign(&out), -1) << c.what;
    EXPECT_EQ(out, "") << c.what;
  }
}

TEST_F(EccSign, LongestIdAndSignatureFitTheOutputAndOneMoreIdCharacterIsRefused) {
  registerService();
  const std::string model(PROP_VALUE_MAX - 1, 'm');
  ASSERT_EQ(property_set("ro.product.device", model.c_str()), 0);
  ASSERT_EQ(property_set("ro.board.platform", std::string(PROP_VALUE_MAX - 1, 'p').c_str()), 0);
  const std::string fixed =
      "appName=vediraziv&cpuModel=" + std::string(PROP_VALUE_MAX - 1, 'p') + "&keyAlg=ec-secp256r1&pkX=" +
      std::string(44, 'x') + "&pkY=" + std::string(44, 'y') + "&tzId=";
  service->setFid(std::string(kEccSignTextMax - fixed.size(), 'F'));
  // 79 bytes, both halves with their top bit set: the largest DER form.
  service->setSignatureText(std::string(kEccSignHexMax, 'F'));
  std::string out;
  ASSERT_EQ(sign(&out), 0);
  EXPECT_EQ(out.size() + 1, kEccSignOutMax);
  EXPECT_EQ(split(out).text.size(), kEccSignTextMax);
  EXPECT_EQ(openSslUnbase64(split(out).sign).size(), 87u);

  service->setFid(std::string(kEccSignTextMax - fixed.size() + 1, 'F'));
  EXPECT_EQ(sign(&out), -1);
  EXPECT_EQ(out, "");
}

TEST_F(EccSign, AFoundServiceIsKeptAndAMissingOneIsAskedForAgain) {
  std::string out;
  EXPECT_EQ(sign(&out), -1);
  EXPECT_EQ(gRERoririz, nullptr);
  registerService();
  ASSERT_EQ(sign(&out), 0);
  ASSERT_NE(gRERoririz, nullptr);
  EXPECT_TRUE(gRERoririz->isRemote());
  // Gone from the service manager, the handle found before still serves.
  platform_binder_test::resetServiceManager();
  ASSERT_EQ(sign(&out), 0);
  EXPECT_EQ(service->signCalls(), 2);
}

TEST(Base64, EncodesAsTheStandardAlphabetWithPadding) {
  struct Case {
    Bytes in;
    const char* out;
  };
  const Case cases[] = {
      {{}, ""}, {{'f'}, "Zg=="}, {{'f', 'o'}, "Zm8="}, {{'f', 'o', 'o'}, "Zm9v"},
      {{'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"}, {{0xFB, 0xFF, 0xBF}, "+/+/"},
  };
  for (const Case& c : cases) {
    char out[16];
    std::memset(out, 'X', sizeof out);
    EXPECT_EQ(base64_encode(c.in.data(), c.in.size(), out), static_cast<int>(std::strlen(c.out)));
    EXPECT_STREQ(out, c.out);
  }
  // Agrees with OpenSSL over every length up to a few groups.
  Bytes data;
  for (int n = 0; n < 40; n++) {
    char out[64];
    base64_encode(data.data(), data.size(), out);
    EXPECT_EQ(out, openSslBase64(data)) << n;
    data.push_back(static_cast<uint8_t>(n * 37 + 11));
  }
}

TEST(Base64, DecodesGroupsSkippingWhitespaceAndRefusesForeignCharacters) {
  struct Case {
    const char* in;
    int result;
    Bytes out;
  };
  const Case cases[] = {
      {"Zm9v", 3, {'f', 'o', 'o'}},
      {"Zm 9\nv\r", 3, {'f', 'o', 'o'}},
      {"Zg==", 1, {'f'}},
      {"Zm8=", 2, {'f', 'o'}},
      {"Zm9vYm", 3, {'f', 'o', 'o'}},  // a group cut short at the end gives nothing
      {"", 0, {}},
      {"Zm9v*", -1, {}},
      {"Zm9vYmFy-", -1, {}},
      // A padded group does not cut the groups after it.
      {"Zg==Zm9v", 4, {'f', 'f', 'o', 'o'}},
      {"Zm8=Zm8=Zm9v", 7, {'f', 'o', 'f', 'o', 'f', 'o', 'o'}},
  };
  for (const Case& c : cases) {
    uint8_t out[32] = {};
    const int n = base64_decode(c.in, out);
    EXPECT_EQ(n, c.result) << c.in;
    if (n > 0) {
      EXPECT_EQ(Bytes(out, out + n), c.out) << c.in;
    }
  }
  // One call's padding leaves the next call whole.
  uint8_t out[8];
  EXPECT_EQ(base64_decode("Zg==", out), 1);
  EXPECT_EQ(base64_decode("Zm9v", out), 3);
}

}  // namespace
