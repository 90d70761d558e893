// The KeyMint device, operation, secure clock and shared secret called directly, against
// the simulated secure processor: what each call sends, what comes back, and the cases the
// binder objects must survive (concurrent first calls, a processor that takes no input or
// more than it was given, a clock outliving its device).
#include <atomic>
#include <thread>

#include "vendor_test/together.h"

#include "AndroidKeyMintOperation.h"
#include "AndroidSecureClock.h"
#include "AndroidSharedSecret.h"
#include "KeyMintConversions.h"
#include "keymint_hal_fixture.h"
#include "libcbor_build.h"

namespace {

using namespace kmhal_test;
using namespace kmtest;
using secproc_test::Response;
using secproc_test::SimSecureProcessor;
using V = km::KeyParameterValue;

constexpr int64_t kAuthTokenLabel = -1879047190;  // KM_TAG_AUTH_TOKEN as a signed label

Bytes lastBody(uint32_t id) {
  auto reqs = SimSecureProcessor::get().requests();
  for (auto it = reqs.rbegin(); it != reqs.rend(); ++it) {
    if (it->cmdId == id) return it->body();
  }
  return {};
}

Response ok(cbor_item_t* body) { return Response{0, encode(body), std::nullopt}; }

struct CborFree {
  void operator()(cbor_item_t* i) const { cbor_decref(&i); }
};
using Item = std::unique_ptr<cbor_item_t, CborFree>;
Item loadItem(const Bytes& b) {
  cbor_load_result r;
  return Item(cbor_load(b.data(), b.size(), &r));
}
bool hasLabel(cbor_item_t* map, int64_t label) {
  if (map == nullptr || !cbor_isa_map(map)) return false;
  cbor_pair* pairs = cbor_map_handle(map);
  for (size_t k = 0; k < cbor_map_size(map); k++) {
    int64_t v = cbor_isa_negint(pairs[k].key) ? -1 - static_cast<int64_t>(cbor_get_int(pairs[k].key))
                                              : static_cast<int64_t>(cbor_get_int(pairs[k].key));
    if (v == label) return true;
  }
  return false;
}

km::HardwareAuthToken token(size_t macLength) {
  km::HardwareAuthToken t;
  t.challenge = 0x0102030405060708;
  t.userId = 9;
  t.authenticatorId = 10;
  t.authenticatorType = km::HardwareAuthenticatorType::FINGERPRINT;
  t.timestamp.milliSeconds = 0x1122334455;
  t.mac.assign(macLength, 0xAB);
  return t;
}

// ---------------------------------------------------------------- configuration

struct ConfigCase {
  const char* release;
  const char* patch;
  int32_t dateStatus;  // 0: the processor takes dates, -40: it does not
  uint32_t osVersion;
  uint32_t osPatch;
};

class Configure : public KeyMintTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(Configure, FirstCallConfiguresVersionAndPatchLevels) {
  const ConfigCase& c = GetParam();
  plat_properties_reset();
  property_set("ro.build.version.release", c.release);
  property_set("ro.build.version.security_patch", c.patch);
  property_set("ro.vendor.build.security_patch", "2024-03-01");
  sim->setDateSupportStatus(c.dateStatus);
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_TRUE(device->deleteKey({1, 2, 3}).isOk());
  EXPECT_EQ(sent(0x215), 1u);
  EXPECT_EQ(lastBody(0x2116), encode(map({{22, integer(3)},
                                          {0x300002C1, integer(c.osVersion)},
                                          {0x300002C2, integer(c.osPatch)},
                                          {0x300002CE, integer(20240301)}})));
  // Configured once per process: the next call asks nothing again.
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_TRUE(device->deleteKey({1, 2, 3}).isOk());
  EXPECT_EQ(sent(0x215), 1u);
  EXPECT_EQ(sent(0x2116), 1u);
}

INSTANTIATE_TEST_SUITE_P(Properties, Configure,
                         ::testing::Values(ConfigCase{"14", "2024-02-05", 0, 140000, 20240205},
                                           ConfigCase{"13.1", "2024-02-05", -40, 130100, 202402},
                                           ConfigCase{"1.2.3", "2024-13-05", 0, 10203, 0},
                                           ConfigCase{"123", "2024-02-00", 0, 120000, 0},
                                           ConfigCase{"abc", "2024-02-00", -40, 0, 202402}));

TEST_F(KeyMintTest, ConcurrentFirstCallsConfigureOnce) {
  constexpr int kThreads = 8;
  for (int k = 0; k < kThreads; k++) SimSecureProcessor::get().queueResponse(Response{});
  std::atomic<int> okCount{0};
  vendor_test::runTogether(kThreads, [&](int) { okCount += device->deleteKey({7}).isOk() ? 1 : 0; });
  EXPECT_EQ(okCount.load(), kThreads);
  EXPECT_EQ(sent(0x215), 1u);
  EXPECT_EQ(sent(0x2116), 1u);
  EXPECT_EQ(sent(0x250d), static_cast<size_t>(kThreads));
}

// Clients of a fresh device creating keys and reading a blob's characteristics at once: the
// first calls configure the device once, and every answer is the caller's own.
TEST_F(KeyMintTest, KeysCreatedAndCharacteristicsReadAtOnceOnAFreshDevice) {
  km::KeyCreationResult created;
  {
    auto other = ::ndk::SharedRefBase::make<km::AndroidKeyMintDevice>(km::SecurityLevel::STRONGBOX);
    ASSERT_TRUE(other->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  }
  km::testing::resetConfigured();
  constexpr int kThreads = 6;
  for (int k = 0; k < kThreads / 2; k++) SimSecureProcessor::get().queueResponse(Response{});
  std::atomic<int> okCount{0};
  vendor_test::runTogether(kThreads, [&](int k) {
    if (k % 2 == 0) {
      km::KeyCreationResult fresh;
      okCount += device->generateKey(p256SigningKey(), std::nullopt, &fresh).isOk() ? 1 : 0;
    } else {
      std::vector<km::KeyCharacteristics> chars;
      const bool ok = device->getKeyCharacteristics(created.keyBlob, {}, {}, &chars).isOk() &&
                      chars == created.keyCharacteristics;
      okCount += ok ? 1 : 0;
    }
  });
  EXPECT_EQ(okCount.load(), kThreads);
}

TEST_F(KeyMintTest, FailedDateQueryIsReturnedAndRetriedNextTime) {
  sim->setDateSupportStatus(-49);
  EXPECT_EQ(code(device->deleteKey({1})), -49);
  EXPECT_EQ(sent(0x250d), 0u);
  sim->setDateSupportStatus(0);
  SimSecureProcessor::get().queueResponse(Response{});
  EXPECT_TRUE(device->deleteKey({1}).isOk());
  EXPECT_EQ(sent(0x215), 2u);
}

TEST_F(KeyMintTest, EntropyIsCheckedForLengthOnly) {
  EXPECT_TRUE(device->addRngEntropy(Bytes(2048)).isOk());
  EXPECT_EQ(code(device->addRngEntropy(Bytes(2049))), KM_ERROR_INVALID_INPUT_LENGTH);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
}

// ---------------------------------------------------------------- keys and characteristics

TEST_F(KeyMintTest, KeyCreationFailureIsPassedThroughAndLeavesTheResult) {
  sim->queue(0x3108, Response{-50, {}, std::nullopt});
  std::vector<km::KeyParameter> params = p256SigningKey();
  params.push_back({km::Tag::APPLICATION_ID, V::make<V::blob>(Bytes{1, 2, 3})});
  km::AttestationKey attest;
  attest.keyBlob = {9, 9};
  attest.attestKeyParams = {{km::Tag::ATTESTATION_APPLICATION_ID, V::make<V::blob>(Bytes(40, 4))}};
  attest.issuerSubjectName = {0x30, 0x00};
  km::KeyCreationResult result;
  result.keyBlob = {0xEE};
  auto st = device->generateKey(params, attest, &result);
  EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(st.getServiceSpecificError(), -50);
  EXPECT_EQ(result.keyBlob, Bytes{0xEE});
  EXPECT_EQ(code(device->generateKey(params, std::nullopt, nullptr)), KM_ERROR_OUTPUT_PARAMETER_NULL);
}

TEST_F(KeyMintTest, CharacteristicsOfAKeyBlobAreItsHardwareList) {
  km::KeyCreationResult created;
  ASSERT_TRUE(device->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  SimSecureProcessor::get().queueResponse(Response{});
  std::vector<km::KeyCharacteristics> chars;
  ASSERT_TRUE(device->getKeyCharacteristics(created.keyBlob, {}, {}, &chars).isOk());
  ASSERT_EQ(chars.size(), 1u);
  EXPECT_EQ(chars[0].securityLevel, km::SecurityLevel::STRONGBOX);
  EXPECT_EQ(chars[0], created.keyCharacteristics[0]);
  // Empty application id and data are not sent.
  EXPECT_EQ(lastBody(0x2509), encode(map({{23, bytes(created.keyBlob)}})));
  const auto& auths = chars[0].authorizations;
  auto has = [&](km::Tag tag, V value) {
    return std::find(auths.begin(), auths.end(), km::KeyParameter{tag, value}) != auths.end();
  };
  EXPECT_TRUE(has(km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)));
  EXPECT_TRUE(has(km::Tag::EC_CURVE, V::make<V::ecCurve>(km::EcCurve::P_256)));
  EXPECT_TRUE(has(km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::SIGN)));
  EXPECT_TRUE(has(km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(true)));
}

TEST_F(KeyMintTest, ImportedPkcs8KeySignsForItsPublicKey) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  unsigned char* der = nullptr;
  int n = i2d_PrivateKey(key, &der);
  ASSERT_GT(n, 0);
  const Bytes pkcs8(der, der + n);
  OPENSSL_free(der);
  km::KeyCreationResult imported;
  ASSERT_TRUE(device->importKey(p256SigningKey(), km::KeyFormat::PKCS8, pkcs8, std::nullopt, &imported).isOk());
  EXPECT_EQ(sent(0x310b), 1u);
  const auto& auths = imported.keyCharacteristics.at(0).authorizations;
  EXPECT_NE(std::find(auths.begin(), auths.end(),
                      km::KeyParameter{km::Tag::ORIGIN, V::make<V::origin>(km::KeyOrigin::IMPORTED)}),
            auths.end());
  km::BeginResult begun;
  ASSERT_TRUE(device->begin(km::KeyPurpose::SIGN, imported.keyBlob, sha256(), std::nullopt, &begun).isOk());
  Bytes signature;
  ASSERT_TRUE(begun.operation->finish(Bytes{'h', 'i'}, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                      &signature)
                  .isOk());
  EXPECT_TRUE(verifies(key, {'h', 'i'}, signature));
  EVP_PKEY_free(key);
  EXPECT_EQ(code(device->importKey(p256SigningKey(), km::KeyFormat::PKCS8, pkcs8, std::nullopt, nullptr)),
            KM_ERROR_OUTPUT_PARAMETER_NULL);
}

TEST_F(KeyMintTest, KeyMethodsForwardToTheirRequests) {
  // Upgrade appends the processor's whole answer, the new blob, to what the output held.
  SimSecureProcessor::get().queueResponse(Response{0, {0xB1, 0xB2}, std::nullopt});
  Bytes upgraded = {0xA0};
  ASSERT_TRUE(device->upgradeKey({1, 2}, {}, &upgraded).isOk());
  EXPECT_EQ(upgraded, (Bytes{0xA0, 0xB1, 0xB2}));
  EXPECT_EQ(lastBody(0x2514), encode(map({{22, integer(0)}, {23, bytes({1, 2})}})));
  EXPECT_EQ(code(device->upgradeKey({}, {}, &upgraded)), KM_ERROR_UNEXPECTED_NULL_POINTER);

  // Conversion to an ephemeral key replaces the output.
  SimSecureProcessor::get().queueResponse(ok(map({{36, bytes({0xE1})}})));
  Bytes ephemeral = {0xFF, 0xFF};
  ASSERT_TRUE(device->convertStorageKeyToEphemeral({3}, &ephemeral).isOk());
  EXPECT_EQ(ephemeral, Bytes{0xE1});
  EXPECT_EQ(lastBody(0x311d), encode(map({{23, bytes({3})}})));

  // StrongBox has no keys to delete all at once: nothing is sent.
  const size_t before = SimSecureProcessor::get().requests().size();
  EXPECT_TRUE(device->deleteAllKeys().isOk());
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), before);

  // The lock state and the end of early boot reach the processor at the next bring-up.
  EXPECT_TRUE(device->deviceLocked(true, std::nullopt).isOk());
  EXPECT_TRUE(device->earlyBootEnded().isOk());
  EXPECT_EQ(sent(0x211d), 0u);
  EXPECT_EQ(sent(0x211c), 0u);
  SimSecureProcessor::get().queueResponse(Response{});
  EXPECT_TRUE(device->deleteKey({4}).isOk());
  EXPECT_EQ(sent(0x211d), 1u);
  EXPECT_EQ(sent(0x211c), 1u);
  EXPECT_EQ(lastBody(0x211d), encode(map({{46, boolean(true)}})));
}

// ---------------------------------------------------------------- operations

class Operation : public KeyMintTest {
 protected:
  void SetUp() override {
    KeyMintTest::SetUp();
    ASSERT_TRUE(device->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  }
  std::shared_ptr<km::IKeyMintOperation> begin(const std::optional<km::HardwareAuthToken>& auth = std::nullopt) {
    km::BeginResult r;
    EXPECT_TRUE(device->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), auth, &r).isOk());
    return r.operation;
  }
  bool verifies(const Bytes& message, const Bytes& signature) {
    return verifiesWithCert(created.certificateChain[0].encodedCertificate, message, signature);
  }
  km::KeyCreationResult created;
};

TEST_F(Operation, UpdateSendsChunksFromWhereTheProcessorStopped) {
  struct Case {
    size_t input;
    size_t limit;
    std::vector<size_t> requests;
  };
  for (const Case& c : {Case{8192, SIZE_MAX, {8192}}, Case{8193, SIZE_MAX, {8192, 1}},
                        Case{8193, 5000, {8192, 3193}}, Case{12000, 3000, {8192, 8192, 6000, 3000}}}) {
    SCOPED_TRACE(c.input);
    sim->setUpdateLimit(c.limit);
    auto op = begin();
    size_t before = sim->updateSizes().size();
    Bytes message(c.input);
    for (size_t k = 0; k < message.size(); k++) message[k] = static_cast<uint8_t>(k % 251);
    Bytes out;
    ASSERT_TRUE(op->update(message, std::nullopt, std::nullopt, &out).isOk());
    auto sizes = sim->updateSizes();
    EXPECT_EQ(std::vector<size_t>(sizes.begin() + static_cast<long>(before), sizes.end()), c.requests);
    Bytes sig;
    ASSERT_TRUE(op->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &sig).isOk());
    EXPECT_TRUE(verifies(message, sig)) << "every byte signed once, in order";
  }
}

TEST_F(Operation, UpdateStopsWhenTheProcessorTakesNothingOrMoreThanItWasGiven) {
  for (uint64_t consumed : {0ull, 8193ull, 100000ull}) {
    SCOPED_TRACE(consumed);
    auto op = begin();
    const size_t before = sent(0x3111);
    sim->queue(0x3111, ok(map({{36, bytes({0x5A})}, {37, integer(static_cast<int64_t>(consumed))}})));
    Bytes out;
    auto st = op->update(Bytes(20000, 1), std::nullopt, std::nullopt, &out);
    EXPECT_EQ(code(st), KM_ERROR_UNKNOWN_ERROR);
    EXPECT_EQ(sent(0x3111) - before, 1u) << "no second request";
    EXPECT_EQ(out, Bytes{0x5A}) << "output already produced stays";
  }
}

TEST_F(Operation, UpdateArgumentsAndFailures) {
  auto op = begin();
  const size_t before = sent(0x3111);
  Bytes out;
  EXPECT_EQ(code(op->update({1}, std::nullopt, std::nullopt, nullptr)), KM_ERROR_OUTPUT_PARAMETER_NULL);
  EXPECT_EQ(sent(0x3111), before);
  sim->queue(0x3111, Response{KM_ERROR_INVALID_OPERATION_HANDLE, {}, std::nullopt});
  EXPECT_EQ(code(op->update(Bytes(9000, 2), std::nullopt, std::nullopt, &out)), KM_ERROR_INVALID_OPERATION_HANDLE);
  EXPECT_EQ(sent(0x3111), before + 1);
}

TEST_F(Operation, AuthTokenTravelsOnlyWithAThirtyTwoByteMac) {
  for (size_t mac : {31u, 32u, 33u}) {
    SCOPED_TRACE(mac);
    auto op = begin(token(mac));
    cbor_item_t* expected = nullptr;
    Bytes tokenBytes;
    if (mac == 32) {
      tokenBytes = ::aidl::android::hardware::security::keymint::km_utils::authToken2AidlVec(token(mac));
      ASSERT_EQ(tokenBytes.size(), 69u);
      expected = map({{22, integer(3)},
                      {0x20000005, integer(4)},
                      {kAuthTokenLabel, bytes(tokenBytes)},
                      {0x20000001, integer(2)},
                      {23, bytes(created.keyBlob)}});
    } else {
      expected = map({{22, integer(2)}, {0x20000005, integer(4)}, {0x20000001, integer(2)}, {23, bytes(created.keyBlob)}});
    }
    EXPECT_EQ(lastBody(0x310f), encode(expected));
    Bytes out;
    ASSERT_TRUE(op->update({1, 2, 3}, token(mac), std::nullopt, &out).isOk());
    Item update = loadItem(lastBody(0x3111));
    EXPECT_EQ(hasLabel(update.get(), kAuthTokenLabel), mac == 32);
  }
}

TEST_F(Operation, AssociatedDataAndTokenGoInOneRequest) {
  auto op = begin();
  const uint64_t handle = static_cast<const km::AndroidKeyMintOperation*>(op.get())->handle();
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_TRUE(op->updateAad({7, 8, 9}, token(32), std::nullopt).isOk());
  EXPECT_EQ(lastBody(0x311b), encode(map({{34, unsignedInt(handle)},
                                          {22, integer(2)},
                                          {kAuthTokenLabel, bytes(::aidl::android::hardware::security::keymint::km_utils::authToken2AidlVec(token(32)))},
                                          {-1879047192, bytes({7, 8, 9})}})));
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_TRUE(op->updateAad({}, std::nullopt, std::nullopt).isOk());
  EXPECT_EQ(lastBody(0x311b), encode(map({{34, unsignedInt(handle)}}))) << "the handle and nothing else";
}

TEST_F(Operation, DestroyingAnOperationAbortsItsHandleEvenAfterFinish) {
  auto op = begin();
  Bytes sig;
  ASSERT_TRUE(op->finish(Bytes{1}, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &sig).isOk());
  EXPECT_EQ(sent(0x2513), 0u);
  op.reset();
  EXPECT_EQ(sent(0x2513), 1u);
  // An explicit abort, then the destructor's.
  op = begin();
  EXPECT_EQ(sim->liveOperations(), 1u);
  EXPECT_TRUE(op->abort().isOk());
  EXPECT_EQ(sim->liveOperations(), 0u);
  EXPECT_EQ(code(op->abort()), KM_ERROR_INVALID_OPERATION_HANDLE);
  op.reset();
  EXPECT_EQ(sent(0x2513), 4u);
}

TEST_F(Operation, OperationsOutliveTheirDevice) {
  auto op = begin();
  device.reset();
  Bytes out, sig;
  ASSERT_TRUE(op->update({1, 2, 3}, std::nullopt, std::nullopt, &out).isOk());
  ASSERT_TRUE(op->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &sig).isOk());
  EXPECT_TRUE(verifies({1, 2, 3}, sig));
}

// ---------------------------------------------------------------- secure clock and shared secret

TEST_F(KeyMintTest, SecureClockOutlivesItsDevice) {
  auto clock = ::ndk::SharedRefBase::make<::aidl::android::hardware::security::secureclock::AndroidSecureClock>(device);
  device.reset();
  const Bytes mac(32, 0x3C);
  SimSecureProcessor::get().queueResponse(ok(map({{47, integer(77)}, {48, integer(123456)}, {50, bytes(mac)}})));
  ::aidl::android::hardware::security::secureclock::TimeStampToken t;
  ASSERT_TRUE(clock->generateTimeStamp(77, &t).isOk());
  EXPECT_EQ(lastBody(0x311c), encode(map({{47, integer(77)}})));
  EXPECT_EQ(t.challenge, 77);
  EXPECT_EQ(t.timestamp.milliSeconds, 123456);
  EXPECT_EQ(t.mac, mac);
  // A failure leaves the token as it was; the clock never configures the device.
  SimSecureProcessor::get().queueResponse(Response{-48, {}, std::nullopt});
  EXPECT_EQ(code(clock->generateTimeStamp(78, &t)), -48);
  EXPECT_EQ(t.challenge, 77);
  EXPECT_EQ(code(clock->generateTimeStamp(1, nullptr)), KM_ERROR_OUTPUT_PARAMETER_NULL);
  EXPECT_EQ(sent(0x215), 0u);
}

TEST_F(KeyMintTest, SharedSecretParametersAndComputation) {
  using ::aidl::android::hardware::security::sharedsecret::AndroidSharedSecret;
  using ::aidl::android::hardware::security::sharedsecret::SharedSecretParameters;
  auto secret = ::ndk::SharedRefBase::make<AndroidSharedSecret>(device);
  SimSecureProcessor::get().queueResponse(ok(map({{41, bytes(Bytes(32, 0))}, {42, bytes(Bytes(32, 0x42))}})));
  SharedSecretParameters mine;
  ASSERT_TRUE(secret->getSharedSecretParameters(&mine).isOk());
  EXPECT_EQ(mine.seed, Bytes(32, 0)) << "an all-zero seed is still 32 bytes";
  EXPECT_EQ(mine.nonce, Bytes(32, 0x42));

  std::vector<SharedSecretParameters> params = {
      {Bytes(32, 1), Bytes(32, 2)},  // whole
      {{}, Bytes(32, 3)},            // no seed
      {Bytes(32, 4), Bytes(31, 5)},  // short nonce: sent as zeros
      {Bytes(5, 6), Bytes(32, 7)},   // odd seed: sent as zeros
  };
  Bytes expected;
  auto append = [&](const Bytes& seed, const Bytes& nonce) {
    expected.insert(expected.end(), seed.begin(), seed.end());
    expected.insert(expected.end(), nonce.begin(), nonce.end());
  };
  append(Bytes(32, 1), Bytes(32, 2));
  append(Bytes(32, 0), Bytes(32, 3));
  append(Bytes(32, 0), Bytes(32, 0));
  append(Bytes(32, 0), Bytes(32, 0));
  const Bytes check(32, 0xC4);
  SimSecureProcessor::get().queueResponse(ok(map({{44, bytes(check)}})));
  Bytes got = {0xFF};
  ASSERT_TRUE(secret->computeSharedSecret(params, &got).isOk());
  EXPECT_EQ(got, check);
  EXPECT_EQ(lastBody(0x2707), encode(map({{43, bytes(expected)}})));

  SimSecureProcessor::get().queueResponse(ok(map({{44, bytes(check)}})));
  ASSERT_TRUE(secret->computeSharedSecret({}, &got).isOk());
  EXPECT_EQ(lastBody(0x2707), encode(map({{43, bytes({})}})));
  EXPECT_EQ(code(secret->computeSharedSecret({}, nullptr)), KM_ERROR_OUTPUT_PARAMETER_NULL);
}

}  // namespace
