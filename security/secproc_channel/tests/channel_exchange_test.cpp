// One exchange through the real channel library and the simulated processor: framing,
// response checks, the wake lock, the time-out with its buffer rebuild, and failures.
#include "secproc_channel_fixture.h"

namespace secproc_test {
namespace {

using keymasterutils::KeymasterUtils;

class Exchange : public ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    utils = std::make_unique<KeymasterUtils>(KM_SECURITY_LEVEL_STRONGBOX);
    ASSERT_EQ(utils->secproc_init(), 0);
    SimSecureProcessor::get().clearRequests();
  }
  void TearDown() override {
    utils.reset();
    ChannelTest::TearDown();
  }
  // Sends a body of `n` bytes 0x10, 0x11, ... with `cmd`.
  int send(uint32_t cmd, uint32_t n, keymaster_blob_t* rsp) {
    keymaster_blob_t req;
    utils->init(cmd, &req);
    EXPECT_EQ(req.data_length, 20476u);
    auto* body = const_cast<uint8_t*>(req.data);
    for (uint32_t k = 0; k < n; k++) body[k] = static_cast<uint8_t>(0x10 + k);
    req.data_length = n;
    return utils->sendCmd(req, rsp);
  }
  std::unique_ptr<KeymasterUtils> utils;
};

TEST_F(Exchange, RequestFramesAndResponseOffsets) {
  struct Case {
    uint32_t body;
    size_t responseOffset;
  };
  for (Case c : {Case{0, 4}, Case{1, 8}, Case{4, 8}, Case{5, 12}}) {
    SimSecureProcessor::get().queueResponse(Response{0, {0xAB, 0xCD}, std::nullopt});
    keymaster_blob_t rsp{};
    ASSERT_EQ(send(0x3108, c.body, &rsp), 0) << c.body;
    EXPECT_EQ(rsp.data, utils->celvarcom_dev_init() + c.responseOffset + 8) << c.body;
    ASSERT_EQ(rsp.data_length, 2u);
    EXPECT_EQ(rsp.data[0], 0xAB);
    const auto sent = SimSecureProcessor::get().requests().back();
    EXPECT_EQ(sent.frame.size(), 4 + c.body);
    EXPECT_EQ(sent.cmdId, 0x3108u);
    if (c.body != 0) {
      EXPECT_EQ(sent.frame.back(), 0x10 + c.body - 1);
    }
  }
}

TEST_F(Exchange, ResponseHeaderChecks) {
  struct Case {
    const char* what;
    Response rsp;
    int want;
    size_t bodyLen;
  };
  const Case cases[] = {
      {"success word", Response{0x73756363, {1, 2, 3}, std::nullopt}, 0, 3},
      {"empty body", Response{0, {}, 8u}, 0, 0},
      {"too short", Response{0, {}, 7u}, -1000, 0},
      {"status wins over a bad length", Response{-33, {}, 2u}, -33, 0},
      {"length past the command area", Response{0, {1}, 30000u}, -1000, 0},
  };
  for (const Case& c : cases) {
    SimSecureProcessor::get().queueResponse(c.rsp);
    keymaster_blob_t rsp{};
    EXPECT_EQ(send(0x3111, 3, &rsp), c.want) << c.what;
    if (c.want == 0) {
      EXPECT_EQ(rsp.data_length, c.bodyLen) << c.what;
    }
  }
  keymaster_blob_t req;
  utils->init(0x3111, &req);
  EXPECT_EQ(utils->sendCmd(req, nullptr), -38);
}

TEST_F(Exchange, BodiesThatLeaveNoRoomForTheAnswerAreRefused) {
  keymaster_blob_t rsp{};
  SimSecureProcessor::get().queueResponse(Response{0, {}, std::nullopt});
  EXPECT_EQ(send(0x3112, 20468, &rsp), 0);
  for (uint32_t n : {20469u, 20476u, 20477u}) {
    EXPECT_EQ(send(0x3112, n, &rsp), -38) << n;
  }
  EXPECT_EQ(SimSecureProcessor::get().requests().size(), 1u);
}

TEST_F(Exchange, WakeLockIsHeldAroundEachExchange) {
  platform::wakelock::reset();
  SimSecureProcessor::get().queueResponse(Response{});
  keymaster_blob_t rsp{};
  ASSERT_EQ(send(0x3108, 2, &rsp), 0);
  auto events = platform::wakelock::events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[0].acquire);
  EXPECT_EQ(events[0].type, PARTIAL_WAKE_LOCK);
  EXPECT_EQ(events[0].id, "vaultss_send_cmd");
  EXPECT_FALSE(events[1].acquire);
  EXPECT_FALSE(platform::wakelock::held("vaultss_send_cmd"));

  // A wake lock that cannot be taken does not stop the exchange.
  platform::wakelock::failNextAcquire(EPERM);
  SimSecureProcessor::get().queueResponse(Response{});
  EXPECT_EQ(send(0x3108, 2, &rsp), 0);
}

TEST_F(Exchange, TimeOutRebuildsTheBufferAndTheNextRequestSucceeds) {
  SimSecureProcessor::get().failNextExchange(Fault::kTimeout);
  keymaster_blob_t rsp{};
  EXPECT_EQ(send(0x3108, 8, &rsp), -1000);
  EXPECT_EQ(waited.count(), 120000);
  EXPECT_EQ(SimSecureProcessor::get().registrations(), 2) << "registered again";
  EXPECT_EQ(SimSecureProcessor::get().liveBuffers(), 2) << "new HLOS buffer and the TZ buffer";

  SimSecureProcessor::get().queueResponse(Response{0, {0x42}, std::nullopt});
  ASSERT_EQ(send(0x3108, 8, &rsp), 0);
  ASSERT_EQ(rsp.data_length, 1u);
  EXPECT_EQ(rsp.data[0], 0x42);
  EXPECT_EQ(SimSecureProcessor::get().syncDepth(), 0);
}

TEST_F(Exchange, ReplyOfAnotherTypeIsNeverReadAsSuccess) {
  // Through sendCmd.
  SimSecureProcessor::get().failNextExchange(Fault::kWrongResponseType, 0);
  keymaster_blob_t rsp{};
  EXPECT_EQ(send(0x3108, 4, &rsp), -1000);

  // Through the raw path, whose caller reads the status word itself: a status of 0 left
  // behind by an earlier answer must not pass for this request's answer.
  uint8_t* area = utils->celvarcom_dev_init();
  std::memset(area, 0, 64);
  const uint32_t hdr[3] = {0x215, 0, 0};
  std::memcpy(area, hdr, sizeof hdr);
  SimSecureProcessor::get().failNextExchange(Fault::kWrongResponseType, 0);
  EXPECT_EQ(utils->send_cmd(area, 12, area + 12, 20480 - 12), -1000);

  SimSecureProcessor::get().queueResponse(Response{0, {}, std::nullopt});
  EXPECT_EQ(utils->send_cmd(area, 12, area + 12, 20480 - 12), 0);
}

// The process's registration was given up (by another object's failed exchange, say) just
// before this object sends: the send is refused with an error its caller handles, the process
// goes on, and the next request's bring-up registers again.
TEST_F(Exchange, ASendThatFindsNoRegistrationIsAnErrorForItsCaller) {
  const int registrations = SimSecureProcessor::get().registrations();
  for (bool raw : {false, true}) {
    SCOPED_TRACE(raw ? "send_cmd" : "sendCmd");
    sp_exit();
    keymaster_blob_t rsp{};
    uint8_t answer[16];
    const int rc = raw ? utils->send_cmd(utils->celvarcom_dev_init(), 12, answer, sizeof answer)
                       : send(0x3108, 4, &rsp);
    EXPECT_EQ(rc, KM_ERROR_SECURE_HW_COMMUNICATION_FAILED);
    EXPECT_TRUE(SimSecureProcessor::get().requests().empty()) << "nothing reached the processor";
    EXPECT_EQ(SimSecureProcessor::get().syncDepth(), 0);
    ASSERT_EQ(utils->secproc_init(), 0);
    SimSecureProcessor::get().queueResponse(Response{0, {0x42}, std::nullopt});
    ASSERT_EQ(send(0x3108, 4, &rsp), 0);
    ASSERT_EQ(rsp.data_length, 1u);
    EXPECT_EQ(rsp.data[0], 0x42);
    SimSecureProcessor::get().clearRequests();
  }
  EXPECT_EQ(SimSecureProcessor::get().registrations(), registrations + 2);
  EXPECT_EQ(SimSecureProcessor::get().unregistrations(), 2);
}

using ExchangeDeathTest = Exchange;

TEST_F(ExchangeDeathTest, ChannelFailuresEndTheProcess) {
  struct Case {
    const char* what;
    Fault fault;
    int32_t ret;
  };
  for (Case c : {Case{"send error", Fault::kSendError, 0},
                 Case{"error in the reply", Fault::kWrongResponseType, -5}}) {
    EXPECT_DEATH(
        {
          SimSecureProcessor::get().failNextExchange(c.fault, c.ret);
          keymaster_blob_t rsp{};
          send(0x3108, 4, &rsp);
        },
        "callSECPROC failed")
        << c.what;
  }
  EXPECT_DEATH(
      {
        SimSecureProcessor::get().setLinkUp(false);
        keymaster_blob_t rsp{};
        send(0x3108, 4, &rsp);
      },
      "callSECPROC failed");
}

}  // namespace
}  // namespace secproc_test
