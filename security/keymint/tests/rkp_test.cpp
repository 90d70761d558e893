// The remotely provisioned component through the binder stand-in, the request layer, the
// channel library and the simulated secure processor, whose answers are built with libcbor;
// MACs and COSE structures are checked with OpenSSL and libcbor, never with our own code.
#include <android/binder_manager.h>
#include <gtest/gtest.h>
#include <keymaster/contexts/pure_soft_remote_provisioning_context.h>
#include <keymaster/soft_rkp_test.h>
#include <platform_binder_test.h>

#include <openssl/ec.h>
#include <openssl/obj_mac.h>

#include <fstream>
#include <iterator>

#include "RemotelyProvisionedComponent.h"
#include "ec_test_keys.h"
#include "keymint_hal_fixture.h"
#include "libcbor_build.h"

namespace {

namespace km = ::aidl::android::hardware::security::keymint;
using namespace kmtest;
using secproc_test::Response;
using secproc_test::SimSecureProcessor;

constexpr uint32_t kCmdGenerateKey = 0x3108;
constexpr uint32_t kCmdCsr = 0x311e;
constexpr uint32_t kCmdCsrV2 = 0x3121;
constexpr const char* kInstance = "android.hardware.security.keymint.IRemotelyProvisionedComponent/strongbox";

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes bstrOf(cbor_item_t* item) {
  return Bytes(cbor_bytestring_handle(item), cbor_bytestring_handle(item) + cbor_bytestring_length(item));
}

// The value of integer label `label` in a decoded map (borrowed), or null.
cbor_item_t* mapGet(cbor_item_t* map, int64_t label) {
  cbor_pair* pairs = cbor_map_handle(map);
  for (size_t i = 0; i < cbor_map_size(map); i++) {
    cbor_item_t* k = pairs[i].key;
    if (!cbor_is_int(k)) continue;
    int64_t v = cbor_isa_uint(k) ? static_cast<int64_t>(cbor_get_int(k)) : -1 - static_cast<int64_t>(cbor_get_int(k));
    if (v == label) return pairs[i].value;
  }
  return nullptr;
}

struct Cbor {
  explicit Cbor(const Bytes& b) {
    cbor_load_result r;
    item = cbor_load(b.data(), b.size(), &r);
    complete = item != nullptr && r.read == b.size();
  }
  ~Cbor() {
    if (item != nullptr) cbor_decref(&item);
  }
  cbor_item_t* item;
  bool complete;
};

// What a COSE_Mac0 from the component carries, read with libcbor.
struct Mac0 {
  Bytes protectedHeader, payload, tag;
  bool unprotectedEmpty = false;
};
Mac0 readMac0(const Bytes& encoded) {
  Cbor c(encoded);
  EXPECT_TRUE(c.complete);
  Mac0 m;
  if (!c.complete || !cbor_isa_array(c.item) || cbor_array_size(c.item) != 4) return m;
  cbor_item_t** a = cbor_array_handle(c.item);
  m.protectedHeader = bstrOf(a[0]);
  m.unprotectedEmpty = cbor_isa_map(a[1]) && cbor_map_size(a[1]) == 0;
  m.payload = bstrOf(a[2]);
  m.tag = bstrOf(a[3]);
  return m;
}
Bytes macStructure(const Mac0& m) {
  return encode(array({cbor_build_string("MAC0"), bytes(m.protectedHeader), bytes({}), bytes(m.payload)}));
}

class Rkp : public kmhal_test::KeyMintTest {
 protected:
  void SetUp() override {
    KeyMintTest::SetUp();
    keymaster::testing::reset();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    local = ndk::SharedRefBase::make<km::AndroidRemotelyProvisionedComponentDevice>(device);
    ASSERT_EQ(AServiceManager_addService(local->asBinder().get(), kInstance), STATUS_OK);
    ndk::SpAIBinder binder(AServiceManager_waitForService(kInstance));
    rpc = km::IRemotelyProvisionedComponent::fromBinder(binder);
    ASSERT_NE(rpc, nullptr);
    ASSERT_TRUE(rpc->isRemote()) << "calls go through parcels";
  }
  void TearDown() override {
    rpc.reset();
    local.reset();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    keymaster::testing::reset();
    KeyMintTest::TearDown();
  }

  // A key creation answer in place of the simulated application's: a key blob and the
  // given certificates (the application itself always answers with a two-certificate chain).
  void queueKeyCreation(const std::vector<Bytes>& certs) {
    cbor_item_t* answer = cbor_new_definite_map(2 + certs.size());
    cbor_map_add(answer, {cbor_move(integer(23)), cbor_move(bytes(expectedKeyBlob()))});
    cbor_map_add(answer, {cbor_move(integer(32)), cbor_move(integer(static_cast<int64_t>(certs.size())))});
    for (const Bytes& c : certs) cbor_map_add(answer, {cbor_move(integer(33)), cbor_move(bytes(c))});
    sim->queue(kCmdGenerateKey, Response{0, encode(answer), std::nullopt});
  }
  static Bytes expectedKeyBlob() {
    return keyBlob(encode(map({{2, map({{0x10000002, integer(3)}, {0x1000000A, integer(1)}})}, {0, map({})}})));
  }
  // A MACed public key made by the free function in test mode.
  Bytes testModeKey() {
    auto key = ectest::newKey();
    queueKeyCreation({ectest::selfSignedCert(key.get())});
    keymaster::GenerateRkpKeyRequest request(3);
    request.test_mode = true;
    keymaster::GenerateRkpKeyResponse response(3);
    keymaster::GenerateRkpKey(request, &response, device->getKeymasterImpl());
    EXPECT_EQ(response.error, KM_ERROR_OK);
    return Bytes(response.maced_public_key.begin(), response.maced_public_key.end());
  }
  static Bytes lastBody(uint32_t id) {
    auto reqs = SimSecureProcessor::get().requests();
    for (auto it = reqs.rbegin(); it != reqs.rend(); ++it) {
      if (it->cmdId == id) return it->body();
    }
    return {};
  }

  // Makes a key pair through the proxy; the processor's certificate holds `key`.
  km::MacedPublicKey generate(EVP_PKEY* key, std::vector<uint8_t>* handle = nullptr) {
    queueKeyCreation({ectest::selfSignedCert(key)});
    km::MacedPublicKey maced;
    std::vector<uint8_t> blob;
    auto st = rpc->generateEcdsaP256KeyPair(false, &maced, &blob);
    EXPECT_TRUE(st.isOk()) << st.getDescription();
    if (handle != nullptr) *handle = blob;
    return maced;
  }

  std::shared_ptr<km::AndroidRemotelyProvisionedComponentDevice> local;
  std::shared_ptr<km::IRemotelyProvisionedComponent> rpc;
};

TEST_F(Rkp, HardwareInfoNeedsNoInitAndNoTraffic) {
  km::RpcHardwareInfo info;
  ASSERT_TRUE(rpc->getHardwareInfo(&info).isOk());
  EXPECT_EQ(info.versionNumber, 3);
  EXPECT_EQ(info.rpcAuthorName, "Orvenna Technologies");
  EXPECT_EQ(info.supportedEekCurve, km::RpcHardwareInfo::CURVE_NONE);
  EXPECT_EQ(info.uniqueId, std::optional<std::string>("Orvenna SECPROC KeyMint 3"));
  EXPECT_EQ(info.supportedNumKeysInCsr, 20);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
  int32_t version = 0;
  std::string hash;
  ASSERT_TRUE(rpc->getInterfaceVersion(&version).isOk());
  ASSERT_TRUE(rpc->getInterfaceHash(&hash).isOk());
  EXPECT_EQ(version, 3);
  EXPECT_EQ(hash, "7d14edbfab5c490efa407ba55fa80614bb48ae8e");
}

TEST_F(Rkp, KeyPairIsACoseKeyWhoseMac0VerifiesWithTheContextKey) {
  auto key = ectest::newKey();
  std::vector<uint8_t> handle;
  const km::MacedPublicKey maced = generate(key.get(), &handle);
  EXPECT_EQ(handle, expectedKeyBlob());

  const Mac0 m = readMac0(maced.macedKey);
  EXPECT_EQ(m.protectedHeader, encode(map({{1, integer(5)}})));
  EXPECT_TRUE(m.unprotectedEmpty);
  EXPECT_EQ(m.tag, ectest::hmacSha256(keymaster::testing::softContextMacKey(), macStructure(m)));
  EXPECT_NE(m.tag, ectest::hmacSha256(keymaster::make_test_mac_key(), macStructure(m)));

  // The canonical COSE_Key of the certificate's public key, without the test marker.
  const auto [x, y] = ectest::coordinates(key.get());
  EXPECT_EQ(m.payload,
            encode(map({{1, integer(2)}, {3, integer(-7)}, {-1, integer(1)}, {-2, bytes(x)}, {-3, bytes(y)}})));

  // The key generation request carries the eight attestation-key parameters.
  Cbor req(lastBody(kCmdGenerateKey));
  ASSERT_TRUE(req.complete);
  cbor_item_t* count = mapGet(req.item, 22);
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(cbor_get_int(count), 8u);
  ASSERT_NE(mapGet(req.item, 0x20000001), nullptr);
  EXPECT_EQ(cbor_get_int(mapGet(req.item, 0x20000001)), 7u);  // attest key
  EXPECT_EQ(cbor_get_int(mapGet(req.item, 0x30000003)), 256u);
  cbor_item_t* notAfter = mapGet(req.item, 53);
  ASSERT_NE(notAfter, nullptr);
  EXPECT_EQ(cbor_get_int(cbor_array_handle(notAfter)[5]), 9999u);
}

TEST_F(Rkp, FreeFunctionInTestModeMacsWithTheTestKeyAndMarksTheKey) {
  const Mac0 m = readMac0(testModeKey());
  EXPECT_EQ(m.tag, ectest::hmacSha256(keymaster::make_test_mac_key(), macStructure(m)));
  Cbor payload(m.payload);
  ASSERT_TRUE(payload.complete);
  cbor_item_t* marker = mapGet(payload.item, -70000);
  ASSERT_NE(marker, nullptr);
  EXPECT_TRUE(cbor_is_null(marker));
  EXPECT_EQ(cbor_map_size(payload.item), 6u);
}

TEST_F(Rkp, KeyPairFailures) {
  auto key = ectest::newKey();
  const Bytes cert = ectest::selfSignedCert(key.get());
  struct Case {
    const char* what;
    std::function<void()> queue;
  } cases[] = {
      {"two certificates", [&] { queueKeyCreation({cert, cert}); }},
      {"no certificate", [&] { queueKeyCreation({}); }},
      {"a certificate that is not one", [&] { queueKeyCreation({Bytes{0x30, 0x00}}); }},
      {"the processor refuses", [&] { sim->queue(kCmdGenerateKey, Response{-38, {}, std::nullopt}); }},
  };
  for (const Case& c : cases) {
    c.queue();
    km::MacedPublicKey maced;
    std::vector<uint8_t> handle;
    auto st = rpc->generateEcdsaP256KeyPair(false, &maced, &handle);
    EXPECT_EQ(st.getServiceSpecificError(), 1) << c.what;
    EXPECT_STREQ(st.getMessage(), "Failure in key generation.") << c.what;
    EXPECT_TRUE(maced.macedKey.empty() && handle.empty()) << c.what;
  }
  // A context that cannot MAC fails the same way.
  keymaster::testing::setContextMacFails(true);
  queueKeyCreation({cert});
  km::MacedPublicKey maced;
  std::vector<uint8_t> handle;
  EXPECT_EQ(rpc->generateEcdsaP256KeyPair(false, &maced, &handle).getServiceSpecificError(), 1);
  EXPECT_EQ(sent(kCmdGenerateKey), 5u);
}

TEST_F(Rkp, TestModeAndTheRemovedMethodAreRefusedWithStatusRemoved) {
  km::MacedPublicKey maced;
  std::vector<uint8_t> handle;
  auto st = rpc->generateEcdsaP256KeyPair(true, &maced, &handle);
  EXPECT_EQ(st.getServiceSpecificError(), 6);
  EXPECT_EQ(sent(0x215), 1u) << "the device's init ran first";
  EXPECT_EQ(sent(kCmdGenerateKey), 0u);

  km::DeviceInfo info;
  km::ProtectedData data;
  std::vector<uint8_t> mac;
  EXPECT_EQ(rpc->generateCertificateRequest(false, {}, {}, {}, &info, &data, &mac).getServiceSpecificError(), 6);
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), 2u) << "set-version and date support only";
}

TEST_F(Rkp, InitFailureIsReturnedUnchanged) {
  sim->setDateSupportStatus(-49);
  std::vector<uint8_t> csr;
  EXPECT_EQ(rpc->generateCertificateRequestV2({}, {}, &csr).getServiceSpecificError(), -49);
  EXPECT_EQ(sent(kCmdCsrV2), 0u);
}

// The whole road: the simulated KeyMint application makes the attestation keys (one
// self-signed certificate each), the component MACs their public keys, and a CSR request
// over them brings back what the processor answers, byte for byte.
TEST_F(Rkp, CsrV2ReturnsTheProcessorsCsrUnchanged) {
  std::vector<km::MacedPublicKey> keys(2);
  for (km::MacedPublicKey& k : keys) {
    std::vector<uint8_t> handle;
    auto st = rpc->generateEcdsaP256KeyPair(false, &k, &handle);
    ASSERT_TRUE(st.isOk()) << st.getDescription();
    EXPECT_FALSE(handle.empty());
    const Mac0 m = readMac0(k.macedKey);
    EXPECT_EQ(m.tag, ectest::hmacSha256(keymaster::testing::softContextMacKey(), macStructure(m)));
    // Its coordinates are a point of P-256.
    Cbor coseKey(m.payload);
    ASSERT_TRUE(coseKey.complete);
    Bytes point = {0x04};
    for (int label : {-2, -3}) {
      const Bytes c = bstrOf(mapGet(coseKey.item, label));
      ASSERT_EQ(c.size(), 32u);
      point.insert(point.end(), c.begin(), c.end());
    }
    std::unique_ptr<EC_GROUP, decltype(&EC_GROUP_free)> group(EC_GROUP_new_by_curve_name(NID_X9_62_prime256v1),
                                                              EC_GROUP_free);
    std::unique_ptr<EC_POINT, decltype(&EC_POINT_free)> p(EC_POINT_new(group.get()), EC_POINT_free);
    EXPECT_EQ(EC_POINT_oct2point(group.get(), p.get(), point.data(), point.size(), nullptr), 1);
  }
  EXPECT_EQ(sim->keysGenerated(), 2);
  EXPECT_NE(keys[0].macedKey, keys[1].macedKey);
  const Bytes challenge(32, 0xC7);
  for (const char* file : {"valid_csr.cbor", "v3_csr_avf.cbor"}) {
    const Bytes csrFile = readFile(VENDOR_TESTDATA_DIR "/rkp-hwtrust/csr/" + std::string(file));
    ASSERT_FALSE(csrFile.empty()) << file;
    SimSecureProcessor::get().queueResponse(Response{0, encode(map({{61, bytes(csrFile)}})), std::nullopt});
    std::vector<uint8_t> csr;
    auto st = rpc->generateCertificateRequestV2(keys, challenge, &csr);
    ASSERT_TRUE(st.isOk()) << st.getDescription();
    EXPECT_EQ(csr, csrFile) << file;

    // The processor got {4: challenge, 57: [COSE_Key, COSE_Key]}.
    Cbor req(lastBody(kCmdCsrV2));
    ASSERT_TRUE(req.complete);
    EXPECT_EQ(cbor_map_size(req.item), 2u);
    EXPECT_EQ(bstrOf(mapGet(req.item, 4)), challenge);
    Bytes expectedKeys = {0x82};
    for (const auto& k : keys) {
      const Bytes p = readMac0(k.macedKey).payload;
      expectedKeys.insert(expectedKeys.end(), p.begin(), p.end());
    }
    EXPECT_EQ(bstrOf(mapGet(req.item, 57)), expectedKeys);
  }
}

TEST_F(Rkp, CsrV2Failures) {
  auto k = ectest::newKey();
  const km::MacedPublicKey good = generate(k.get());
  km::MacedPublicKey badMac = good;
  badMac.macedKey.back() ^= 0x01;  // last byte of the tag

  std::vector<uint8_t> csr;
  auto st = rpc->generateCertificateRequestV2({good, badMac}, {1, 2}, &csr);
  EXPECT_EQ(st.getServiceSpecificError(), km::IRemotelyProvisionedComponent::STATUS_INVALID_MAC);
  EXPECT_STREQ(st.getMessage(), "Failure in CSR v2 generation.");
  EXPECT_EQ(sent(kCmdCsrV2), 0u);

  // A test-mode key in this production request.
  km::MacedPublicKey testKey{testModeKey()};
  EXPECT_EQ(rpc->generateCertificateRequestV2({testKey}, {}, &csr).getServiceSpecificError(),
            km::IRemotelyProvisionedComponent::STATUS_INVALID_MAC)
      << "its MAC is under the test key";
  EXPECT_EQ(sent(kCmdCsrV2), 0u);

  // The processor's own failure is reported as 1, not as its code.
  SimSecureProcessor::get().queueResponse(Response{-38, {}, std::nullopt});
  st = rpc->generateCertificateRequestV2({good}, {}, &csr);
  EXPECT_EQ(st.getServiceSpecificError(), 1);
  EXPECT_EQ(sent(kCmdCsrV2), 1u);

  // No room for the keys.
  keymaster::testing::failNextKeysToSignAllocation();
  EXPECT_EQ(rpc->generateCertificateRequestV2({good}, {}, &csr).getServiceSpecificError(), -41);
  EXPECT_TRUE(csr.empty());
}

class RkpV1 : public Rkp {
 protected:
  keymaster::GenerateCsrRequest csrRequest(const std::vector<Bytes>& keys, bool testMode) {
    keymaster::GenerateCsrRequest r(3);
    r.test_mode = testMode;
    EXPECT_TRUE(r.InitKeysToSign(static_cast<uint32_t>(keys.size())));
    for (size_t i = 0; i < keys.size(); i++) r.SetKeyToSign(static_cast<uint32_t>(i), keys[i].data(), keys[i].size());
    r.SetChallenge(challenge.data(), challenge.size());
    r.SetEndpointEncCertChain(eek.data(), eek.size());
    return r;
  }
  const Bytes challenge = Bytes(16, 0x11);
  const Bytes eek = Bytes(40, 0xEE);
};

TEST_F(RkpV1, FirstVersionCsrCarriesTheRequestAndAFreshMac) {
  const Bytes k0 = testModeKey(), k1 = testModeKey();
  const Bytes info = {0xA1, 0x01, 0x02}, prot = Bytes(50, 0x9A);
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{59, bytes(info)}, {60, bytes(prot)}})), std::nullopt});
  keymaster::GenerateCsrRequest request = csrRequest({k0, k1}, true);
  keymaster::GenerateCsrResponse response(3);
  keymaster::GenerateCsr(request, &response, device->getKeymasterImpl());
  ASSERT_EQ(response.error, KM_ERROR_OK);
  EXPECT_EQ(Bytes(response.device_info_blob.begin(), response.device_info_blob.end()), info);
  EXPECT_EQ(Bytes(response.protected_data_blob.begin(), response.protected_data_blob.end()), prot);
  ASSERT_EQ(response.keys_to_sign_mac.size(), 32u);

  Cbor req(lastBody(kCmdCsr));
  ASSERT_TRUE(req.complete);
  ASSERT_EQ(cbor_map_size(req.item), 5u);
  cbor_pair* e = cbor_map_handle(req.item);
  const int64_t order[] = {55, 4, 56, 57, 58};
  for (size_t i = 0; i < 5; i++) EXPECT_EQ(cbor_get_int(e[i].key), static_cast<uint64_t>(order[i]));
  EXPECT_EQ(cbor_get_int(e[0].value), 1u);
  EXPECT_EQ(bstrOf(e[1].value), challenge);
  Bytes keys = {0x82};
  for (const Bytes& k : {k0, k1}) {
    const Bytes p = readMac0(k).payload;
    keys.insert(keys.end(), p.begin(), p.end());
  }
  EXPECT_EQ(bstrOf(e[2].value), keys);
  EXPECT_EQ(bstrOf(e[3].value), Bytes(response.keys_to_sign_mac.begin(), response.keys_to_sign_mac.end()));
  EXPECT_EQ(bstrOf(e[4].value), eek);

  // Each request draws its own MAC key.
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{59, bytes(info)}, {60, bytes(prot)}})), std::nullopt});
  keymaster::GenerateCsrResponse again(3);
  keymaster::GenerateCsr(request, &again, device->getKeymasterImpl());
  ASSERT_EQ(again.error, KM_ERROR_OK);
  EXPECT_NE(Bytes(again.keys_to_sign_mac.begin(), again.keys_to_sign_mac.end()),
            Bytes(response.keys_to_sign_mac.begin(), response.keys_to_sign_mac.end()));
}

TEST_F(RkpV1, FirstVersionCsrFailures) {
  const Bytes testKey = testModeKey();
  // A test key in a production request: the validator's code, nothing sent.
  keymaster::GenerateCsrResponse r1(3);
  keymaster::GenerateCsr(csrRequest({testKey}, false), &r1, device->getKeymasterImpl());
  EXPECT_EQ(r1.error, -2) << "its MAC is under the test key";
  // No random MAC key.
  keymaster::testing::setRandomFails(true);
  keymaster::GenerateCsrResponse r2(3);
  keymaster::GenerateCsr(csrRequest({testKey}, true), &r2, device->getKeymasterImpl());
  EXPECT_EQ(r2.error, -1);
  keymaster::testing::setRandomFails(false);
  EXPECT_EQ(sent(kCmdCsr), 0u);
  // The processor's code comes back as it is.
  SimSecureProcessor::get().queueResponse(Response{-38, {}, std::nullopt});
  keymaster::GenerateCsrResponse r3(3);
  keymaster::GenerateCsr(csrRequest({testKey}, true), &r3, device->getKeymasterImpl());
  EXPECT_EQ(r3.error, -38);
  EXPECT_EQ(r3.device_info_blob.size(), 0u);
}

TEST(RkpMac, ProductionMacComesFromTheContextOrFailsWithItsMessage) {
  keymaster::PureSoftRemoteProvisioningContext context(KM_SECURITY_LEVEL_STRONGBOX);
  const Bytes input = {1, 2, 3};
  auto mac = keymaster::getMacFunction(false, &context)(input);
  ASSERT_TRUE(mac);
  EXPECT_EQ(Bytes(mac->begin(), mac->end()), ectest::hmacSha256(keymaster::testing::softContextMacKey(), input));
  auto testMac = keymaster::getMacFunction(true, &context)(input);
  ASSERT_TRUE(testMac);
  EXPECT_EQ(Bytes(testMac->begin(), testMac->end()), ectest::hmacSha256(keymaster::make_test_mac_key(), input));
  EXPECT_EQ(keymaster::make_test_mac_key().size(), 32u);
  keymaster::testing::setContextMacFails(true);
  auto failed = keymaster::getMacFunction(false, &context)(input);
  keymaster::testing::reset();
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.message(), "Remote provisioning context failed to sign MAC.");
}

}  // namespace
