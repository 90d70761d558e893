#include <atomic>
#include <cstring>
#include <thread>

#include "ese_utils.h"
#include "seclink_fixture.h"
#include "tee_client_api.h"

namespace {

const Bytes kSelectDefault = {0x00, 0xA4, 0x04, 0x00, 0x00};

int send(const Bytes& apdu, uint32_t* status, bool withTimeout = false, uint32_t timeout = 0) {
  EseSgBuffer out = {const_cast<uint8_t*>(apdu.data()), withTimeout, timeout, static_cast<uint32_t>(apdu.size())};
  return seclink_transceive(&out, &rx, status);
}

TEST_F(SeclinkTest, OpenExchangeAndCloseThroughTheTrustedApplication) {
  ASSERT_EQ(seclink_open(), 0u);
  EXPECT_TRUE(isSELinkActive());
  EXPECT_TRUE(ese::powered());
  const auto before = ese::stats();
  EXPECT_EQ(seclink_open(), 0u);  // already open: no TEE call at all
  EXPECT_EQ(ese::stats().invokes, before.invokes);
  EXPECT_EQ(ese::stats().sessionsOpened, 1);

  uint32_t status = 0xDEAD;
  EXPECT_EQ(send(kSelectDefault, &status), 2);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(rApdu[0], 0x90);
  EXPECT_EQ(ese::lastApdu(), kSelectDefault);
  EXPECT_FALSE(ese::lastTimeout().has_value());
  EXPECT_EQ(send(kSelectDefault, &status, true, 1234), 2);
  EXPECT_EQ(ese::lastTimeout(), 1234u);
  EXPECT_EQ(ese::stats().sharedMemoryLive, 0);

  EXPECT_EQ(seclink_close(0), 0u);
  EXPECT_FALSE(isSELinkActive());
  EXPECT_FALSE(ese::powered());
  EXPECT_FALSE(ese::sessionOpen());
  EXPECT_EQ(ese::stats().closeCommands, 1);
  EXPECT_EQ(seclink_close(0), 0u);  // nothing open: nothing sent
  EXPECT_EQ(ese::stats().closeCommands, 1);
}

// A client polls the state from its own thread while another opens and closes: the flags are
// read under the lock that guards their changes (the thread sanitizer build shows a race
// otherwise).
TEST_F(SeclinkTest, ActiveStateIsReadSafelyWhileAnotherThreadOpensAndCloses) {
  std::atomic<bool> stop{false};
  std::atomic<bool> last{false};
  std::thread poller([&] {
    while (!stop.load()) last = isSELinkActive();
  });
  int opened = 0;
  for (int i = 0; i < 50; i++) {
    opened += seclink_open() == 0 ? 1 : 0;
    seclink_close(0);
  }
  stop = true;
  poller.join();
  EXPECT_EQ(opened, 50);
  EXPECT_FALSE(isSELinkActive());
}

TEST_F(SeclinkTest, RefusedBeforeAnyTeeCallLeavesStatusUntouched) {
  uint32_t status = 0x1234;
  EXPECT_EQ(send(kSelectDefault, &status), -1);  // not open
  EXPECT_EQ(status, 0x1234u);
  ASSERT_EQ(seclink_open(), 0u);
  EXPECT_EQ(seclink_generic(static_cast<SECLINK_Cmd_Generic_Tag>(5), 0, &rx, &status), -1);
  EXPECT_EQ(status, 0x1234u);
  EXPECT_EQ(seclink_transceive(nullptr, &rx, &status), -1);
  EXPECT_EQ(seclink_transceive(&tx, nullptr, &status), -1);
  EXPECT_EQ(ese::stats().apdus, 0);
}

TEST_F(SeclinkTest, LongestApduIsSentOneMoreIsRefused) {
  ASSERT_EQ(seclink_open(), 0u);
  Bytes apdu(65546, 0x00);
  ese::queueResponse({0x90, 0x00});
  uint32_t status = 7;
  EXPECT_EQ(send(apdu, &status), 2);
  EXPECT_EQ(ese::lastApdu().size(), 65546u);
  apdu.push_back(0);
  status = 7;
  EXPECT_EQ(send(apdu, &status), -1);
  EXPECT_EQ(status, 7u);
  EXPECT_EQ(ese::stats().apdus, 1);
}

// A response larger than the caller's buffer is cut to it, and the length returned is what
// the buffer holds, so a reader of the status word stays inside it.
TEST_F(SeclinkTest, ResponseBeyondCapacityIsCutAndReportedAsCut) {
  ASSERT_EQ(seclink_open(), 0u);
  Bytes response(300, 0x5A);
  response[299] = 0x00;
  response[298] = 0x90;
  ese::queueResponse(response);
  auto storage = std::make_unique<uint8_t[]>(100);
  EseSgBuffer small = {storage.get(), false, 255, 100};
  EseSgBuffer out = {const_cast<uint8_t*>(kSelectDefault.data()), false, 0, 5};
  uint32_t status = 1;
  EXPECT_EQ(seclink_transceive(&out, &small, &status), 100);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(storage[99], 0x5A);
}

TEST_F(SeclinkTest, TeeFailuresThatEndTheSessionAndOnesThatDoNot) {
  struct Case {
    const char* name;
    void (*inject)();
    uint32_t expectedStatus;
    bool sessionEnds;
  } cases[] = {
      {"target dead", [] { ese::injectTargetDead(); }, TEEC_ERROR_TARGET_DEAD, true},
      {"waiting time", [] { ese::injectWtxFailure(); }, WTX_UNRECOVERABLE, true},
      {"busy", [] { ese::failNextInvoke(SECLINK_CMD_TRANSCEIVE, TEEC_ERROR_BUSY); }, TEEC_ERROR_BUSY, false},
      {"allocation", [] { ese::failNextAllocate(TEEC_ERROR_OUT_OF_MEMORY); }, TEEC_ERROR_OUT_OF_MEMORY, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ese::reset();
    ASSERT_EQ(seclink_open(), 0u);
    c.inject();
    uint32_t status = 0;
    EXPECT_EQ(send(kSelectDefault, &status), -1);
    EXPECT_EQ(status, c.expectedStatus);
    EXPECT_EQ(isSELinkActive(), !c.sessionEnds);
    EXPECT_EQ(ese::sessionOpen(), !c.sessionEnds);
    EXPECT_EQ(ese::powered(), !c.sessionEnds);
    EXPECT_EQ(ese::stats().sharedMemoryLive, 0);
    seclink_close(0);
  }
}

TEST_F(SeclinkTest, UnrecoverableWaitingTimeRecoversTheChipByVendor) {
  struct Case {
    uint8_t vendor;
    int interfaceResets;
    int coldResets;
  } cases[] = {{2, 1, 0}, {0, 0, 1}, {1, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.vendor));
    ese::reset();
    ese::setVendorId(c.vendor);
    ASSERT_EQ(seclink_open(), 0u);
    ese::injectWtxFailure();
    uint32_t status = 0;
    EXPECT_EQ(send(kSelectDefault, &status), -1);
    const auto s = ese::stats();
    EXPECT_EQ(s.interfaceResets, c.interfaceResets);
    EXPECT_EQ(s.coldResets, c.coldResets);
    EXPECT_EQ(s.closeCommands, 1);
    EXPECT_FALSE(isSELinkActive());
    // The library is usable again afterwards (no lock left held).
    EXPECT_EQ(seclink_open(), 0u);
    seclink_close(0);
  }
}

TEST_F(SeclinkTest, PowerOnFailureIsNotReportedAsOpen) {
  ese::failPowerOn(true);
  EXPECT_NE(seclink_open(), 0u);
  EXPECT_FALSE(isSELinkActive());
  EXPECT_FALSE(ese::sessionOpen());
  uint32_t status = 0;
  EXPECT_EQ(send(kSelectDefault, &status), -1);
  ese::failPowerOn(false);
  EXPECT_EQ(seclink_open(), 0u);  // the context kept from before is used
  EXPECT_EQ(ese::stats().contextsInitialised, 1);
  EXPECT_TRUE(isSELinkActive());
}

TEST_F(SeclinkTest, NoCommandReachesASessionThatIsNotOpen) {
  uint32_t status = 0;
  EXPECT_EQ(seclink_generic(GENERIC_TAG_ATR, 0, &rx, &status), -1);
  EXPECT_EQ(status, TEEC_ERROR_BAD_STATE);

  ese::failNextOpenSession(TEEC_ERROR_ACCESS_DENIED);
  EXPECT_EQ(seclink_open(), TEEC_ERROR_ACCESS_DENIED);
  EXPECT_FALSE(isSELinkActive());
  EXPECT_FALSE(ese::powered());

  ese::failNextInvoke(SECLINK_CMD_OPEN, TEEC_ERROR_COMMUNICATION);
  EXPECT_EQ(seclink_open(), TEEC_ERROR_COMMUNICATION);
  EXPECT_FALSE(ese::sessionOpen());
  EXPECT_EQ(ese::stats().invokesWithoutSession, 0);
}

TEST_F(SeclinkTest, GenericCommandsReadTheChipWithoutClosingOnFailure) {
  const Bytes atr = {0x3B, 0x8F, 0x80, 0x01, 0x80, 0x4F};
  ese::setAtr(atr);
  ASSERT_EQ(seclink_open(), 0u);
  uint32_t status = 1;
  ASSERT_EQ(seclink_generic(GENERIC_TAG_ATR, 0, &rx, &status), int(atr.size()));
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(Bytes(rApdu, rApdu + atr.size()), atr);
  ese::failNextInvoke(SECLINK_CMD_GENERIC, TEEC_ERROR_TARGET_DEAD);
  EXPECT_EQ(seclink_generic(GENERIC_TAG_OSU_STATE, 3, &rx, &status), -1);
  EXPECT_EQ(status, TEEC_ERROR_TARGET_DEAD);
  EXPECT_TRUE(isSELinkActive());
}

TEST(SeclinkHelpers, BoundedCopyAndApduCompare) {
  EXPECT_EQ(memscpy(nullptr, 0, nullptr, 0), 0u);
  uint8_t dst[4] = {};
  const uint8_t src[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(memscpy(dst, sizeof dst, src, sizeof src), 4u);
  EXPECT_EQ(dst[3], 4);
  EXPECT_TRUE(memsApducmp(nullptr, 3, nullptr, 5));
  EXPECT_FALSE(memsApducmp(src, 6, nullptr, 0));
  EXPECT_TRUE(memsApducmp(src, 3, src, 3));
  EXPECT_FALSE(memsApducmp(src, 3, src, 4));
  EXPECT_FALSE(memsApducmp(src, 2, src + 1, 2));
}

}  // namespace
