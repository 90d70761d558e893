#include <gtest/gtest.h>

#include <cstring>

#include "ese_utils.h"
#include "tee_client_api.h"
#include "teec/sim_secure_element.h"

namespace ese = platform::sim::ese;
using Bytes = std::vector<uint8_t>;

namespace {

class TeecSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ese::reset();
    ASSERT_EQ(TEEC_InitializeContext(nullptr, &ctx), TEEC_SUCCESS);
    TEEC_Operation op{};
    uint32_t origin = 0;
    ASSERT_EQ(TEEC_OpenSession(&ctx, &session, &ese::kTaUuid, TEEC_LOGIN_USER, nullptr, &op, &origin), TEEC_SUCCESS);
  }
  void TearDown() override {
    TEEC_CloseSession(&session);
    TEEC_FinalizeContext(&ctx);
  }

  // One APDU through the transceive command, as a client sends it.
  TEEC_Result send(const Bytes& apdu, Bytes& out, size_t rxSize = 65539) {
    TEEC_SharedMemory tx{nullptr, apdu.size(), TEEC_MEM_INPUT | TEEC_MEM_OUTPUT, 0};
    TEEC_SharedMemory rx{nullptr, rxSize, TEEC_MEM_INPUT | TEEC_MEM_OUTPUT, 0};
    EXPECT_EQ(TEEC_AllocateSharedMemory(&ctx, &tx), TEEC_SUCCESS);
    EXPECT_EQ(TEEC_AllocateSharedMemory(&ctx, &rx), TEEC_SUCCESS);
    if (!apdu.empty()) std::memcpy(tx.buffer, apdu.data(), apdu.size());
    TEEC_Operation op{};
    op.paramTypes = TEEC_PARAM_TYPES(TEEC_MEMREF_PARTIAL_INPUT, TEEC_MEMREF_PARTIAL_OUTPUT, TEEC_NONE, TEEC_NONE);
    op.params[0].memref = {&tx, apdu.size(), 0};
    op.params[1].memref = {&rx, rxSize, 0};
    uint32_t origin = 0;
    TEEC_Result r = TEEC_InvokeCommand(&session, ese::kCmdTransceive, &op, &origin);
    const auto* p = static_cast<const uint8_t*>(rx.buffer);
    out.assign(p, p + (r == TEEC_SUCCESS ? op.params[1].memref.size : 0));
    TEEC_ReleaseSharedMemory(&tx);
    TEEC_ReleaseSharedMemory(&rx);
    return r;
  }

  Bytes apdu(const Bytes& a) {
    Bytes out;
    EXPECT_EQ(send(a, out), TEEC_SUCCESS);
    return out;
  }

  TEEC_Context ctx{};
  TEEC_Session session{};
};

TEST_F(TeecSim, LogicalChannelsOpenSelectAndClose) {
  ASSERT_EQ(eseSetPower(true), 0);
  ese::installApplet({0xA0, 0x00, 0x00, 0x01}, {0x6F, 0x00});
  ese::refuseApplet({0xA0, 0x00, 0x00, 0x02}, 0x6985);
  EXPECT_EQ(apdu({0x00, 0x70, 0x00, 0x00, 0x01}), (Bytes{0x01, 0x90, 0x00}));
  struct Case {
    Bytes command;
    Bytes response;
  } cases[] = {
      {{0x01, 0xA4, 0x04, 0x00, 0x04, 0xA0, 0x00, 0x00, 0x01, 0x00}, {0x6F, 0x00, 0x90, 0x00}},
      {{0x01, 0x80, 0x10, 0x00, 0x02, 0xCA, 0xFE}, {0xCA, 0xFE, 0x90, 0x00}},  // echo by the applet
      {{0x01, 0xA4, 0x04, 0x00, 0x04, 0xA0, 0x00, 0x00, 0x02, 0x00}, {0x69, 0x85}},
      {{0x01, 0xA4, 0x04, 0x00, 0x02, 0xA0, 0x09, 0x00}, {0x6A, 0x82}},
      {{0x02, 0xA4, 0x04, 0x00, 0x00}, {0x68, 0x81}},  // channel 2 never opened
      {{0x00, 0xA4, 0x04, 0x00, 0x00}, {0x90, 0x00}},  // default applet on the basic channel
      {{0x00, 0x70, 0x80, 0x05}, {0x68, 0x81}},
      {{0x00, 0x70, 0x80, 0x01}, {0x90, 0x00}},
      {{0x01, 0x80, 0x10, 0x00, 0x00}, {0x68, 0x81}},  // closed again
      {{0x00, 0x70}, {0x67, 0x00}},
  };
  for (const auto& c : cases) EXPECT_EQ(apdu(c.command), c.response) << ::testing::PrintToString(c.command);
  EXPECT_EQ(ese::stats().sharedMemoryLive, 0);
}

TEST_F(TeecSim, TwentyChannelsThenRefusalAndResetsCloseThem) {
  ASSERT_EQ(eseSetPower(true), 0);
  for (int n = 1; n < 20; ++n) EXPECT_EQ(apdu({0x00, 0x70, 0x00, 0x00, 0x01}), (Bytes{uint8_t(n), 0x90, 0x00}));
  EXPECT_EQ(apdu({0x00, 0x70, 0x00, 0x00, 0x01}), (Bytes{0x6A, 0x81}));
  // Channel 19 is addressed with the further-interindustry class byte 0x4F.
  EXPECT_EQ(apdu({0x4F, 0xA4, 0x04, 0x00, 0x00}), (Bytes{0x90, 0x00}));
  EXPECT_EQ(ese::openChannels().size(), 20u);
  EXPECT_EQ(eseIoctl(ESE_IOCTL_COLD_RESET, 0), 0);
  EXPECT_EQ(ese::openChannels(), std::vector<int>{0});
  EXPECT_EQ(ese::stats().coldResets, 1);
}

TEST_F(TeecSim, FailureHooksAndUnpoweredChip) {
  Bytes out;
  EXPECT_EQ(send({0x00, 0xA4, 0x04, 0x00, 0x00}, out), TEEC_ERROR_COMMUNICATION);  // no power
  ASSERT_EQ(eseSetPower(true), 0);
  ese::injectWtxFailure();
  EXPECT_EQ(send({0x00, 0xA4, 0x04, 0x00, 0x00}, out), ese::kWtxUnrecoverable);
  EXPECT_EQ(send({0x00, 0xA4, 0x04, 0x00, 0x00}, out), TEEC_SUCCESS);
  ese::injectTargetDead();
  EXPECT_EQ(send({0x00, 0xA4, 0x04, 0x00, 0x00}, out), TEEC_ERROR_TARGET_DEAD);
  EXPECT_EQ(send({0x00, 0xA4, 0x04, 0x00, 0x00}, out), TEEC_ERROR_TARGET_DEAD);  // stays dead
  // A response larger than the output block is refused with the size it needs.
  ese::queueResponse(Bytes(300, 0x11));
  EXPECT_EQ(send({0x00, 0xB0, 0x00, 0x00, 0x00}, out, 100), TEEC_ERROR_TARGET_DEAD);
  TEEC_CloseSession(&session);
  TEEC_Operation op{};
  EXPECT_EQ(TEEC_InvokeCommand(&session, ese::kCmdOpen, &op, nullptr), TEEC_ERROR_BAD_STATE);
  EXPECT_EQ(ese::stats().invokesWithoutSession, 1);
  ASSERT_EQ(TEEC_OpenSession(&ctx, &session, &ese::kTaUuid, TEEC_LOGIN_USER, nullptr, &op, nullptr), TEEC_SUCCESS);
  EXPECT_EQ(send({0x00, 0xB0, 0x00, 0x00, 0x00}, out, 100), TEEC_ERROR_SHORT_BUFFER);
}

TEST_F(TeecSim, WrongTrustedApplicationIsNotFound) {
  TEEC_Session other{};
  TEEC_UUID uuid = ese::kTaUuid;
  uuid.timeLow ^= 1;
  TEEC_Operation op{};
  EXPECT_EQ(TEEC_OpenSession(&ctx, &other, &uuid, TEEC_LOGIN_USER, nullptr, &op, nullptr), TEEC_ERROR_ITEM_NOT_FOUND);
}

TEST(TeecAtrList, RealListGivesPlainAtrs) {
  auto atrs = ese::loadAtrList(VENDOR_TESTDATA_DIR "/smartcard/smartcard_list.txt");
  ASSERT_GT(atrs.size(), 1000u);
  for (const auto& a : atrs) {
    ASSERT_GE(a.size(), 2u);
    // Every answer-to-reset starts with TS, direct (3B) or inverse (3F) convention.
    EXPECT_TRUE(a[0] == 0x3B || a[0] == 0x3F) << ::testing::PrintToString(a);
  }
}

}  // namespace
