#include <memory>

#include "ese_utils.h"
#include "seclink_fixture.h"
#include "tee_client_api.h"

namespace {

const Bytes kAid16 = {0xA0, 0x00, 0x00, 0x01, 0x51, 0x41, 0x43, 0x4C, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
constexpr int kFailed = static_cast<int>(SECLINK_FAILED);

struct Opened {
  int result;
  int channel;
  Bytes response;
};

Opened open(const Bytes& aid, bool basic = false) {
  auto resp = std::make_unique<uint8_t[]>(kSeclinkRxSize);
  int channel = -1, length = 0;
  const int r = openChannel(aid, 0x00, &channel, resp.get(), &length, basic);
  Bytes out;
  if (length > 0) out.assign(resp.get(), resp.get() + length);
  return {r, channel, out};
}

Bytes transmit(const Bytes& apdu, int* result) {
  auto resp = std::make_unique<uint8_t[]>(kSeclinkRxSize);
  int length = 0;
  *result = transmitApdu(apdu, false, 0, resp.get(), &length);
  return length > 0 ? Bytes(resp.get(), resp.get() + length) : Bytes{};
}

TEST_F(SeclinkTest, LogicalChannelRoadOpenSelectTransmitClose) {
  ese::installApplet(kAid16, {0x6F, 0x02, 0x84, 0x00});
  const Opened o = open(kAid16);
  ASSERT_EQ(o.result, 0);
  EXPECT_EQ(o.channel, 1);
  EXPECT_EQ(o.response, (Bytes{0x6F, 0x02, 0x84, 0x00, 0x90, 0x00}));
  const auto log = ese::apduLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], (Bytes{0x00, 0x70, 0x00, 0x00, 0x01}));
  Bytes select = {0x01, 0xA4, 0x04, 0x00, 0x10};
  select.insert(select.end(), kAid16.begin(), kAid16.end());
  select.push_back(0x00);
  EXPECT_EQ(log[1], select);  // 22 bytes, class byte of channel 1, Le 00
  EXPECT_NE(dumpStatus().find("Channel number:1,"), std::string::npos);

  int r = -1;
  EXPECT_EQ(transmit({0x01, 0x80, 0xCA, 0x00, 0x02, 0xBE, 0xEF}, &r), (Bytes{0xBE, 0xEF, 0x90, 0x00}));
  EXPECT_EQ(r, 0);

  EXPECT_EQ(closeGPChannel(1), 0);
  EXPECT_EQ(ese::lastApdu(), (Bytes{0x01, 0x70, 0x80, 0x01}));
  EXPECT_EQ(ese::openChannels(), std::vector<int>{});  // the last channel closed the session: power off
  EXPECT_FALSE(ese::sessionOpen());
  EXPECT_FALSE(isSELinkActive());
  EXPECT_EQ(dumpStatus(), "");
  EXPECT_EQ(closeGPChannel(1), kFailed);  // already closed
}

TEST_F(SeclinkTest, ClassBytesOfAllNineteenLogicalChannelsThenNoneFree) {
  for (int n = 1; n < 20; ++n) {
    const Opened o = open({});
    ASSERT_EQ(o.result, 0) << n;
    ASSERT_EQ(o.channel, n);
    const uint8_t cla = n < 4 ? uint8_t(n) : uint8_t(0x40 | (n - 4));
    EXPECT_EQ(ese::lastApdu(), (Bytes{cla, 0xA4, 0x04, 0x00, 0x00})) << n;  // empty AID: exactly 5 bytes
  }
  const int sent = ese::stats().apdus;
  EXPECT_EQ(open({}).result, kFailed);
  EXPECT_EQ(ese::stats().apdus, sent);
}

TEST_F(SeclinkTest, VendorTwoHasThreeLogicalChannels) {
  ese::setVendorId(2);
  for (int n = 1; n <= 3; ++n) ASSERT_EQ(open({}).result, 0);
  const int sent = ese::stats().apdus;
  EXPECT_EQ(open({}).result, kFailed);
  EXPECT_EQ(ese::stats().apdus, sent);
  EXPECT_TRUE(isSELinkActive());
}

TEST_F(SeclinkTest, BasicChannelOnlyOnce) {
  ASSERT_EQ(open({}, true).result, 0);
  const int sent = ese::stats().apdus;
  EXPECT_EQ(open({}, true).result, kFailed);
  EXPECT_EQ(ese::stats().apdus, sent);
  // Selecting the default applet on the basic channel closes it, and with it the session.
  int r = -1;
  EXPECT_EQ(transmit({0x00, 0xA4, 0x04, 0x00, 0x00}, &r), (Bytes{0x90, 0x00}));
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(allChannelsClosed());
  EXPECT_FALSE(ese::sessionOpen());
}

TEST_F(SeclinkTest, RejectedSelectionKeepsChannelAndSession) {
  const Bytes aid = {0xA0, 0x00, 0x00, 0x00, 0x09};
  for (uint16_t sw : {0x6A82, 0x6999, 0x6985}) {
    SCOPED_TRACE(sw);
    ese::reset();
    if (sw != 0x6A82) ese::refuseApplet(aid, sw);
    const Opened o = open(aid);
    EXPECT_EQ(o.result, static_cast<int>(SECLINK_NOT_SELECTABLE));
    EXPECT_EQ(o.response, (Bytes{uint8_t(sw >> 8), uint8_t(sw)}));
    EXPECT_FALSE(allChannelsClosed());
    EXPECT_TRUE(ese::sessionOpen());
    EXPECT_EQ(closeGPChannel(uint8_t(o.channel)), 0);
    EXPECT_FALSE(ese::sessionOpen());
  }
}

// A selection succeeds on 90 00, 61 xx and the warnings 62 xx / 63 xx only; any other status
// fails the open, gives the logical channel back to the chip and leaves its slot free, while
// a channel opened before stays as it was.
TEST_F(SeclinkTest, SelectionStatusDecidesTheOpen) {
  const Bytes aid = {0xA0, 0x00, 0x00, 0x00, 0x0A};
  const struct {
    uint16_t sw;
    bool selects;
  } cases[] = {{0x9000, true},  {0x6110, true},  {0x6283, true},  {0x63C1, true},  {0x6A86, false}, {0x6D00, false},
               {0x6E00, false}, {0x6F00, false}, {0x6A80, false}, {0x6400, false}, {0x9100, false}};
  for (bool basicOpen : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(::testing::Message() << std::hex << c.sw << " basic open " << basicOpen);
      ese::reset();
      if (basicOpen) {
        ASSERT_EQ(open({}, true).result, 0);
      }
      ese::refuseApplet(aid, c.sw);
      const Opened o = open(aid);
      EXPECT_EQ(o.response, (Bytes{uint8_t(c.sw >> 8), uint8_t(c.sw)})) << "the answer reaches the caller";
      if (c.selects) {
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.channel, 1);
        EXPECT_NE(dumpStatus().find("Channel number:1,"), std::string::npos);
        EXPECT_EQ(closeGPChannel(1), 0);
      } else {
        EXPECT_EQ(o.result, kFailed);
        EXPECT_EQ(dumpStatus().find("Channel number:1,"), std::string::npos) << "no slot marked for it";
        EXPECT_EQ(closeGPChannel(1), kFailed) << "nothing left to close";
      }
      // The chip holds no logical channel any more; the session lives on with the basic one.
      EXPECT_EQ(ese::openChannels(), basicOpen ? std::vector<int>{0} : std::vector<int>{});
      EXPECT_EQ(allChannelsClosed(), !basicOpen);
      EXPECT_EQ(ese::sessionOpen(), basicOpen);
      seclink_close(0);
      resetChannelState();
    }
  }
}

TEST_F(SeclinkTest, FailedManageChannelEndsTheSession) {
  struct Case {
    Bytes response;
    int result;
  } cases[] = {
      {{0x6A, 0x81}, static_cast<int>(SECLINK_NO_MEMORY)},
      {{0x01, 0x6A, 0x81}, kFailed},
      {{0x90}, kFailed},
      {{0x01, 0x02, 0x90, 0x00}, kFailed},
      {{0x15, 0x90, 0x00}, kFailed},  // a channel number beyond the table
      {{0x00, 0x90, 0x00}, kFailed},  // the basic channel is no logical channel
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.response));
    ese::reset();
    ASSERT_EQ(open({}, true).result, 0);  // an open channel the failure must also forget
    ese::queueResponse(c.response);
    EXPECT_EQ(open({}).result, c.result);
    EXPECT_FALSE(ese::sessionOpen());
    EXPECT_TRUE(allChannelsClosed());
  }
}

// The card assigns a free logical channel. An answer naming a channel another caller holds
// open is refused: nothing of that caller's is taken or given back (no SELECT on its channel,
// no close of it), and its channel, AID and session carry on. A fresh channel the card then
// assigns is taken as ever.
TEST_F(SeclinkTest, ManageChannelAnswerNamingAnOpenChannelIsRefused) {
  const Bytes first = {0xA0, 0x00, 0x00, 0x00, 0x11};
  const Bytes second = {0xA0, 0x00, 0x00, 0x00, 0x22};
  const struct {
    const char* what;
    bool secondSelectable;  // how the card would answer the second caller's SELECT
  } cases[] = {{"second applet selectable", true}, {"second applet refused", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ese::reset();
    resetChannelState();
    ese::installApplet(first, {0x6F, 0x00});
    if (c.secondSelectable) {
      ese::installApplet(second, {0x6F, 0x00});
    } else {
      ese::refuseApplet(second, 0x6A86);
    }
    const Opened a = open(first);
    ASSERT_EQ(a.result, 0);
    ASSERT_EQ(a.channel, 1);
    const std::string status = dumpStatus();
    ASSERT_NE(status.find("Channel number:1,"), std::string::npos);

    ese::queueResponse({0x01, 0x90, 0x00});  // the card names channel 1 again
    const size_t sent = ese::apduLog().size();
    const Opened b = open(second);
    EXPECT_EQ(b.result, kFailed);
    const auto log = ese::apduLog();
    ASSERT_GT(log.size(), sent);
    EXPECT_EQ(log[sent], (Bytes{0x00, 0x70, 0x00, 0x00, 0x01}));
    EXPECT_EQ(log.size(), sent + 1) << "only the MANAGE CHANNEL went out: no SELECT, no close";
    EXPECT_EQ(dumpStatus(), status) << "channel 1 still the first caller's, with its AID";
    EXPECT_EQ(ese::openChannels(), (std::vector<int>{0, 1}));  // the card's basic channel and channel 1
    EXPECT_TRUE(ese::sessionOpen());

    int r = -1;
    EXPECT_EQ(transmit({0x01, 0x80, 0xCA, 0x00, 0x02, 0xBE, 0xEF}, &r), (Bytes{0xBE, 0xEF, 0x90, 0x00}));
    EXPECT_EQ(r, 0);

    // The card assigning a free channel: taken.
    const Bytes third = {0xA0, 0x00, 0x00, 0x00, 0x33};
    ese::installApplet(third, {0x6F, 0x00});
    const Opened fresh = open(third);
    EXPECT_EQ(fresh.result, 0);
    EXPECT_EQ(fresh.channel, 2);
    EXPECT_EQ(ese::openChannels(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(closeGPChannel(1), 0);
    EXPECT_EQ(closeGPChannel(2), 0);
    EXPECT_FALSE(ese::sessionOpen());
  }
}

TEST_F(SeclinkTest, ClosingOneOfTwoChannelsKeepsTheSession) {
  ASSERT_EQ(open({}).result, 0);
  ASSERT_EQ(open({}).result, 0);
  EXPECT_EQ(closeGPChannel(2), 0);
  EXPECT_TRUE(ese::sessionOpen());
  EXPECT_EQ(closeGPChannel(1), 0);
  EXPECT_FALSE(ese::sessionOpen());
}

// A close the eSE refuses leaves the channel open: the caller has to hear it failed.
TEST_F(SeclinkTest, RefusedCloseIsAFailureWithTheSlotOpen) {
  ASSERT_EQ(open({}).result, 0);
  ese::queueResponse({0x69, 0x85});
  EXPECT_EQ(closeGPChannel(1), kFailed);
  EXPECT_FALSE(allChannelsClosed());
  EXPECT_TRUE(ese::sessionOpen());
  EXPECT_EQ(closeGPChannel(1), 0);  // a later close still works
}

// Responses without a whole status word are failures, never a word read outside them.
TEST_F(SeclinkTest, ResponsesWithoutStatusWordAreFailures) {
  ASSERT_EQ(open({}).result, 0);
  ese::queueResponse({0x90});
  EXPECT_NE(closeGPChannel(1), 0);
  EXPECT_FALSE(ese::sessionOpen());
  EXPECT_TRUE(allChannelsClosed());

  ese::queueResponse({0x01, 0x90, 0x00});
  ese::queueResponse({0x00});
  EXPECT_EQ(open({0xA0, 0x01}).result, kFailed);
  EXPECT_FALSE(ese::sessionOpen());

  ese::queueResponse({});
  int r = 0;
  transmit({0x00, 0xB0, 0x00, 0x00, 0x00}, &r);
  EXPECT_EQ(r, kFailed);
}

TEST_F(SeclinkTest, AidLengthMustFitOneByte) {
  const Bytes longest(255, 0xA5);
  ese::installApplet(longest);
  const Opened o = open(longest);
  ASSERT_EQ(o.result, 0);
  EXPECT_EQ(ese::lastApdu().size(), 5u + 255u + 1u);
  EXPECT_EQ(ese::lastApdu()[4], 0xFF);
  ASSERT_EQ(closeGPChannel(uint8_t(o.channel)), 0);

  const int sent = ese::stats().apdus;
  const int sessions = ese::stats().sessionsOpened;
  EXPECT_EQ(open(Bytes(256, 0xA5)).result, kFailed);
  EXPECT_EQ(open(Bytes(256, 0xA5), true).result, kFailed);
  EXPECT_EQ(ese::stats().apdus, sent);
  EXPECT_EQ(ese::stats().sessionsOpened, sessions);
}

TEST_F(SeclinkTest, DeadTargetClosesEveryChannel) {
  ese::installApplet(kAid16);
  ASSERT_EQ(open({}, true).result, 0);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(open(kAid16).result, 0);
  EXPECT_NE(dumpStatus(), "");
  ese::injectTargetDead();
  int r = 0;
  transmit({0x01, 0x80, 0xCA, 0x00, 0x00}, &r);
  EXPECT_EQ(r, static_cast<int>(TEEC_ERROR_TARGET_DEAD));
  EXPECT_TRUE(allChannelsClosed());
  EXPECT_EQ(dumpStatus(), "");
  EXPECT_FALSE(isSELinkActive());
  EXPECT_FALSE(ese::sessionOpen());
  // The next request opens a fresh session.
  EXPECT_EQ(open(kAid16).result, 0);
  EXPECT_EQ(ese::stats().sessionsOpened, 2);
}

TEST_F(SeclinkTest, AnswerToResetFromTheSmartCardList) {
  const auto atrs = ese::loadAtrList(VENDOR_TESTDATA_DIR "/smartcard/smartcard_list.txt");
  ASSERT_FALSE(atrs.empty());
  const Bytes* longest = &atrs.front();
  for (const auto& a : atrs)
    if (a.size() > longest->size()) longest = &a;
  for (const Bytes* atr : {&atrs.front(), longest}) {
    ese::reset();
    ese::setAtr(*atr);
    auto out = std::make_unique<uint8_t[]>(kSeclinkRxSize);
    uint32_t length = 0;
    EXPECT_EQ(seclink_getATR(out.get(), &length), 0);
    EXPECT_EQ(Bytes(out.get(), out.get() + length), *atr);
    EXPECT_EQ(ese::lastGenericTag(), uint32_t(GENERIC_TAG_ATR));
    EXPECT_FALSE(ese::sessionOpen());  // no channel open: the session closes again
  }
  // Vendor 2 answers with its interface parameters instead.
  ese::reset();
  ese::setVendorId(2);
  ese::setInterfaceResetResponse({0x01, 0x02});
  uint8_t out[8] = {};
  uint32_t length = 0;
  EXPECT_EQ(seclink_getATR(out, &length), 0);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(ese::stats().interfaceResets, 1);
  EXPECT_EQ(seclink_getATR(nullptr, &length), kFailed);
}

TEST_F(SeclinkTest, OsUpdateModeFromResetAnswers) {
  auto answer = [](size_t size, uint8_t os, uint8_t mode) {
    Bytes b(size, 0);
    if (size > 4) b[4] = os;
    if (size > 20) b[20] = mode;
    return b;
  };
  struct Case {
    Bytes data;
    bool updateMode;
  } cases[] = {
      {answer(21, 17, 2), true},
      {answer(21, 16, 2), false},
      {answer(20, 17, 2), false},
      {answer(21, 200, 1), false},
      {answer(64, 17, 2), true},
  };
  for (const auto& c : cases) {
    updateOsMode(answer(21, 17, 0).data(), 21);  // leave OS-update mode first
    updateOsMode(c.data.data(), static_cast<int>(c.data.size()));
    EXPECT_EQ(isCardOsUpdateMode(), c.updateMode) << ::testing::PrintToString(c.data);
  }
  // Too short to carry the OS byte: ignored, and never read past its end (heap-allocated so
  // the sanitizer sees an over-read).
  updateOsMode(answer(21, 17, 2).data(), 21);
  auto tiny = std::make_unique<uint8_t[]>(3);
  updateOsMode(tiny.get(), 3);
  updateOsMode(nullptr, 30);
  EXPECT_TRUE(isCardOsUpdateMode());
}

TEST_F(SeclinkTest, InitReadsOsByteAndResetSequence) {
  ese::setVendorId(1);
  Bytes reset = Bytes(21, 0);
  reset[4] = 40;
  reset[20] = 2;
  ese::setInterfaceResetResponse(reset);
  updateOsMode(Bytes(21, 0).data(), 21);
  EXPECT_EQ(getMaxSupportedChannels(), 4);
  EXPECT_EQ(ese_init(), 0u);
  EXPECT_EQ(getMaxSupportedChannels(), 5);
  EXPECT_TRUE(isCardOsUpdateMode());

  Bytes atr(21, 0);
  atr[4] = 17;  // an OS byte that carries the mode: normal mode
  ese::setAtr(atr);
  EXPECT_EQ(resetCardOsUpdate(), 0);
  EXPECT_FALSE(isCardOsUpdateMode());
  EXPECT_EQ(ese::lastGenericTag(), uint32_t(GENERIC_TAG_SET_IFS));
  EXPECT_EQ(updateOSUState(3), 0);
  seclink_close(0);
  EXPECT_EQ(updateOSUState(3), 1);  // nothing open to tell
  EXPECT_EQ(resetCardOsUpdate(), 1);
  updateOsMode(Bytes(21, 0).data(), 21);  // leave osByte as later tests expect it
}

TEST_F(SeclinkTest, BasicChannelThroughEseOpenAndClose) {
  EXPECT_EQ(ese_open(), 0);
  EXPECT_FALSE(allChannelsClosed());
  EXPECT_EQ(ese_close(), 0);
  EXPECT_FALSE(ese::sessionOpen());
  EXPECT_EQ(ese_close(), 1);
  EXPECT_EQ(ese_cold_reset(), 0);
  EXPECT_EQ(ese::stats().coldResets, 1);
  EXPECT_EQ(do_cold_reset_protection(true), 0);
}

TEST_F(SeclinkTest, PrepareAndTransceiveCopiesWithinCapacity) {
  ASSERT_EQ(seclink_open(), 0u);
  ese::queueResponse({0x01, 0x02, 0x03, 0x90, 0x00});
  const uint8_t apdu[] = {0x00, 0xB0, 0x00, 0x00, 0x00};
  uint8_t out[3] = {};
  int length = 0;
  prepare_and_do_transceive(apdu, sizeof apdu, out, sizeof out, true, &length);
  EXPECT_EQ(length, 5);
  EXPECT_EQ(out[2], 0x03);
  EXPECT_EQ(ese::lastTimeout(), 0u);
  length = 77;
  prepare_and_do_transceive(apdu, sizeof apdu, out, 70000, false, &length);
  EXPECT_EQ(length, 77);  // refused: nothing sent, no output
}

}  // namespace
