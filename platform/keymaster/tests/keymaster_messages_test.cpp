// The keymaster message records and their buffer helpers.
#include <gtest/gtest.h>
#include <keymaster/android_keymaster_messages.h>
#include <keymaster/soft_rkp_test.h>

#include <vector>

namespace {

using keymaster::append_to_buf;
using keymaster::copy_from_buf;
using Bytes = std::vector<uint8_t>;

TEST(KeymasterBuffers, AppendAndCopyStayInsideTheirBounds) {
  uint8_t buf[4] = {};
  const uint8_t src[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(append_to_buf(buf, buf + 4, src, 5), buf);  // does not fit: nothing written
  EXPECT_EQ(buf[0], 0);
  uint8_t* p = append_to_buf(buf, buf + 4, src, 3);
  EXPECT_EQ(p, buf + 3);
  EXPECT_EQ(append_to_buf(p, buf + 4, src, 2), p);
  EXPECT_EQ(append_to_buf(p, buf + 4, src + 3, 1), buf + 4);

  const uint8_t* r = buf;
  uint8_t out[4] = {};
  EXPECT_FALSE(copy_from_buf(&r, buf + 4, out, 5));
  EXPECT_EQ(r, buf);
  EXPECT_TRUE(copy_from_buf(&r, buf + 4, out, 4));
  EXPECT_EQ(r, buf + 4);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{1, 2, 3, 4}));
}

TEST(KeymasterMessages, RkpKeyRequestIsItsOneFlagByte) {
  keymaster::GenerateRkpKeyRequest req(3);
  req.test_mode = true;
  ASSERT_EQ(req.SerializedSize(), 1u);
  uint8_t b[1] = {};
  EXPECT_EQ(req.Serialize(b, b + 1), b + 1);
  EXPECT_EQ(b[0], 1);
  keymaster::GenerateRkpKeyRequest back(3);
  const uint8_t* p = b;
  ASSERT_TRUE(back.Deserialize(&p, b + 1));
  EXPECT_TRUE(back.test_mode);
  const uint8_t* q = b;
  EXPECT_FALSE(back.Deserialize(&q, b));  // empty input
}

TEST(KeymasterMessages, CsrRequestsAndResponsesRoundTrip) {
  keymaster::GenerateCsrV2Request req(3);
  ASSERT_TRUE(req.InitKeysToSign(2));
  const Bytes k0 = {1, 2, 3}, k1(70, 9), challenge = {7, 7};
  req.SetKeyToSign(0, k0.data(), k0.size());
  req.SetKeyToSign(1, k1.data(), k1.size());
  req.SetKeyToSign(2, k1.data(), k1.size());  // past the room: ignored
  req.SetChallenge(challenge.data(), challenge.size());
  Bytes wire(req.SerializedSize());
  ASSERT_EQ(req.Serialize(wire.data(), wire.data() + wire.size()), wire.data() + wire.size());
  keymaster::GenerateCsrV2Request back(3);
  const uint8_t* p = wire.data();
  ASSERT_TRUE(back.Deserialize(&p, wire.data() + wire.size()));
  ASSERT_EQ(back.num_keys, 2u);
  EXPECT_EQ(Bytes(back.keys_to_sign_array[1].begin(), back.keys_to_sign_array[1].end()), k1);
  EXPECT_EQ(Bytes(back.challenge.begin(), back.challenge.end()), challenge);
  // Cut short anywhere: refused.
  for (size_t n = 0; n < wire.size(); n++) {
    keymaster::GenerateCsrV2Request cut(3);
    const uint8_t* c = wire.data();
    EXPECT_FALSE(cut.Deserialize(&c, wire.data() + n)) << n;
  }

  keymaster::GenerateCsrResponse rsp(3);
  EXPECT_EQ(rsp.error, KM_ERROR_UNKNOWN_ERROR);
  Bytes err(rsp.SerializedSize());
  ASSERT_EQ(err.size(), 4u);  // an error carries nothing else
  rsp.error = KM_ERROR_OK;
  rsp.device_info_blob = keymaster::KeymasterBlob(k1.data(), k1.size());
  Bytes ok(rsp.SerializedSize());
  rsp.Serialize(ok.data(), ok.data() + ok.size());
  keymaster::GenerateCsrResponse rback(3);
  const uint8_t* r = ok.data();
  ASSERT_TRUE(rback.Deserialize(&r, ok.data() + ok.size()));
  EXPECT_EQ(rback.error, KM_ERROR_OK);
  EXPECT_EQ(Bytes(rback.device_info_blob.begin(), rback.device_info_blob.end()), k1);
  EXPECT_EQ(rback.protected_data_blob.size(), 0u);
}

TEST(KeymasterMessages, KeysToSignAllocationFailureIsReported) {
  keymaster::testing::failNextKeysToSignAllocation();
  keymaster::GenerateCsrV2Request req(3);
  EXPECT_FALSE(req.InitKeysToSign(3));
  EXPECT_EQ(req.num_keys, 0u);
  EXPECT_TRUE(req.InitKeysToSign(3));
  EXPECT_EQ(req.num_keys, 3u);
}

}  // namespace
