// The StrongBox KeyMint device served through the binder stand-in, a client reaching it
// through the service manager, and the simulated secure processor's KeyMint application
// doing the cryptography: generate a P-256 key, sign 20000 bytes, verify with OpenSSL.
#include <android/binder_manager.h>
#include <android/binder_process.h>
#include <platform/temp_root.h>
#include <platform_binder_test.h>

#include <aidl/android/hardware/security/secureclock/ISecureClock.h>
#include <aidl/android/hardware/security/sharedsecret/ISharedSecret.h>

#include "AndroidSecureClock.h"
#include "AndroidSharedSecret.h"
#include "keymint_hal_fixture.h"
#include "libcbor_build.h"
#include "vendor_test/together.h"

#include <algorithm>
#include <atomic>

namespace {

using namespace kmhal_test;
using Bytes = std::vector<uint8_t>;
using namespace kmtest;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr char kInstance[] = "android.hardware.security.keymint.IKeyMintDevice/strongbox";

struct X509Free {
  void operator()(X509* x) const { X509_free(x); }
};
struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};

std::unique_ptr<X509, X509Free> parseCert(const Bytes& der) {
  const unsigned char* p = der.data();
  return std::unique_ptr<X509, X509Free>(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

class KeyMintOverBinder : public KeyMintTest {
 protected:
  void SetUp() override {
    KeyMintTest::SetUp();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    ASSERT_EQ(AServiceManager_addService(device->asBinder().get(), kInstance), EX_NONE);
    client = km::GetKeyMintDeviceService(km::SecurityLevel::STRONGBOX);
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(client->isRemote()) << "calls go through parcels";
  }
  void TearDown() override {
    client.reset();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    KeyMintTest::TearDown();
  }
  std::shared_ptr<km::IKeyMintDevice> client;
};

TEST_F(KeyMintOverBinder, GeneratedP256KeySignsTwentyThousandBytesThatTheChainLeafVerifies) {
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  ASSERT_EQ(created.certificateChain.size(), 2u);
  ASSERT_EQ(created.keyCharacteristics.size(), 1u) << "no software-enforced entry";
  EXPECT_EQ(created.keyCharacteristics[0].securityLevel, km::SecurityLevel::STRONGBOX);

  auto leaf = parseCert(created.certificateChain[0].encodedCertificate);
  auto root = parseCert(created.certificateChain[1].encodedCertificate);
  ASSERT_TRUE(leaf && root);
  std::unique_ptr<EVP_PKEY, PkeyFree> rootKey(X509_get_pubkey(root.get()));
  EXPECT_EQ(X509_verify(leaf.get(), rootKey.get()), 1) << "leaf signed by the attestation key";
  EXPECT_EQ(created.certificateChain[1].encodedCertificate, sim->rootCertificate());

  km::BeginResult begun;
  ASSERT_TRUE(client->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), std::nullopt, &begun).isOk());
  ASSERT_NE(begun.operation, nullptr);
  EXPECT_TRUE(begun.operation->isRemote());
  EXPECT_NE(begun.challenge, 0);

  Bytes message(20000);
  for (size_t k = 0; k < message.size(); k++) message[k] = static_cast<uint8_t>(k * 31 + 7);
  Bytes out;
  ASSERT_TRUE(begun.operation->update(message, std::nullopt, std::nullopt, &out).isOk());
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(sim->updateSizes(), (std::vector<size_t>{8192, 8192, 3616}));
  EXPECT_EQ(sent(0x3111), 3u);

  Bytes signature;
  ASSERT_TRUE(begun.operation->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &signature)
                  .isOk());
  const Bytes& leafDer = created.certificateChain[0].encodedCertificate;
  EXPECT_TRUE(verifiesWithCert(leafDer, message, signature));
  Bytes altered = message;
  altered[19999] ^= 1;
  EXPECT_FALSE(verifiesWithCert(leafDer, altered, signature));
  EXPECT_EQ(sim->liveOperations(), 0u);
}

// Clients sign on one device from several threads at once, as a device's keystore does:
// each operation's signature is its own message's, by the key its blob names.
TEST_F(KeyMintOverBinder, ClientsSignFromSeveralThreadsAtOnce) {
  constexpr int kThreads = 6;
  std::vector<km::KeyCreationResult> keys(2);
  for (auto& k : keys) ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &k).isOk());
  std::atomic<int> verified{0};
  vendor_test::runTogether(kThreads, [&](int t) {
    const km::KeyCreationResult& key = keys[static_cast<size_t>(t % 2)];
    for (int round = 0; round < 3; round++) {
      Bytes message(100 + 1000 * t + round, static_cast<uint8_t>(t * 16 + round));
      km::BeginResult begun;
      Bytes out, signature;
      if (!client->begin(km::KeyPurpose::SIGN, key.keyBlob, sha256(), std::nullopt, &begun).isOk() ||
          !begun.operation->update(message, std::nullopt, std::nullopt, &out).isOk() ||
          !begun.operation->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &signature)
               .isOk()) {
        continue;
      }
      begun.operation.reset();
      if (verifiesWithCert(key.certificateChain[0].encodedCertificate, message, signature)) verified++;
    }
  });
  EXPECT_EQ(verified.load(), kThreads * 3);
  EXPECT_EQ(sim->liveOperations(), 0u);
}

TEST_F(KeyMintOverBinder, AnAlteredKeyBlobIsRefusedAndNoOperationIsHandedOut) {
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  Bytes blob = created.keyBlob;
  blob[blob.size() - 1] ^= 0x80;  // inside the sealed key
  km::BeginResult begun;
  auto st = client->begin(km::KeyPurpose::SIGN, blob, sha256(), std::nullopt, &begun);
  EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(st.getServiceSpecificError(), KM_ERROR_INVALID_KEY_BLOB);
  EXPECT_EQ(begun.operation, nullptr);
}

// Whatever goes wrong, a client through the proxy reads one of the interface's ErrorCode
// values: answers the codec cannot read are unknown errors, the processor's own statuses and
// the codec's KeyMint codes pass unchanged.
TEST_F(KeyMintOverBinder, EveryFailureReachesTheClientAsAnErrorCode) {
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  using platform::secproc::Response;
  struct Case {
    const char* what;
    Response answer;
    int32_t code;
  };
  const Case cases[] = {
      {"answer cut inside its map (decoder: hit end)", Response{0, {0xA2, 0x18, 0x22}, std::nullopt}, -1000},
      {"a map label that is no integer or string", Response{0, {0xA1, 0x80, 0x01}, std::nullopt}, -1000},
      {"bytes after the map", Response{0, encode(map({{34, integer(7)}})) + Bytes{0x00}, std::nullopt}, -1000},
      {"an entry left unread", Response{0, encode(map({{34, integer(7)}, {99, integer(1)}})), std::nullopt}, -1000},
      {"a different label", Response{0, encode(map({{35, integer(7)}})), std::nullopt}, -1000},
      {"not a map", Response{0, encode(array({integer(34), integer(7)})), std::nullopt}, -1000},
      {"a byte string as a ulong parameter",
       Response{0, encode(map({{22, integer(1)}, {0x500000C8, bytes({0x41, 0x42, 0x43, 0x44})}, {34, integer(7)}})),
                std::nullopt},
       KM_ERROR_INVALID_TAG},
      {"the handle inside a type-11 map",
       Response{0, encode(map({{22, integer(1)}, {static_cast<int32_t>(0xB0000001u), map({{34, integer(9)}})}})),
                std::nullopt},
       KM_ERROR_INVALID_TAG},
      {"a parameter count of 2^40", Response{0, encode(map({{22, integer(INT64_C(1) << 40)}, {34, integer(7)}})), std::nullopt},
       -1000},
      {"a key size of 2^32 + 5",
       Response{0, encode(map({{22, integer(1)}, {0x30000003, integer((INT64_C(1) << 32) + 5)}, {34, integer(7)}})),
                std::nullopt},
       KM_ERROR_INVALID_TAG},
      {"the processor's status", Response{KM_ERROR_INVALID_KEY_BLOB, {}, std::nullopt}, KM_ERROR_INVALID_KEY_BLOB},
      {"the processor's version mismatch", Response{-101, {}, std::nullopt}, -101},
      {"a positive processor status", Response{5, {}, std::nullopt}, -1000},
      {"an unassigned processor status", Response{-42, {}, std::nullopt}, -1000},
      {"a processor status below the table", Response{-86, {}, std::nullopt}, -1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim->queue(0x310f, c.answer);
    km::BeginResult begun;
    auto st = client->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), std::nullopt, &begun);
    EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
    EXPECT_EQ(st.getServiceSpecificError(), c.code);
    EXPECT_EQ(begun.operation, nullptr);
  }

  // Blobs the processor opens but whose characteristics this device cannot read: that is
  // found after the processor began its operation, which nobody would ever end, so it is
  // aborted again and the client gets an error code of the interface.
  constexpr int64_t kPurpose = 0x20000001;
  const struct {
    const char* what;
    Bytes characteristics;
    int32_t code;
  } unreadable[] = {
      {"no software list", encode(map({{2, map({{kPurpose, integer(2)}})}})), KM_ERROR_UNKNOWN_ERROR},
      {"a bytes tag in the hardware list",
       encode(map({{2, map({{kPurpose, integer(2)}, {0x90000259, bytes({1})}})}, {0, map({})}})), KM_ERROR_INVALID_TAG},
      {"a key size of 2^32 + 5",
       encode(map({{2, map({{kPurpose, integer(2)}, {0x30000003, integer((INT64_C(1) << 32) + 5)}})}, {0, map({})}})),
       KM_ERROR_INVALID_TAG},
  };
  for (const auto& c : unreadable) {
    SCOPED_TRACE(c.what);
    const size_t begunBefore = sim->begunHandles().size();
    km::BeginResult begun;
    auto st = client->begin(km::KeyPurpose::SIGN, sim->keyBlobWith(c.characteristics), sha256(), std::nullopt, &begun);
    EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
    EXPECT_EQ(st.getServiceSpecificError(), c.code);
    EXPECT_EQ(begun.operation, nullptr);
    const std::vector<uint64_t> handles = sim->begunHandles();
    ASSERT_EQ(handles.size(), begunBefore + 1) << "the processor began an operation";
    const std::vector<uint64_t> aborted = sim->abortedHandles();
    EXPECT_TRUE(!aborted.empty() && aborted.back() == handles.back()) << "and saw it aborted";
  }
  EXPECT_EQ(sim->liveOperations(), 0u);

  // The same on an operation: an update answer cut short reaches its client as an unknown error.
  km::BeginResult begun;
  ASSERT_TRUE(client->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), std::nullopt, &begun).isOk());
  sim->queue(0x3111, Response{0, {0xA2, 0x18, 0x25}, std::nullopt});
  Bytes out;
  auto st = begun.operation->update({1, 2, 3}, std::nullopt, std::nullopt, &out);
  EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(st.getServiceSpecificError(), -1000);
}

// An empty update is valid: it returns no output, and the signature still covers the input
// given before and after it.
TEST_F(KeyMintOverBinder, AnEmptyUpdateIsAccepted) {
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk());
  km::BeginResult begun;
  ASSERT_TRUE(client->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), std::nullopt, &begun).isOk());
  Bytes out = {0xEE};
  auto st = begun.operation->update({}, std::nullopt, std::nullopt, &out);
  ASSERT_TRUE(st.isOk()) << st.getServiceSpecificError();
  EXPECT_TRUE(out.empty()) << "no output";
  out.clear();
  ASSERT_TRUE(begun.operation->update({1, 2, 3}, std::nullopt, std::nullopt, &out).isOk());
  ASSERT_TRUE(begun.operation->update({}, std::nullopt, std::nullopt, &out).isOk());
  Bytes signature;
  ASSERT_TRUE(
      begun.operation->finish(Bytes{4}, std::nullopt, std::nullopt, std::nullopt, std::nullopt, &signature).isOk());
  EXPECT_TRUE(verifiesWithCert(created.certificateChain[0].encodedCertificate, {1, 2, 3, 4}, signature));
}

TEST_F(KeyMintOverBinder, HardwareInfoAndUnimplementedMethods) {
  km::KeyMintHardwareInfo info;
  ASSERT_TRUE(client->getHardwareInfo(&info).isOk());
  EXPECT_EQ(info.versionNumber, 5);
  EXPECT_EQ(info.securityLevel, km::SecurityLevel::STRONGBOX);
  EXPECT_EQ(info.keyMintName, "Keymint HAL: 5");
  EXPECT_EQ(info.keyMintAuthorName, "");
  EXPECT_FALSE(info.timestampTokenRequired);
  int32_t version = 0;
  ASSERT_TRUE(client->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(version, 3);

  std::array<uint8_t, 16> challenge{};
  Bytes rot;
  EXPECT_EQ(client->getRootOfTrustChallenge(&challenge).getServiceSpecificError(), -100);
  EXPECT_EQ(client->getRootOfTrust(challenge, &rot).getServiceSpecificError(), -100);
  EXPECT_EQ(client->sendRootOfTrust({1, 2}).getServiceSpecificError(), -100);
  EXPECT_TRUE(secproc_test::SimSecureProcessor::get().requests().empty());
}

TEST_F(KeyMintOverBinder, SecureClockAndSharedSecretAnswerThroughTheirProxies) {
  namespace sc = ::aidl::android::hardware::security::secureclock;
  namespace ss = ::aidl::android::hardware::security::sharedsecret;
  auto clock = ::ndk::SharedRefBase::make<sc::AndroidSecureClock>(device);
  auto secret = ::ndk::SharedRefBase::make<ss::AndroidSharedSecret>(device);
  ASSERT_EQ(AServiceManager_addService(clock->asBinder().get(), "android.hardware.security.secureclock.ISecureClock/default"),
            EX_NONE);
  ASSERT_EQ(AServiceManager_addService(secret->asBinder().get(),
                                       "android.hardware.security.sharedsecret.ISharedSecret/strongbox"),
            EX_NONE);
  auto clockProxy = sc::ISecureClock::fromBinder(
      ::ndk::SpAIBinder(AServiceManager_waitForService("android.hardware.security.secureclock.ISecureClock/default")));
  auto secretProxy = ss::ISharedSecret::fromBinder(::ndk::SpAIBinder(
      AServiceManager_waitForService("android.hardware.security.sharedsecret.ISharedSecret/strongbox")));
  ASSERT_TRUE(clockProxy && secretProxy);
  ASSERT_TRUE(clockProxy->isRemote());

  using namespace kmtest;
  const Bytes mac(32, 0x6D);
  secproc_test::SimSecureProcessor::get().queueResponse(
      {0, encode(map({{47, integer(5)}, {48, integer(99)}, {50, bytes(mac)}})), std::nullopt});
  sc::TimeStampToken token;
  ASSERT_TRUE(clockProxy->generateTimeStamp(5, &token).isOk());
  EXPECT_EQ(token.challenge, 5);
  EXPECT_EQ(token.timestamp.milliSeconds, 99);
  EXPECT_EQ(token.mac, mac);

  secproc_test::SimSecureProcessor::get().queueResponse(
      {0, encode(map({{44, bytes(Bytes(32, 0xC7))}})), std::nullopt});
  Bytes check;
  ASSERT_TRUE(secretProxy->computeSharedSecret({{Bytes(32, 1), Bytes(32, 2)}}, &check).isOk());
  EXPECT_EQ(check, Bytes(32, 0xC7));
  secproc_test::SimSecureProcessor::get().queueResponse({-38, {}, std::nullopt});
  ss::SharedSecretParameters params;
  auto st = secretProxy->getSharedSecretParameters(&params);
  EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(st.getServiceSpecificError(), -38);
  int32_t version = 0;
  ASSERT_TRUE(secretProxy->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(version, 1);
}

// Several clients destroy the attestation identifiers at once, each call on a serving thread
// of its own: the device's trusted-application utilities are used by one request at a time,
// so the application is looked up once and its record deleted once.
TEST_F(KeyMintOverBinder, DestroyAttestationIdsFromSeveralClientsAtOnce) {
  constexpr int kClients = 6;
  constexpr uint32_t kDeviceIdsTag = 0x44495354;
  ABinderProcess_setThreadPoolMaxThreadCount(8);
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk()) << "the channel is up";
  auto envOpens = [] {
    int n = 0;
    for (const auto& inv : secproc_test::SimTz::get().invocations()) n += inv.object == "env" && inv.op == 0;
    return n;
  };
  const int opensBefore = envOpens();
  secproc_test::SimTz::get().setStorage(kDeviceIdsTag, {1, 2, 3});
  for (int k = 0; k < kClients; k++) secproc_test::SimSecureProcessor::get().queueResponse({0, {}, std::nullopt});
  std::vector<int32_t> codes(kClients, 1);
  vendor_test::runTogether(kClients, [&](int k) { codes[static_cast<size_t>(k)] = code(client->destroyAttestationIds()); });
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 0), 1) << "the record is deleted once";
  EXPECT_EQ(std::count(codes.begin(), codes.end(), -1000), kClients - 1) << "the others find nothing to delete";
  EXPECT_EQ(sent(0x2704), size_t{kClients});
  EXPECT_EQ(secproc_test::SimTz::get().storage().count(kDeviceIdsTag), 0u);
  EXPECT_EQ(envOpens(), opensBefore + 1) << "the device's application utilities load once";
}

// The secure processor destroyed the identifiers, but the trusted application is not running
// and its image is empty: the client gets an error, and the service goes on.
TEST_F(KeyMintOverBinder, DestroyAttestationIdsWithAnEmptyTrustedAppImageIsAnError) {
  km::KeyCreationResult created;
  ASSERT_TRUE(client->generateKey(p256SigningKey(), std::nullopt, &created).isOk()) << "the channel is up";
  platform::testing::TempRoot root;
  root.writeFile("/vendor/firmware_mnt/image/secproc_service.img", "");
  secproc_test::SimTz::get().setAppRunning(false);
  const int liveBefore = secproc_test::SimTz::get().liveObjects();
  secproc_test::SimSecureProcessor::get().queueResponse({0, {}, std::nullopt});
  auto st = client->destroyAttestationIds();
  EXPECT_EQ(st.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(st.getServiceSpecificError(), KM_ERROR_UNEXPECTED_NULL_POINTER) << "the application is not loaded";
  EXPECT_EQ(secproc_test::SimTz::get().liveObjects(), liveBefore) << "the failed load released its objects";
  km::BeginResult begun;
  EXPECT_TRUE(client->begin(km::KeyPurpose::SIGN, created.keyBlob, sha256(), std::nullopt, &begun).isOk());
}

TEST(KeyMintService, OnlyARegisteredStrongBoxIsFound) {
  EXPECT_EQ(km::GetKeyMintDeviceService(km::SecurityLevel::TRUSTED_ENVIRONMENT), nullptr);
  EXPECT_EQ(km::GetKeyMintDeviceService(km::SecurityLevel::SOFTWARE), nullptr);
  platform_binder_test::resetServiceManager();
  platform_binder_test::setWaitForServiceTimeout(std::chrono::milliseconds(20));
  EXPECT_EQ(km::GetKeyMintDeviceService(km::SecurityLevel::STRONGBOX), nullptr);
  platform_binder_test::resetServiceManager();
}

}  // namespace
