#pragma once
// Set-up of the tests that run the KeyMint binder objects against the simulated secure
// processor with its KeyMint application: a fresh channel, the build properties the device
// configures itself from, and a process in which nothing was configured yet.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <platform/properties.h>
#include <platform/properties_test_api.h>

#include <memory>

#include "AndroidKeyMintDevice.h"
#include "secproc_channel_fixture.h"
#include "sim_keymint.h"

namespace kmhal_test {

namespace km = ::aidl::android::hardware::security::keymint;

class KeyMintTest : public secproc_test::ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    plat_properties_reset();
    property_set("ro.build.version.release", "14");
    property_set("ro.build.version.security_patch", "2024-02-05");
    property_set("ro.vendor.build.security_patch", "2024-03-01");
    km::testing::resetConfigured();
    sim = std::make_unique<secproc_test::SimKeyMint>();
    device = ::ndk::SharedRefBase::make<km::AndroidKeyMintDevice>(km::SecurityLevel::STRONGBOX);
  }
  void TearDown() override {
    device.reset();
    sim.reset();
    km::testing::resetConfigured();
    plat_properties_reset();
    ChannelTest::TearDown();
  }

  static km::KeyParameter enumParam(km::Tag tag, km::KeyParameterValue v) { return km::KeyParameter{tag, v}; }
  // The parameters of a P-256 signing key with SHA-256.
  static std::vector<km::KeyParameter> p256SigningKey() {
    using V = km::KeyParameterValue;
    return {
        {km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)},
        {km::Tag::EC_CURVE, V::make<V::ecCurve>(km::EcCurve::P_256)},
        {km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::SIGN)},
        {km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)},
        {km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(true)},
    };
  }
  static std::vector<km::KeyParameter> sha256() {
    using V = km::KeyParameterValue;
    return {{km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)}};
  }
  static int32_t code(const ::ndk::ScopedAStatus& s) {
    return s.isOk() ? 0 : s.getServiceSpecificError();
  }
  // Commands the simulated processor received with `id`.
  static size_t sent(uint32_t id) {
    size_t n = 0;
    for (uint32_t c : secproc_test::SimSecureProcessor::get().commandIds()) n += c == id;
    return n;
  }

  // Whether `signature` is a SHA-256 ECDSA signature of `message` by `key`.
  static bool verifies(EVP_PKEY* key, const std::vector<uint8_t>& message, const std::vector<uint8_t>& signature) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool good = key != nullptr && EVP_DigestVerifyInit(ctx, nullptr, EVP_sha256(), nullptr, key) == 1 &&
                EVP_DigestVerify(ctx, signature.data(), signature.size(), message.data(), message.size()) == 1;
    EVP_MD_CTX_free(ctx);
    return good;
  }
  // The same with the key of a DER certificate.
  static bool verifiesWithCert(const std::vector<uint8_t>& certDer, const std::vector<uint8_t>& message,
                               const std::vector<uint8_t>& signature) {
    const unsigned char* p = certDer.data();
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(certDer.size()));
    EVP_PKEY* key = cert != nullptr ? X509_get_pubkey(cert) : nullptr;
    bool good = verifies(key, message, signature);
    EVP_PKEY_free(key);
    X509_free(cert);
    return good;
  }

  std::unique_ptr<secproc_test::SimKeyMint> sim;
  std::shared_ptr<km::AndroidKeyMintDevice> device;
};

}  // namespace kmhal_test
