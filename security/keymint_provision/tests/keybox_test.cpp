// The keybox request: PEM keys and certificates become the flat, 4-byte-aligned DER layout
// under command 0x702, copied out whole and delivered unchanged through the channel.
#include <openssl/evp.h>

#include <atomic>
#include <barrier>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "KeymasterUtils.h"
#include "libcbor_build.h"
#include "provision_fixture.h"

namespace {

using keymasterdevice::km_cert_entry_t;
using keymasterdevice::km_install_keybox_t;
using keymasterdevice::km_key_entry_t;
using keymasterdevice::KeymasterKeyProvision;
using provision_test::Bytes;
using provision_test::KeyMintRecorder;
using secproc_test::Response;
using secproc_test::SimSecureProcessor;

// The DER inside a PEM text: the Base64 between its armour lines.
Bytes pemBody(const std::string& pem) {
  const size_t begin = pem.find('\n') + 1;
  const size_t end = pem.find("-----END");
  std::string b64;
  for (size_t i = begin; i < end; i++) {
    if (pem[i] != '\n') b64 += pem[i];
  }
  Bytes out(b64.size());
  int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const uint8_t*>(b64.data()), static_cast<int>(b64.size()));
  for (size_t i = b64.size(); i > 0 && b64[i - 1] == '='; i--) n--;
  out.resize(static_cast<size_t>(n));
  return out;
}

// The expected request, written out field by field.
class Layout {
 public:
  Layout& u32(uint32_t v) {
    for (int i = 0; i < 4; i++) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  Layout& sized(const Bytes& b) {
    u32(static_cast<uint32_t>(b.size()));
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
    return *this;
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

struct Key {
  uint32_t algorithm;
  std::string pem;
  std::vector<std::string> certs;
};

// Owns the texts a km_install_keybox_t points to.
struct Keybox {
  Keybox(std::vector<Key> keys) : keys(std::move(keys)) {
    std::memset(&raw, 0x5A, sizeof raw.reserved);
    for (size_t k = 0; k < 2; k++) {
      auto& entries = certs[k];
      for (const std::string& c : this->keys[k].certs) entries.push_back({c.data(), c.size()});
      raw.keys[k] = {this->keys[k].algorithm, this->keys[k].pem.data(), this->keys[k].pem.size(),
                     entries.empty() ? nullptr : entries.data(), entries.size()};
    }
  }
  std::vector<Key> keys;
  std::vector<km_cert_entry_t> certs[2];
  km_install_keybox_t raw{};
};

class Keybox702 : public provision_test::ProvisionTest {
 protected:
  Bytes expected(const Keybox& box) {
    Layout l;
    l.u32(0x702).u32(2);
    for (const Key& k : box.keys) {
      l.u32(k.algorithm).sized(pemBody(k.pem)).u32(static_cast<uint32_t>(k.certs.size()));
      for (const std::string& c : k.certs) l.sized(pemBody(c));
    }
    return l.bytes();
  }
  std::string ec = readFile("attest_ec.pem"), rsa = readFile("attest_rsa.pem"), leaf = readFile("ec_leaf.pem"),
              root = readFile("ec_root.pem"), rsaCert = readFile("rsa_cert.pem"), ec2 = readFile("root_ec.pem");
};

TEST_F(Keybox702, RequestIsTheHandBuiltLayoutAndCrossesTheChannelUnchanged) {
  Keybox box({{KM_ALGORITHM_EC, ec, {leaf, root}}, {KM_ALGORITHM_RSA, rsa, {rsaCert}}});
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  ASSERT_EQ(provision.KeyMasterProvisionInit(), 0);
  std::vector<uint8_t> out(keymasterdevice::kMaxProvisionCmd, 0xEE);
  uint32_t outLength = 0;
  ASSERT_EQ(provision.KeyMasterInstallKeybox(&box.raw, out.data(), static_cast<uint32_t>(out.size()), &outLength), 0);
  const Bytes want = expected(box);
  ASSERT_EQ(outLength, want.size());
  EXPECT_EQ(Bytes(out.begin(), out.begin() + outLength), want);
  EXPECT_EQ(out[outLength], 0xEE) << "nothing written past the request";
  // The P-256 key's DER is 121 bytes: three zero bytes, then the certificate count 2.
  ASSERT_EQ(pemBody(ec).size(), 121u);
  EXPECT_EQ(Bytes(out.begin() + 16 + 121, out.begin() + 16 + 124), Bytes(3, 0));
  EXPECT_EQ(out[16 + 124], 2);

  // The KeyMint HAL was woken with a delete of 16 zero bytes, and the channel brought up.
  const auto calls = KeyMintRecorder::get().calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].code, 7u);
  EXPECT_EQ(calls[0].keyBlob, Bytes(16, 0));
  ASSERT_FALSE(SimSecureProcessor::get().commandIds().empty());
  EXPECT_EQ(SimSecureProcessor::get().commandIds().front(), platform::secproc::kCmdSetVersion);

  // The caller delivers the copy by its own means: the processor receives it byte for byte.
  keymasterutils::KeymasterUtils caller(KM_SECURITY_LEVEL_STRONGBOX);
  ASSERT_EQ(caller.secproc_init(), 0);
  SimSecureProcessor::get().clearRequests();
  SimSecureProcessor::get().queueResponse(Response{0, {}, std::nullopt});
  uint8_t response[64];
  ASSERT_EQ(caller.send_cmd(out.data(), outLength, response, sizeof response), 0);
  const auto requests = SimSecureProcessor::get().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].cmdId, 0x702u);
  EXPECT_EQ(requests[0].frame, want);
}

TEST_F(Keybox702, AKeyWithoutCertificatesWritesCountZeroAndTheNextKeyFollows) {
  Keybox box({{KM_ALGORITHM_EC, ec, {}}, {KM_ALGORITHM_EC, ec2, {root}}});
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  Bytes out(keymasterdevice::kMaxProvisionCmd);
  uint32_t outLength = 0;
  ASSERT_EQ(provision.KeyMasterInstallKeybox(&box.raw, out.data(), static_cast<uint32_t>(out.size()), &outLength), 0);
  out.resize(outLength);
  EXPECT_EQ(out, expected(box));
}

TEST_F(Keybox702, TheOutputMustHoldTheWholeRequest) {
  Keybox box({{KM_ALGORITHM_EC, ec, {leaf}}, {KM_ALGORITHM_EC, ec2, {}}});
  const auto size = static_cast<uint32_t>(expected(box).size());
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  // Exactly sized heap buffers, so that writing one byte too many would show.
  auto exact = std::make_unique<uint8_t[]>(size);
  uint32_t outLength = 0;
  EXPECT_EQ(provision.KeyMasterInstallKeybox(&box.raw, exact.get(), size, &outLength), 0);
  EXPECT_EQ(outLength, size);
  auto small = std::make_unique<uint8_t[]>(size - 1);
  std::memset(small.get(), 0xAB, size - 1);
  outLength = 7;
  EXPECT_EQ(provision.KeyMasterInstallKeybox(&box.raw, small.get(), size - 1, &outLength),
            keymasterdevice::kErrorInsufficientBufferSpace);
  EXPECT_EQ(outLength, 7u);
  EXPECT_EQ(small[0], 0xAB);
}

TEST_F(Keybox702, RefusedInputsLeaveTheOutputUntouched) {
  const std::string garbage = "-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n";
  std::vector<std::string> manyRoots(60, root);  // more DER than the command area holds
  struct Case {
    const char* what;
    std::function<void(Keybox&)> spoil;
    int result;
  };
  const Case cases[] = {
      {"key PEM of 2^32 bytes", [](Keybox& b) { b.raw.keys[1].key_pem_length = 1ull << 32; }, -38},
      {"certificate PEM of 2^32 bytes", [](Keybox& b) { b.certs[0][0].cert_pem_length = 1ull << 32; }, -38},
      // Lengths that no longer fit an int: OpenSSL would take them as "up to the NUL" and
      // read past a text that has none.
      {"key PEM of 2^31 + n bytes", [](Keybox& b) { b.raw.keys[0].key_pem_length |= 1ull << 31; }, -38},
      {"key PEM of 2^32 - 1 bytes", [](Keybox& b) { b.raw.keys[0].key_pem_length = 0xFFFFFFFFull; }, -38},
      {"certificate PEM of 2^31 + n bytes", [](Keybox& b) { b.certs[0][0].cert_pem_length |= 1ull << 31; }, -38},
      {"key that is not PEM", [&](Keybox& b) {
         b.raw.keys[0].key_pem = garbage.data();
         b.raw.keys[0].key_pem_length = garbage.size();
       }, -32},
      {"no key text", [](Keybox& b) { b.raw.keys[0].key_pem = nullptr; }, -32},
      {"certificate that is not PEM", [&](Keybox& b) { b.certs[0][0] = {garbage.data(), garbage.size()}; }, -32},
      {"certificate count without certificates", [](Keybox& b) { b.raw.keys[1].cert_count = 2; }, -32},
  };
  for (const Case& c : cases) {
    Keybox box({{KM_ALGORITHM_EC, ec, {leaf}}, {KM_ALGORITHM_EC, ec2, {}}});
    c.spoil(box);
    KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
    Bytes out(64, 0xAB);
    uint32_t outLength = 9;
    EXPECT_EQ(provision.KeyMasterInstallKeybox(&box.raw, out.data(), keymasterdevice::kMaxProvisionCmd, &outLength),
              c.result)
        << c.what;
    EXPECT_EQ(out, Bytes(64, 0xAB)) << c.what;
    EXPECT_EQ(outLength, 9u) << c.what;
  }
  Keybox big({{KM_ALGORITHM_EC, ec, manyRoots}, {KM_ALGORITHM_EC, ec2, {}}});
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  Bytes out(keymasterdevice::kMaxProvisionCmd, 0xAB);
  uint32_t outLength = 9;
  EXPECT_EQ(provision.KeyMasterInstallKeybox(&big.raw, out.data(), static_cast<uint32_t>(out.size()), &outLength), -21);
  EXPECT_EQ(outLength, 9u);
}

TEST_F(Keybox702, OnlyStrongBoxProvisionsAndABringUpFailureIsReturned) {
  KeymasterKeyProvision tee(KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT);
  EXPECT_EQ(tee.KeyMasterProvisionInit(), -100);

  SimSecureProcessor::get().setSetVersionStatus(5);
  Keybox box({{KM_ALGORITHM_EC, ec, {}}, {KM_ALGORITHM_EC, ec2, {}}});
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  Bytes out(64, 0xAB);
  uint32_t outLength = 9;
  EXPECT_EQ(provision.KeyMasterInstallKeybox(&box.raw, out.data(), keymasterdevice::kMaxProvisionCmd, &outLength),
            KM_ERROR_UNKNOWN_ERROR);
  EXPECT_EQ(out, Bytes(64, 0xAB));
  EXPECT_EQ(outLength, 9u);
}

TEST_F(Keybox702, WithoutAKeyMintServiceTheRequestIsStillBuilt) {
  keyMint = ::ndk::SpAIBinder();
  platform_binder_test::resetServiceManager();
  platform_binder_test::setWaitForServiceTimeout(std::chrono::milliseconds(0));
  Keybox box({{KM_ALGORITHM_EC, ec, {}}, {KM_ALGORITHM_EC, ec2, {}}});
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  Bytes out(keymasterdevice::kMaxProvisionCmd);
  uint32_t outLength = 0;
  ASSERT_EQ(provision.KeyMasterInstallKeybox(&box.raw, out.data(), static_cast<uint32_t>(out.size()), &outLength), 0);
  out.resize(outLength);
  EXPECT_EQ(out, expected(box));
  EXPECT_TRUE(KeyMintRecorder::get().calls().empty());
}

// An outside caller may hold one provisioning object and call it from two threads, the
// keybox on one and the device identifiers on the other. With a restart before each round
// both calls find the channel to bring up again: the object brings it up once per round, and
// each call gets its own request back whole.
TEST_F(Keybox702, OneObjectCalledFromTwoThreadsWithARestartBeforeEachRound) {
  constexpr int kRounds = 20;
  Keybox box({{KM_ALGORITHM_EC, ec, {leaf, root}}, {KM_ALGORITHM_RSA, rsa, {rsaCert}}});
  const Bytes keyboxWant = expected(box);
  Bytes idsWant = {0x03, 0x07, 0x00, 0x00};
  const Bytes brand = {'b', 'r', 'a', 'n', 'd'};
  // {KM_TAG_ATTESTATION_ID_BRAND as a signed label: "brand"}, behind the parameter count.
  const Bytes idsBody = kmtest::encode(kmtest::map(
      {{22, kmtest::unsignedInt(1)}, {static_cast<int32_t>(0x900002c6), kmtest::bytes(brand)}}));
  idsWant.insert(idsWant.end(), idsBody.begin(), idsBody.end());

  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  std::barrier step(3);
  std::atomic<int> wrong{0};
  auto rounds = [&](const Bytes& want, const std::function<int(uint8_t*, uint32_t*)>& call) {
    for (int r = 0; r < kRounds; r++) {
      step.arrive_and_wait();
      Bytes out(keymasterdevice::kMaxProvisionCmd);
      uint32_t outLength = 0;
      const int rc = call(out.data(), &outLength);
      out.resize(outLength);
      if (rc != 0 || out != want) wrong++;
      step.arrive_and_wait();
    }
  };
  std::thread keybox(rounds, std::cref(keyboxWant), [&](uint8_t* out, uint32_t* length) {
    return provision.KeyMasterInstallKeybox(&box.raw, out, keymasterdevice::kMaxProvisionCmd, length);
  });
  std::thread ids(rounds, std::cref(idsWant), [&](uint8_t* out, uint32_t* length) {
    return provision.KeyMasterProvisionDeviceId("brand", "", "", "", "", "", {}, {}, out,
                                                keymasterdevice::kMaxProvisionCmd, length);
  });
  std::vector<int> versions;
  for (int r = 0; r < kRounds; r++) {
    SimSecureProcessor::get().restart();
    SimSecureProcessor::get().clearRequests();
    step.arrive_and_wait();
    step.arrive_and_wait();
    int n = 0;
    for (uint32_t id : SimSecureProcessor::get().commandIds()) n += id == platform::secproc::kCmdSetVersion;
    versions.push_back(n);
  }
  keybox.join();
  ids.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(versions, std::vector<int>(kRounds, 1)) << "one bring-up of the object per restart";
  EXPECT_EQ(KeyMintRecorder::get().calls().size(), size_t{2 * kRounds}) << "each call woke the KeyMint HAL";
}

}  // namespace
