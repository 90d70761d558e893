// The device-identifier request: the non-empty identifiers as bytes parameters of one CBOR
// map under command 0x703, compared with a map built independently with libcbor.
#include <atomic>
#include <cstring>
#include <latch>
#include <thread>

#include "libcbor_build.h"
#include "provision_fixture.h"

namespace {

using keymasterdevice::keymaster_device_id_t;
using keymasterdevice::KeymasterKeyProvision;
using provision_test::Bytes;
using secproc_test::SimSecureProcessor;

constexpr int64_t kParamCount = 22;

// A tag as a map label: its 32 bits read as a signed integer.
int64_t label(uint32_t tag) { return static_cast<int32_t>(tag); }
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct Ids {
  std::string brand, device, product, serial, manufacturer, model;
  keymaster_device_id_t imeis, meids;
};

Bytes request(KeymasterKeyProvision& p, const Ids& ids, uint32_t outSize = keymasterdevice::kMaxProvisionCmd,
              int* result = nullptr) {
  Bytes out(keymasterdevice::kMaxProvisionCmd, 0xAB);
  uint32_t outLength = 0;
  const int r = p.KeyMasterProvisionDeviceId(ids.brand, ids.device, ids.product, ids.serial, ids.manufacturer,
                                             ids.model, ids.imeis, ids.meids, out.data(), outSize, &outLength);
  if (result != nullptr) *result = r;
  if (r != 0) return out;
  out.resize(outLength);
  return out;
}

Bytes frame703(cbor_item_t* map) {
  Bytes f = {0x03, 0x07, 0x00, 0x00};
  const Bytes body = kmtest::encode(map);
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

using provision_test::ProvisionTest;

TEST_F(ProvisionTest, EveryIdentifierInItsOrderWithTheSecondMeidUnderTheFirstTag) {
  Ids ids{"brandX", "dev", "prod", "SER123", "maker", "model-9", {2, {"35000001", "35000002"}}, {2, {"A1", "A2"}}};
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  using kmtest::bytes;
  const Bytes want = frame703(kmtest::map({
      {kParamCount, kmtest::unsignedInt(10)},
      {label(0x900002c6), bytes(text("brandX"))},
      {label(0x900002c7), bytes(text("dev"))},
      {label(0x900002c8), bytes(text("prod"))},
      {label(0x900002c9), bytes(text("SER123"))},
      {label(0x900002cc), bytes(text("maker"))},
      {label(0x900002cd), bytes(text("model-9"))},
      {label(0x900002ca), bytes(text("35000001"))},
      {label(0x900002d3), bytes(text("35000002"))},
      {label(0x900002cb), bytes(text("A1"))},
      {label(0x900002cb), bytes(text("A2"))},
  }));
  EXPECT_EQ(request(provision, ids), want);
  // Brought up through the KeyMint HAL first, like the keybox request.
  EXPECT_EQ(provision_test::KeyMintRecorder::get().calls().size(), 1u);
}

TEST_F(ProvisionTest, EmptyIdentifiersAndUnusedCountsAreLeftOut) {
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  struct Case {
    Ids ids;
    std::vector<std::pair<uint32_t, std::string>> params;
  };
  const Case cases[] = {
      {{}, {}},
      // Counts of 0 ignore what the strings hold; a count of 1 uses only the first.
      {{"", "", "", "", "", "", {0, {"1", "2"}}, {1, {"M", "N"}}}, {{0x900002cb, "M"}}},
      {{"b", "", "p", "", "", "m", {1, {"I", "J"}}, {0, {}}}, {{0x900002c6, "b"}, {0x900002c8, "p"}, {0x900002cd, "m"}, {0x900002ca, "I"}}},
      // An empty second IMEI is left out too.
      {{"", "", "", "", "", "", {2, {"I", ""}}, {0, {}}}, {{0x900002ca, "I"}}},
  };
  for (const Case& c : cases) {
    cbor_item_t* m = cbor_new_definite_map(c.params.size() + 1);
    cbor_map_add(m, cbor_pair{cbor_move(kmtest::integer(kParamCount)), cbor_move(kmtest::unsignedInt(c.params.size()))});
    for (const auto& [tag, value] : c.params) {
      cbor_map_add(m, cbor_pair{cbor_move(kmtest::integer(label(tag))), cbor_move(kmtest::bytes(text(value)))});
    }
    EXPECT_EQ(request(provision, c.ids), frame703(m)) << c.params.size();
  }
}

TEST_F(ProvisionTest, DeviceIdFailuresLeaveTheOutputUntouched) {
  Ids ids{"brand", "", "", "", "", "", {}, {}};
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  int result = 0;
  const Bytes ok = request(provision, ids);
  ASSERT_GT(ok.size(), 4u);
  // One byte short of the request.
  Bytes out = request(provision, ids, static_cast<uint32_t>(ok.size() - 1), &result);
  EXPECT_EQ(result, keymasterdevice::kErrorInsufficientBufferSpace);
  EXPECT_EQ(out, Bytes(keymasterdevice::kMaxProvisionCmd, 0xAB));

  // Identifiers larger than the command area.
  Ids huge = ids;
  huge.serial = std::string(keymasterutils::kCmdAreaSize, 's');
  out = request(provision, huge, keymasterdevice::kMaxProvisionCmd, &result);
  EXPECT_NE(result, 0);
  EXPECT_EQ(out, Bytes(keymasterdevice::kMaxProvisionCmd, 0xAB));

  SimSecureProcessor::get().restart();
  SimSecureProcessor::get().setSetVersionStatus(3);
  out = request(provision, ids, keymasterdevice::kMaxProvisionCmd, &result);
  EXPECT_EQ(result, KM_ERROR_UNKNOWN_ERROR);
  EXPECT_EQ(out, Bytes(keymasterdevice::kMaxProvisionCmd, 0xAB));
}

// An outside caller makes and drops a provisioning object on one thread while a channel
// object of the same process (the KeyMint HAL's, say) exchanges on another: the process-wide
// client is shared, so the provisioning object's cleanup leaves the other's exchanges alone.
TEST_F(ProvisionTest, AProvisioningObjectComesAndGoesWhileAChannelObjectExchanges) {
  SimSecureProcessor::get().setWeaverConfig(16, 24, 32);
  std::latch firstExchange(1);
  std::atomic<bool> provisioned{false};
  std::atomic<int> failed{0};
  std::thread channel([&] {
    keymasterutils::KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
    if (!weaverConfigExchange(utils)) failed++;
    firstExchange.count_down();
    while (!provisioned.load()) {
      if (!weaverConfigExchange(utils)) failed++;
    }
    for (int k = 0; k < 5; k++) {
      if (!weaverConfigExchange(utils)) failed++;
    }
  });
  std::thread provisioning([&] {
    firstExchange.wait();
    {
      KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
      int result = -1;
      request(provision, Ids{"brand", "", "", "", "", "", {}, {}}, keymasterdevice::kMaxProvisionCmd, &result);
      if (result != 0) failed++;
    }
    provisioned = true;
  });
  provisioning.join();
  channel.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 1);
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 1) << "ended by the last object only";
}

// CopyCmd called on one thread while another frames device-identifier requests on the same
// object, as an outside caller sharing the object might: every copy is the whole request the
// command area holds between requests, never one half cleared or half built.
TEST_F(ProvisionTest, CopyCmdOnAnotherThreadSeesOnlyWholeRequests) {
  constexpr int kRequests = 200;
  const Ids ids{"brand", "device", "product", "", "", "", {}, {}};
  KeymasterKeyProvision provision(KM_SECURITY_LEVEL_STRONGBOX);
  const Bytes want = request(provision, ids);
  ASSERT_GT(want.size(), 4u);
  std::atomic<bool> done{false};
  std::atomic<int> wrongRequests{0};
  std::thread framing([&] {
    for (int k = 0; k < kRequests; k++) {
      if (request(provision, ids) != want) wrongRequests++;
    }
    done = true;
  });
  int copies = 0, torn = 0;
  Bytes out(want.size());
  while (!done.load()) {
    uint32_t length = 0;
    const int rc = provision.CopyCmd(static_cast<uint32_t>(want.size() - 4), out.data(),
                                     static_cast<uint32_t>(out.size()), &length);
    torn += rc != 0 || length != want.size() || out != want;
    copies++;
  }
  framing.join();
  EXPECT_EQ(wrongRequests.load(), 0);
  EXPECT_GT(copies, 0);
  EXPECT_EQ(torn, 0) << "copies that were not the whole request, of " << copies;
}

}  // namespace
