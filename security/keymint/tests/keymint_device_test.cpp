// KeymasterHalDevice through the real channel library to the simulated secure processor,
// whose answers are built with libcbor; and the old key-blob layout.
#include <gtest/gtest.h>
#include <hardware_legacy/power.h>
#include <platform/wakelock_test.h>
#include <tzcom/sim_tz.h>
#include <vaultlink/sim_secproc.h>

#include <atomic>
#include <cstring>

#include "KeymasterHalDevice.h"
#include "libcbor_build.h"
#include "secproc_channel_fixture.h"
#include "vendor_test/together.h"

namespace {

using keymasterdevice::Command;
using keymasterdevice::KeymasterHalDevice;
using secproc_test::Response;
using secproc_test::SimSecureProcessor;
using namespace kmtest;

keymaster_key_param_t param(keymaster_tag_t tag, uint64_t v) {
  keymaster_key_param_t p{};
  p.tag = tag;
  if ((static_cast<uint32_t>(tag) >> 28) == 5 || (static_cast<uint32_t>(tag) >> 28) == 6) {
    p.long_integer = v;
  } else if ((static_cast<uint32_t>(tag) >> 28) == 7) {
    p.boolean = true;
  } else {
    p.integer = static_cast<uint32_t>(v);
  }
  return p;
}

class Device : public secproc_test::ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    device = std::make_unique<KeymasterHalDevice>(KM_SECURITY_LEVEL_STRONGBOX);
  }
  void TearDown() override {
    device.reset();
    ChannelTest::TearDown();
  }
  static Bytes curveKey(int64_t curve) {
    return keyBlob(encode(map({{2, map({{0x10000002, integer(3)}, {0x1000000A, integer(curve)}})}, {0, map({})}})));
  }
  std::unique_ptr<KeymasterHalDevice> device;
};

// Which layout a key blob has follows from the versions the first bring-up stores. Clients
// asking for a blob's characteristics on other threads while another client's first request
// brings the channel up must read them under the request lock.
TEST_F(Device, CharacteristicsAskedWhileTheFirstBringUpRuns) {
  constexpr int kThreads = 6;
  for (int k = 0; k < kThreads; k++) SimSecureProcessor::get().queueResponse(Response{});
  const Bytes blobBytes = curveKey(1);
  const keymaster_key_blob_t blob{blobBytes.data(), blobBytes.size()};
  std::atomic<int> okCount{0};
  vendor_test::runTogether(kThreads, [&](int k) {
    if (k % 2 == 0) {
      okCount += device->delete_key(&blob) == 0 ? 1 : 0;
      return;
    }
    keymaster_key_characteristics_t chars{};
    if (device->get_key_characteristics(&blob, nullptr, nullptr, &chars) == 0 && chars.hw_enforced.length == 2) {
      okCount++;
    }
    keymaster_free_characteristics(&chars);
  });
  EXPECT_EQ(okCount.load(), kThreads);
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 1);
}

TEST_F(Device, KeymintGenerateKeyEncodesTheMapAndDecodesTheQueuedAnswer) {
  Bytes appId = {0xA1, 0xB2};
  keymaster_key_param_t params[] = {
      param(KM_TAG_ALGORITHM, KM_ALGORITHM_EC),
      param(KM_TAG_EC_CURVE, KM_EC_CURVE_P_256),
      param(KM_TAG_PURPOSE, KM_PURPOSE_SIGN),
      param(KM_TAG_NO_AUTH_REQUIRED, 0),
      param(KM_TAG_APPLICATION_ID, 0),
      param(KM_TAG_CERTIFICATE_NOT_BEFORE, 1700000000123ull),
      param(KM_TAG_CERTIFICATE_NOT_AFTER, 253402300799000ull),
  };
  params[4].blob = {appId.data(), appId.size()};
  keymaster_key_param_set_t set{params, 7};

  const Bytes characteristics = encode(map({{2, map({{0x10000002, integer(3)},
                                                     {0x20000001, array({integer(2), integer(3)})},
                                                     {0x1000000A, integer(1)}})},
                                            {0, map({{0x600002BD, integer(1700000000000)}})}}));
  const Bytes keyBlobBytes = keyBlob(characteristics);
  const Bytes cert1(300, 0xC1), cert2(20, 0xC2);
  cbor_item_t* answer = cbor_new_definite_map(4);
  cbor_map_add(answer, {cbor_move(integer(23)), cbor_move(bytes(keyBlobBytes))});
  cbor_map_add(answer, {cbor_move(integer(32)), cbor_move(integer(2))});
  cbor_map_add(answer, {cbor_move(integer(33)), cbor_move(bytes(cert1))});
  cbor_map_add(answer, {cbor_move(integer(33)), cbor_move(bytes(cert2))});
  SimSecureProcessor::get().queueResponse(Response{0, encode(answer), std::nullopt});

  keymaster_key_blob_t blob{};
  keymaster_key_characteristics_t chars{};
  keymaster_cert_chain_t chain{};
  ASSERT_EQ(device->keymint_generate_key(&set, nullptr, nullptr, nullptr, &blob, &chars, &chain), 0);

  const auto sent = SimSecureProcessor::get().requests().back();
  EXPECT_EQ(sent.cmdId, 0x3108u);
  const Bytes want = encode(map({
      {22, integer(7)},
      {0x10000002, integer(3)},
      {0x1000000A, integer(1)},
      {0x20000001, integer(2)},
      {0x700001F7, boolean(true)},
      {-1879047591, bytes(appId)},
      {0x600003F0, integer(1700000000123)},
      {0x600003F1, integer(253402300799000)},
      {51, map({{23, bytes({})}, {22, integer(0)}, {54, bytes({})}})},
      {52, date(20, 13, 22, 14, 11, 2023)},
      {53, date(59, 59, 23, 31, 12, 9999)},
  }));
  EXPECT_EQ(sent.body(), want);

  ASSERT_EQ(blob.key_material_size, keyBlobBytes.size());
  EXPECT_EQ(Bytes(blob.key_material, blob.key_material + blob.key_material_size), keyBlobBytes);
  ASSERT_EQ(chain.entry_count, 2u);
  EXPECT_EQ(Bytes(chain.entries[0].data, chain.entries[0].data + chain.entries[0].data_length), cert1);
  EXPECT_EQ(Bytes(chain.entries[1].data, chain.entries[1].data + chain.entries[1].data_length), cert2);
  ASSERT_EQ(chars.hw_enforced.length, 4u);
  EXPECT_EQ(chars.hw_enforced.params[0].tag, KM_TAG_ALGORITHM);
  EXPECT_EQ(chars.hw_enforced.params[2].enumerated, 3u);
  ASSERT_EQ(chars.sw_enforced.length, 1u);
  EXPECT_EQ(chars.sw_enforced.params[0].date_time, 1700000000000u);
  free(const_cast<uint8_t*>(blob.key_material));
  keymaster_free_characteristics(&chars);
  keymaster_free_cert_chain(&chain);
}

TEST_F(Device, WrappedKeyImportCarriesItsEntriesInOrder) {
  keymaster_key_param_t params[] = {param(KM_TAG_ALGORITHM, KM_ALGORITHM_AES)};
  keymaster_key_param_set_t set{params, 1};
  const Bytes wrapped = {1, 2, 3}, wrapping = {4, 5}, masking(32, 6);
  keymaster_blob_t wrappedBlob{wrapped.data(), wrapped.size()}, maskingBlob{masking.data(), masking.size()};
  keymaster_key_blob_t wrappingBlob{wrapping.data(), wrapping.size()};
  const Bytes kb = keyBlob(encode(map({{2, map({{0x10000002, integer(32)}})}, {0, map({})}})));
  SimSecureProcessor::get().queueResponse(
      Response{0, encode(map({{23, bytes(kb)}, {32, integer(0)}})), std::nullopt});
  keymaster_key_blob_t blob{};
  keymaster_key_characteristics_t chars{};
  keymaster_cert_chain_t chain{};
  ASSERT_EQ(device->keymint_import_wrapped_key(&set, 7, 0x1234567890ull, &wrappedBlob, &wrappingBlob, &maskingBlob,
                                               &blob, &chars, &chain),
            0);
  const auto sent = SimSecureProcessor::get().requests().back();
  EXPECT_EQ(sent.cmdId, 0x3117u);
  EXPECT_EQ(sent.body(), encode(map({{22, integer(1)},
                                     {0x10000002, integer(32)},
                                     {12, integer(7)},
                                     {13, integer(0x1234567890)},
                                     {27, bytes(wrapped)},
                                     {26, bytes(wrapping)},
                                     {28, bytes(masking)}})));
  EXPECT_EQ(chain.entry_count, 0u);
  ASSERT_EQ(chars.hw_enforced.length, 1u);
  EXPECT_EQ(chars.hw_enforced.params[0].enumerated, 32u);
  free(const_cast<uint8_t*>(blob.key_material));
  keymaster_free_characteristics(&chars);
}

TEST_F(Device, CommandIdsAreChosenByOperation) {
  // Two operations share the wire id 0x211a at non-StrongBox levels; each keeps it.
  EXPECT_EQ(keymasterdevice::commandId(Command::kSetDeviceLocked).other, 0x211au);
  EXPECT_EQ(keymasterdevice::commandId(Command::kGenerateTimestamp).other, 0x211au);
  EXPECT_STREQ(keymasterdevice::commandId(Command::kSetDeviceLocked).name, "set_device_locked");
  EXPECT_STREQ(keymasterdevice::commandId(Command::kGenerateTimestamp).name, "generate_timestamp");
  KeymasterHalDevice tee(KM_SECURITY_LEVEL_TRUSTED_ENVIRONMENT);
  EXPECT_EQ(tee.id(Command::kGenerateKey), 0x2108u);
  EXPECT_EQ(device->id(Command::kGenerateKey), 0x2508u);
  EXPECT_EQ(device->id(Command::kSetDeviceLocked), 0x211du);
  EXPECT_EQ(device->id(Command::kGenerateTimestamp), 0x211au);

  // On the wire: the locked state is saved, then replayed with its own id before the
  // time stamp request, which goes out with 0x211a and no body.
  ASSERT_EQ(device->set_device_locked(true), 0);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_EQ(device->generate_timestamp(), 0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[1].cmdId, 0x211du);
  EXPECT_EQ(reqs[1].body(), (Bytes{0xA1, 0x18, 0x2E, 0xF5}));
  EXPECT_EQ(reqs[2].cmdId, 0x211au);
  EXPECT_TRUE(reqs[2].body().empty());
}

TEST_F(Device, StrongBoxShortcutsSendNothing) {
  EXPECT_EQ(device->delete_all_keys(), 0);
  verification_token_t token{};
  EXPECT_EQ(device->verifyAuthorization(1, &token), -100);
  EXPECT_TRUE(SimSecureProcessor::get().requests().empty());
}

TEST_F(Device, Curve25519InputLimitBelongsToEachOperation) {
  const Bytes x25519 = curveKey(KM_EC_CURVE_CURVE_25519);
  const Bytes p256 = curveKey(KM_EC_CURVE_P_256);
  keymaster_key_blob_t a{x25519.data(), x25519.size()}, b{p256.data(), p256.size()};
  keymaster_operation_handle_t ha = 0, hb = 0;
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{34, integer(11)}})), std::nullopt});
  ASSERT_EQ(device->keymint_begin_operation(KM_PURPOSE_SIGN, &a, nullptr, nullptr, &ha), 0);
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{34, integer(12)}})), std::nullopt});
  ASSERT_EQ(device->keymint_begin_operation(KM_PURPOSE_SIGN, &b, nullptr, nullptr, &hb), 0);
  ASSERT_EQ(ha, 11u);
  ASSERT_EQ(hb, 12u);

  Bytes big(16385, 1);
  keymaster_blob_t input{big.data(), big.size()};
  size_t consumed = 0;
  keymaster_blob_t output{};
  const size_t sentBefore = SimSecureProcessor::get().requests().size();
  EXPECT_EQ(device->keymint_update_operation(ha, nullptr, &input, &consumed, big.size(), nullptr, &output), -21)
      << "the curve-25519 operation keeps its limit after another operation began";
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), sentBefore);

  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{37, integer(8192)}})), std::nullopt});
  ASSERT_EQ(device->keymint_update_operation(hb, nullptr, &input, &consumed, big.size(), nullptr, &output), 0);
  EXPECT_EQ(consumed, 8192u);
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({})), std::nullopt});
  ASSERT_EQ(device->keymint_finish_operation(hb, nullptr, nullptr, nullptr, nullptr, &output), 0);
  EXPECT_EQ(device->keymint_update_operation(ha, nullptr, &input, &consumed, big.size(), nullptr, &output), -21)
      << "finishing another operation does not lift it";

  Bytes limit(16384, 1);
  keymaster_blob_t atLimit{limit.data(), limit.size()};
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{37, integer(8192)}})), std::nullopt});
  EXPECT_EQ(device->keymint_update_operation(ha, nullptr, &atLimit, &consumed, limit.size(), nullptr, &output), 0);
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({})), std::nullopt});
  ASSERT_EQ(device->keymint_finish_operation(ha, nullptr, nullptr, nullptr, nullptr, &output), 0);
  SimSecureProcessor::get().queueResponse(Response{0, encode(map({{37, integer(8192)}})), std::nullopt});
  EXPECT_EQ(device->keymint_update_operation(ha, nullptr, &input, &consumed, big.size(), nullptr, &output), 0);
}

TEST_F(Device, RawDateSupportRequest) {
  SimSecureProcessor::get().queueResponse(Response{-40, {}, std::nullopt});
  bool supported = true;
  ASSERT_EQ(device->legacy_get_date_support(&supported), 0);
  EXPECT_FALSE(supported);
  auto sent = SimSecureProcessor::get().requests().back();
  EXPECT_EQ(sent.frame, (Bytes{0x15, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  SimSecureProcessor::get().queueResponse(Response{0, {}, std::nullopt});
  ASSERT_EQ(device->legacy_get_date_support(&supported), 0);
  EXPECT_TRUE(supported);
  SimSecureProcessor::get().queueResponse(Response{-38, {}, std::nullopt});
  EXPECT_EQ(device->legacy_get_date_support(&supported), -38);
}

TEST_F(Device, AttestKeySendsTheStoredKeysValidityDates) {
  const Bytes kb = keyBlob(encode(map({{2, map({})},
                                       {0, map({{0x60000190, integer(1700000000000)},
                                                {0x60000192, integer(1800000000999)}})}})));
  keymaster_key_blob_t key{kb.data(), kb.size()};
  keymaster_key_param_t params[] = {param(KM_TAG_ATTESTATION_CHALLENGE, 0)};
  const Bytes challenge = {0xCC};
  params[0].blob = {challenge.data(), challenge.size()};
  keymaster_key_param_set_t set{params, 1};
  SimSecureProcessor::get().queueResponse(
      Response{0, encode(map({{32, integer(1)}, {33, bytes({0x30, 0x00})}})), std::nullopt});
  keymaster_cert_chain_t chain{};
  ASSERT_EQ(device->attest_key(&key, &set, &chain), 0);
  ASSERT_EQ(chain.entry_count, 1u);
  keymaster_free_cert_chain(&chain);
  const auto sent = SimSecureProcessor::get().requests().back();
  EXPECT_EQ(sent.cmdId, 0x2515u);
  EXPECT_EQ(sent.body(), encode(map({{22, integer(1)},
                                     {-1879047484, bytes(challenge)},
                                     {23, bytes(kb)},
                                     {39, date(20, 13, 22, 14, 11, 2023)},
                                     {40, date(0, 0, 8, 15, 1, 2027)}})));
}

TEST_F(Device, RootOfTrustAndBootStateGoOutAsRawRequests) {
  SimSecureProcessor::get().queueResponse(Response{});
  ASSERT_EQ(device->generate_timestamp(), 0);  // brings the channel up
  SimSecureProcessor::get().queueResponse(Response{});
  SimSecureProcessor::get().queueResponse(Response{});
  const Bytes rot(32, 0x7A);
  const uint32_t os = 140000;
  ASSERT_EQ(device->SetRot(rot.data(), nullptr, true, &os, 2, 0x11, 0x22), 0);
  auto reqs = SimSecureProcessor::get().requests();
  ASSERT_GE(reqs.size(), 2u);
  const auto& first = reqs[reqs.size() - 2];
  const auto& second = reqs.back();
  Bytes wantFirst = {0x01, 0x02, 0, 0, 12, 0, 0, 0, 32, 0, 0, 0};
  wantFirst.insert(wantFirst.end(), rot.begin(), rot.end());
  EXPECT_EQ(first.frame, wantFirst);
  ASSERT_EQ(second.frame.size(), 64u);
  EXPECT_EQ(Bytes(second.frame.begin(), second.frame.begin() + 24),
            (Bytes{0x08, 0x02, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 48, 0, 0, 0, 1, 0, 0, 0, 0xE0, 0x22, 0x02, 0}));
  EXPECT_EQ(Bytes(second.frame.begin() + 52, second.frame.end()),
            (Bytes{2, 0, 0, 0, 0x11, 0, 0, 0, 0x22, 0, 0, 0}));

  SimSecureProcessor::get().queueResponse(Response{-38, {}, std::nullopt});
  EXPECT_EQ(device->SetRot(rot.data(), nullptr, false, &os, 0, 0, 0), -38);
}

// ---------------------------------------------------------------- old key-blob layout

struct OldBlob {
  Bytes b = Bytes(400, 0);
  template <typename T>
  void put(size_t off, T v) {
    std::memcpy(b.data() + off, &v, sizeof v);
  }
};

OldBlob exampleOldBlob(bool newer) {
  OldBlob o;
  o.put<uint64_t>(0, 0x4B4D4B44);
  o.put<uint64_t>(8, newer ? 0x400000001ull : 0x300000000ull);
  const size_t hw = 28;
  o.put<uint32_t>(hw + 0, KM_PURPOSE_SIGN);
  o.put<uint32_t>(hw + 4, KM_PURPOSE_VERIFY);
  o.put<uint32_t>(hw + 20, 2);                       // two purposes
  o.put<uint8_t>(hw + 24, 1);
  o.put<uint32_t>(hw + 25, KM_ALGORITHM_EC);        // algorithm
  o.put<uint32_t>(hw + 58, KM_DIGEST_SHA_2_256);
  o.put<uint32_t>(hw + 90, 1);                       // one digest
  o.put<uint8_t>(hw + 217, 1);
  o.put<uint32_t>(hw + 218, 60000);                  // auth timeout
  o.put<uint8_t>(hw + 229, 1);                       // rollback resistance
  o.put<uint8_t>(hw + 235, 1);
  o.put<uint32_t>(hw + 236, 202301);                 // OS patch level
  const size_t sw = 277;
  o.put<uint8_t>(sw + 0, 1);
  o.put<uint64_t>(sw + 1, 1600000000000ull);         // active date
  o.put<uint8_t>(sw + 27, 1);
  o.put<uint32_t>(sw + 28, 10);                      // user id
  size_t hwCount = 7, swCount = 2;
  if (newer) {
    o.put<uint32_t>(319, 2);                         // hardware type
    o.put<uint32_t>(319 + 11, 20230105);
    o.put<uint8_t>(319 + 15, 1);                     // boot patch level
    o.put<uint8_t>(344, 1);                          // unlocked device required
    hwCount += 2;
    swCount += 1;
  }
  o.put<uint32_t>(24, static_cast<uint32_t>(hwCount));
  o.put<uint32_t>(273, static_cast<uint32_t>(swCount));
  return o;
}

const keymaster_key_param_t* find(const keymaster_key_param_set_t& set, uint32_t tag) {
  for (size_t k = 0; k < set.length; k++) {
    if (set.params[k].tag == tag) return &set.params[k];
  }
  return nullptr;
}

TEST_F(Device, OldKeyBlobIsReadAtItsOffsets) {
  for (bool newer : {false, true}) {
    OldBlob o = exampleOldBlob(newer);
    keymaster_key_characteristics_t c{};
    ASSERT_EQ(device->getCharacteristicsLegacy(o.b.data(), o.b.size(), &c), 0) << newer;
    ASSERT_EQ(c.hw_enforced.length, newer ? 9u : 7u);
    EXPECT_EQ(c.hw_enforced.params[0].tag, KM_TAG_PURPOSE);
    EXPECT_EQ(c.hw_enforced.params[1].enumerated, static_cast<uint32_t>(KM_PURPOSE_VERIFY));
    EXPECT_EQ(c.hw_enforced.params[2].tag, KM_TAG_DIGEST);
    EXPECT_EQ(c.hw_enforced.params[3].tag, KM_TAG_ALGORITHM);
    EXPECT_EQ(find(c.hw_enforced, KM_TAG_AUTH_TIMEOUT)->integer, newer ? 60000u : 60u);
    EXPECT_NE(find(c.hw_enforced, newer ? KM_TAG_ROLLBACK_RESISTANCE : KM_TAG_ROLLBACK_RESISTANT), nullptr);
    EXPECT_EQ(find(c.hw_enforced, KM_TAG_OS_PATCHLEVEL)->integer, 202301u);
    if (newer) {
      EXPECT_EQ(find(c.hw_enforced, 0x10000130)->integer, 2u);
      EXPECT_EQ(find(c.hw_enforced, KM_TAG_BOOT_PATCHLEVEL)->integer, 20230105u);
      EXPECT_NE(find(c.sw_enforced, KM_TAG_UNLOCKED_DEVICE_REQUIRED), nullptr);
    }
    EXPECT_EQ(find(c.sw_enforced, KM_TAG_ACTIVE_DATETIME)->date_time, 1600000000000ull);
    EXPECT_EQ(find(c.sw_enforced, KM_TAG_USER_ID)->integer, 10u);
    keymaster_free_characteristics(&c);
  }
}

TEST_F(Device, OldKeyBlobsThatDoNotHoldTheirListsAreRefused) {
  struct Case {
    const char* what;
    std::function<void(OldBlob&)> damage;
    size_t length;
    int want;
  };
  const Case cases[] = {
      {"count leaves out the hardware type", [](OldBlob& o) { o.put<uint32_t>(24, 8); }, 400, -38},
      {"count above the fields", [](OldBlob& o) { o.put<uint32_t>(273, 9); }, 400, -38},
      {"count no list can reach", [](OldBlob& o) { o.put<uint32_t>(24, 0xFFFFFFFF); }, 400, -38},
      {"purpose count beyond its array", [](OldBlob& o) { o.put<uint32_t>(28 + 20, 6); }, 400, -33},
      {"digest count beyond its array", [](OldBlob& o) { o.put<uint32_t>(28 + 90, 0xFFFFFFFF); }, 400, -33},
      {"user secure id count beyond its array", [](OldBlob& o) { o.put<uint32_t>(28 + 207, 6); }, 400, -33},
      {"too short for the software list", [](OldBlob&) {}, 318, -33},
      {"too short for the newer lists", [](OldBlob&) {}, 344, -33},
  };
  for (const Case& c : cases) {
    OldBlob o = exampleOldBlob(true);
    c.damage(o);
    keymaster_key_characteristics_t out{};
    EXPECT_EQ(device->getCharacteristicsLegacy(o.b.data(), c.length, &out), c.want) << c.what;
    EXPECT_EQ(out.hw_enforced.params, nullptr) << c.what;
    EXPECT_EQ(out.sw_enforced.params, nullptr) << c.what;
  }
  OldBlob empty;
  keymaster_key_characteristics_t out{};
  ASSERT_EQ(device->getCharacteristicsLegacy(empty.b.data(), 319, &out), 0);
  EXPECT_EQ(out.hw_enforced.length, 0u);
  keymaster_free_characteristics(&out);
}

TEST_F(Device, FlatParametersPointIntoTheBlobArea) {
  Bytes first = {1, 2, 3, 4, 5}, second = {6, 7};
  keymaster_key_param_t params[] = {param(KM_TAG_APPLICATION_ID, 0), param(KM_TAG_APPLICATION_DATA, 0),
                                    param(KM_TAG_KEY_SIZE, 256), param(KM_TAG_INVALID, 0)};
  params[0].blob = {first.data(), first.size()};
  params[1].blob = {second.data(), second.size()};
  Bytes mem(128, 0);
  keymasterdevice::KeymasterBuffer buf(mem.data(), mem.size());
  uint32_t header = 0xAABBCCDD;
  ASSERT_EQ(buf.append_to_buf(&header, 4), 0);
  ASSERT_EQ(KeymasterHalDevice::params_serialize(buf, params, 3), 0);
  EXPECT_EQ(buf.get_offset(), 4u + 36 + 7);
  uint32_t off1, len1, off2, len2, size;
  std::memcpy(&off1, mem.data() + 8, 4);
  std::memcpy(&len1, mem.data() + 12, 4);
  std::memcpy(&off2, mem.data() + 20, 4);
  std::memcpy(&len2, mem.data() + 24, 4);
  std::memcpy(&size, mem.data() + 4 + 24 + 4, 4);
  EXPECT_EQ(off1, 40u);
  EXPECT_EQ(len1, 5u);
  EXPECT_EQ(off2, off1 + 5) << "no padding between blobs";
  EXPECT_EQ(len2, 2u);
  EXPECT_EQ(size, 256u);
  EXPECT_EQ(Bytes(mem.begin() + 40, mem.begin() + 47), (Bytes{1, 2, 3, 4, 5, 6, 7}));
  keymasterdevice::KeymasterBuffer again(mem.data(), mem.size());
  EXPECT_EQ(KeymasterHalDevice::params_serialize(again, params, 4), -40);
  EXPECT_STREQ(KeymasterHalDevice::TagToString(KM_TAG_RESET_SINCE_ID_ROTATION), "KM_TAG_RESET_SINCE_ID_ROTATION");
  EXPECT_EQ(KeymasterHalDevice::TagToString(KM_TAG_STORAGE_KEY), nullptr);
}

}  // namespace
