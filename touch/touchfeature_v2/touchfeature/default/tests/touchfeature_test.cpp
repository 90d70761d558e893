// touchfeature-service in process: the service object over the simulated touch driver, the
// touch host stand-in (present, absent or partial) and the game-turbo files under a temporary
// root.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <thread>

#include <android/binder_manager.h>

#include "GameTurboTool.h"
#include "TouchDevice.h"
#include "TouchFeatureImpl.h"
#include "TouchReport.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "platform/simdev_test.h"
#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"
#include "platform_binder_test.h"
#include "platform_touchhost_test.h"
#include "platform_vistrel_test.h"

namespace touchfeature {
namespace {

using ::aidl::vendor::tamrel::hw::touchfeature::BnTouchFeatureCallback;
using ::aidl::vendor::tamrel::hw::touchfeature::ITouchFeature;
using namespace std::chrono_literals;

struct Notice {
  int32_t id, mode, value;
  std::vector<int32_t> values;
};

class Client : public BnTouchFeatureCallback {
 public:
  ::ndk::ScopedAStatus onModeChanged(int32_t id, int32_t mode, int32_t value, const std::vector<int32_t>& values,
                                     const std::vector<std::string>&, int32_t* r) override {
    std::lock_guard<std::mutex> guard(lock);
    notices.push_back({id, mode, value, values});
    *r = 0;
    return ::ndk::ScopedAStatus::ok();
  }
  std::vector<Notice> taken() {
    std::lock_guard<std::mutex> guard(lock);
    return notices;
  }
  std::mutex lock;
  std::vector<Notice> notices;
};

enum class Host { kAbsent, kFull, kNoCommand };

// The touch-event channel under a name of this process's own: test processes running side by
// side must not meet on the device's one name.
TouchEventChannel channel(std::chrono::milliseconds wait, size_t replies, size_t bytes) {
  TouchEventChannel c;
  c.name = std::string(kTouchEventSocket) + "." + std::to_string(getpid());
  c.wait = wait;
  c.replies = replies;
  c.bytes = bytes;
  return c;
}

class TouchFeature : public ::testing::Test {
 protected:
  void start(Host host) {
    plat_properties_reset();
    platform_vistrel_test::clear();
    platform_touchhost_test::reset();
    root_.writeFile(kAbnormalEventNode, "");
    driver_ = platform::sim::TamrelTouchDevice::create();
    ASSERT_NE(driver_, nullptr);
    if (host != Host::kAbsent) {
      const char* variant = host == Host::kFull ? "libtapsense_standin.so" : "libtapsense_standin_nocmd.so";
      root_.writeFile(kTouchHostLibrary, "");
      std::filesystem::copy_file(std::string(VENDOR_PLUGIN_DIR) + "/" + variant, plat_path(kTouchHostLibrary),
                                 std::filesystem::copy_options::overwrite_existing);
    }
    set_touch_event_channel(channel(1s, 64, 64 * 1024));
    service_ = ::ndk::SharedRefBase::make<TouchFeatureImpl>();
    service_->init();
    if (host == Host::kFull) {
      ASSERT_TRUE(platform_touchhost_test::waitMainRunning(2s));
    }
    hostLoaded_ = host == Host::kFull;
  }
  void TearDown() override {
    set_touch_event_channel(TouchEventChannel{});
    platform_touchhost_test::releaseMain();
    // A test that registered the service leaves no reference behind: the service must end
    // here, while its host may still return, not in whichever test comes next.
    platform_binder_test::resetServiceManager();
    service_.reset();
    platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
    plat_properties_reset();
  }
  std::vector<std::pair<int, uint32_t>> driverModes() {
    std::vector<std::pair<int, uint32_t>> out;
    for (const common_data& b : driver_->writtenCommonData()) out.emplace_back(b.mode, b.values[0]);
    return out;
  }
  std::vector<std::pair<int, uint32_t>> hostModes() {
    std::vector<std::pair<int, uint32_t>> out;
    for (const auto& r : platform_touchhost_test::received()) out.emplace_back(r.block.mode, r.block.values[0]);
    return out;
  }
  std::vector<uint16_t> abnormal() {
    const std::string bytes = root_.readFile(kAbnormalEventNode);
    std::vector<uint16_t> out(bytes.size() / 2);
    memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
  }
  std::string property(const char* key) {
    char value[PROP_VALUE_MAX];
    property_get(key, value, "");
    return value;
  }
  int32_t set(int32_t mode, int32_t value, bool* okOut = nullptr) {
    int32_t out = -99;
    const bool ok = service_->setModeValue(0, mode, value, &out).isOk();
    if (okOut != nullptr) *okOut = ok;
    return out;
  }

  platform::testing::TempRoot root_;
  std::shared_ptr<platform::sim::TamrelTouchDevice> driver_;
  std::shared_ptr<TouchFeatureImpl> service_;
  bool hostLoaded_ = false;
};

TEST_F(TouchFeature, WithoutAHostModesReachTheDriverAndOneFaultEventIsSent) {
  start(Host::kAbsent);
  // The report thread gives up at once; wait for its event.
  for (int i = 0; i < 200 && platform_vistrel_test::sentEvents().empty(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(set(10002, 1), 0);
  EXPECT_EQ(driverModes(), (std::vector<std::pair<int, uint32_t>>{{202, 1}, {203, 1}, {204, 1}}));
  EXPECT_EQ(abnormal(), (std::vector<uint16_t>{2, 10002, 1}));
  EXPECT_EQ(set(10002, 100), 0);  // out of range: no sequence, the record still written
  EXPECT_EQ(driverModes().size(), 3u);
  EXPECT_EQ(abnormal(), (std::vector<uint16_t>{2, 10002, 100}));
  EXPECT_EQ(set(10000, 1), 0);
  EXPECT_EQ(driverModes().size(), 3u);

  const std::vector<platform_vistrel_test::SentEvent> events = platform_vistrel_test::sentEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].id, kFaultEventId);
  EXPECT_EQ(events[0].intField("error_code"), -1);
  EXPECT_EQ(events[0].intField("panel_id"), 0);
  EXPECT_EQ(events[0].stringField("fault_name"), "TpThpInitFail");
}

TEST_F(TouchFeature, ModeTableRemapsPropertiesAndRefusals) {
  start(Host::kAbsent);
  bool ok = false;
  EXPECT_EQ(set(100, 100, &ok), 0);
  EXPECT_TRUE(ok);
  EXPECT_EQ(property("persist.vendor.hostprocess.waterproof"), "");
  EXPECT_TRUE(driverModes().empty());
  set(101, 5);
  EXPECT_EQ(property("persist.vendor.hostprocess.glovestatus"), "2");
  set(100, 7);
  EXPECT_EQ(property("persist.vendor.hostprocess.waterproof"), "1");
  set(18, 24);
  set(18, 16);
  EXPECT_EQ(driverModes(), (std::vector<std::pair<int, uint32_t>>{{101, 5}, {100, 7}, {18, 24}, {18, 4}}));
  set(-3, 1, &ok);
  EXPECT_FALSE(ok);
  int32_t out = 0;
  // Refusals are failed calls (the binder layer carries the service's codes as a failed
  // transaction).
  auto status = service_->setModeValue(0, -3, 1, &out);
  EXPECT_FALSE(status.isOk());
  EXPECT_TRUE(driverModes().size() == 4u);
  status = service_->setModeLongValue(0, 15, 256, std::vector<int32_t>(300, 1), &out);
  EXPECT_FALSE(status.isOk());
  EXPECT_TRUE(service_->setModeLongValue(0, 15, 255, std::vector<int32_t>(3, 1), &out).isOk());
  EXPECT_EQ(driver_->writtenCommonData().back().count, 255);
  // A bad touch id fails only in the out value; the call itself succeeds.
  status = service_->setModeValue(2, 5, 1, &out);
  EXPECT_TRUE(status.isOk());
  EXPECT_EQ(out, -1);
  std::vector<int32_t> values{9};
  EXPECT_TRUE(service_->getModeValue(0, 40, &values).isOk());
  EXPECT_EQ(values.size(), 5u);  // four appended to what was there
  EXPECT_EQ(values[0], 9);
  std::string text;
  EXPECT_EQ(service_->getModeCurValueString(5, 1, &text).getServiceSpecificError(), -1);
  std::string list = "unchanged";
  EXPECT_TRUE(service_->getModeWhiteList(0, {1085}, &list).isOk());
  EXPECT_EQ(list, "");  // no dynamic-rate file
}

TEST_F(TouchFeature, TheHostTakesSequencesAndAnswersGets) {
  start(Host::kFull);
  EXPECT_EQ(set(10002, 1), 0);
  EXPECT_EQ(hostModes(), (std::vector<std::pair<int, uint32_t>>{{202, 1}, {203, 1}, {204, 1}}));
  for (const auto& r : platform_touchhost_test::received()) EXPECT_EQ(r.pass_before, 1);
  EXPECT_TRUE(driverModes().empty());  // consumed by the host

  platform_touchhost_test::setBehaviour(true, 17, 99);
  int32_t out = 0;
  service_->getModeCurValue(0, 40, &out);
  EXPECT_EQ(out, 17);  // the host's return code, not the block's value
  platform_touchhost_test::setBehaviour(true, 0);
  set(10101, 110);  // consumed, but a value in 101..126 of a game mode also reaches the driver
  set(10101, 127);
  EXPECT_EQ(driverModes(), (std::vector<std::pair<int, uint32_t>>{{10101, 110}}));
  // Stylus data goes to the host only, its pass flag preset to 0.
  EXPECT_TRUE(service_->setModeLongValue(0, 1088, 2, {5, 6}, &out).isOk());
  const auto last = platform_touchhost_test::received().back();
  EXPECT_EQ(last.block.mode, 1088);
  EXPECT_EQ(last.block.count, 2);
  EXPECT_EQ(last.pass_before, 0);
  EXPECT_TRUE(platform_vistrel_test::sentEvents().empty());
}

// The text request is offered to the host once: the host sees one block, and when it passes
// the block on, the driver answers that same block.
TEST_F(TouchFeature, ACurrentValueTextRequestIsOfferedToTheHostOnce) {
  start(Host::kFull);
  std::string text;
  platform_touchhost_test::setBehaviour(false, 0);  // passed on to the driver
  common_data answer{};
  answer.values[0] = 42;
  driver_->setReadBackBlock(answer);
  EXPECT_TRUE(service_->getModeCurValueString(0, 40, &text).isOk());
  EXPECT_EQ(text, "42");
  ASSERT_EQ(platform_touchhost_test::received().size(), 1u);
  EXPECT_EQ(platform_touchhost_test::received()[0].block.mode, 40);
  EXPECT_EQ(platform_touchhost_test::received()[0].block.cmd, COMMON_DATA_CMD_GET_CUR_VALUE);
  ASSERT_EQ(driver_->writtenCommonData().size(), 1u);
  EXPECT_EQ(driver_->writtenCommonData()[0].mode, 40);

  platform_touchhost_test::setBehaviour(true, 0);  // answered by the host: the driver is not asked
  EXPECT_TRUE(service_->getModeCurValueString(0, 41, &text).isOk());
  EXPECT_EQ(platform_touchhost_test::received().size(), 2u);
  EXPECT_EQ(driver_->writtenCommonData().size(), 1u);
}

TEST_F(TouchFeature, AHostWithoutItsCommandEntryIsUnloadedAndCommandsFallBack) {
  start(Host::kNoCommand);
  for (int i = 0; i < 200 && platform_vistrel_test::sentEvents().empty(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(platform_vistrel_test::sentEvents().size(), 1u);
  EXPECT_EQ(platform_vistrel_test::sentEvents()[0].intField("error_code"), -2);
  set(7, 3);
  EXPECT_EQ(driverModes(), (std::vector<std::pair<int, uint32_t>>{{7, 3}}));
}

TEST_F(TouchFeature, AFailingHostMainIsReportedWithItsCode) {
  platform_touchhost_test::reset();
  root_.writeFile(kAbnormalEventNode, "");
  driver_ = platform::sim::TamrelTouchDevice::create();
  root_.writeFile(kTouchHostLibrary, "");
  std::filesystem::copy_file(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_standin.so", plat_path(kTouchHostLibrary),
                             std::filesystem::copy_options::overwrite_existing);
  platform_vistrel_test::clear();
  service_ = ::ndk::SharedRefBase::make<TouchFeatureImpl>();
  platform_touchhost_test::setMain(false, 5);
  service_->init();
  for (int i = 0; i < 200 && platform_vistrel_test::sentEvents().empty(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(platform_vistrel_test::sentEvents().size(), 1u);
  EXPECT_EQ(platform_vistrel_test::sentEvents()[0].intField("error_code"), 5);
  set(7, 3);  // the library stays loaded: the host still takes commands
  EXPECT_EQ(hostModes(), (std::vector<std::pair<int, uint32_t>>{{7, 3}}));
}

TEST_F(TouchFeature, ClientsAreNotifiedByNameAndForgottenWhenTheyDie) {
  start(Host::kFull);
  auto scheduler = ::ndk::SharedRefBase::make<Client>();
  auto first = ::ndk::SharedRefBase::make<Client>();
  auto other = ::ndk::SharedRefBase::make<Client>();
  // Clients reach the service as the framework does: through the service manager.
  platform_binder_test::resetServiceManager();
  const std::string instance = std::string(ITouchFeature::descriptor) + "/default";
  ASSERT_EQ(AServiceManager_addService(service_->asBinder().get(), instance.c_str()), EX_NONE);
  std::shared_ptr<ITouchFeature> remote =
      ITouchFeature::fromBinder(::ndk::SpAIBinder(AServiceManager_getService(instance.c_str())));
  ASSERT_NE(remote, nullptr);
  int32_t out = -1;
  remote->registerCallback(0, first, "touchscheduler", &out);
  remote->registerCallback(0, scheduler, "touchscheduler", &out);  // replaces the first
  remote->registerCallback(0, other, "other", &out);
  EXPECT_EQ(out, 0);
  EXPECT_EQ(service_->clientCount(), 2u);

  // The host's finger-status callback reaches the scheduler client.
  ASSERT_TRUE(platform_touchhost_test::hasFingerCallback());
  platform_touchhost_test::callFinger(1);
  ASSERT_EQ(scheduler->taken().size(), 1u);
  EXPECT_EQ(scheduler->taken()[0].mode, 1085);
  EXPECT_EQ(scheduler->taken()[0].value, 1);
  EXPECT_EQ(scheduler->taken()[0].values, std::vector<int32_t>{1});
  EXPECT_TRUE(first->taken().empty());
  // Reset of 1085 tells the scheduler after the reset command.
  service_->modeReset(0, 1085, &out);
  EXPECT_EQ(scheduler->taken().size(), 2u);
  EXPECT_EQ(hostModes().back().first, 1085);
  service_->sendModeToClient(0, 5, 6, {}, "ALL", {});
  EXPECT_EQ(other->taken().size(), 1u);
  service_->sendModeToClient(0, 5, 6, {}, "nobody", {});
  EXPECT_EQ(other->taken().size(), 1u);

  ASSERT_TRUE(platform_binder_test::killBinder(other->asBinder().get()));
  EXPECT_EQ(service_->clientCount(), 1u);
  remote->unregisterCallback(0, scheduler, "touchscheduler", &out);
  EXPECT_EQ(service_->clientCount(), 0u);
  platform_binder_test::resetServiceManager();
}

// A client that unregisters from inside its callback: the callback must run outside the lock.
class ReentrantClient : public BnTouchFeatureCallback {
 public:
  ::ndk::ScopedAStatus onModeChanged(int32_t, int32_t, int32_t, const std::vector<int32_t>&,
                                     const std::vector<std::string>&, int32_t* r) override {
    int32_t out = 0;
    service->unregisterCallback(0, self.lock(), "re", &out);
    *r = 0;
    return ::ndk::ScopedAStatus::ok();
  }
  TouchFeatureImpl* service = nullptr;
  std::weak_ptr<ReentrantClient> self;
};

TEST_F(TouchFeature, ACallbackMayCallBackIntoTheService) {
  start(Host::kAbsent);
  auto client = ::ndk::SharedRefBase::make<ReentrantClient>();
  client->service = service_.get();
  client->self = client;
  int32_t out = 0;
  service_->registerCallback(0, client, "re", &out);
  service_->sendModeToClient(0, 1, 1, {}, "re", {});
  EXPECT_EQ(service_->clientCount(), 0u);
}

TEST_F(TouchFeature, ConcurrentFirstCommandsOpenTheNodeOnce) {
  start(Host::kAbsent);
  std::vector<std::thread> callers;
  for (int i = 0; i < 8; ++i) {
    callers.emplace_back([this] {
      int32_t out = 0;
      service_->getModeCurValue(0, 40, &out);
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(driver_->openCount(), 1u);
  EXPECT_EQ(driver_->writtenCommonData().size(), 8u);
}

TEST_F(TouchFeature, ADriverPushedFirstFrameBlockFiresTheGameTurboCallback) {
  start(Host::kAbsent);
  set(7, 1);  // opens the node, which the poll thread then watches
  common_data block{};
  block.mode = 10001;
  for (int i = 0; i < 100 && service_->gameTurboTool().boostState() != 2; ++i) {
    driver_->pushCommand(block);
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(service_->gameTurboTool().boostState(), 2);
}

// Stands in for the poll thread's pause before a retry: counts the pauses and holds each one
// until the test lets it go, so that what the thread does between pauses can be counted.
class PauseGate {
 public:
  void pause(std::chrono::milliseconds) {
    std::unique_lock<std::mutex> lock(lock_);
    const uint64_t mine = ++entered_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_ || allowed_ >= mine; });
  }
  bool waitEntered(uint64_t n, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(lock_);
    return changed_.wait_for(lock, timeout, [&] { return entered_ >= n; });
  }
  uint64_t entered() {
    std::lock_guard<std::mutex> guard(lock_);
    return entered_;
  }
  void step() {
    std::lock_guard<std::mutex> guard(lock_);
    ++allowed_;
    changed_.notify_all();
  }
  void open() {
    std::lock_guard<std::mutex> guard(lock_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  uint64_t entered_ = 0, allowed_ = 0;
  bool open_ = false;
};

// The poll thread over a poll that keeps failing: a poll that fails, or that finds its
// descriptors closed (POLLNVAL, which poll(2) reports as success), answers at once every time.
class TouchFeaturePoll : public TouchFeature {
 protected:
  void SetUp() override {
    set_poll_retry_pause([this](std::chrono::milliseconds ms) { gate_.pause(ms); });
  }
  void TearDown() override {
    gate_.open();
    TouchFeature::TearDown();  // stops the poll thread
    platform::sim::testing::setPollFault(platform::sim::testing::PollFault::kNone);
    set_poll_retry_pause(nullptr);
  }
  // Brings the poll thread to wait on the node, injects the fault and wakes the thread into it.
  // Then each failing poll must be followed by a pause: at the n-th pause n polls have failed.
  void expectOnePausePerFailingPoll(platform::sim::testing::PollFault fault, int error) {
    start(Host::kAbsent);
    set(7, 1);  // opens the node, which the poll thread then watches
    common_data block{};
    block.mode = 1;
    driver_->pushCommand(block);
    ASSERT_TRUE(driver_->waitCommandsTaken(2s));
    platform::sim::testing::setPollFault(fault, error);
    driver_->pushCommand(block);  // ends the poll under way; the next ones fail
    for (uint64_t n = 1; n <= 3; ++n) {
      ASSERT_TRUE(gate_.waitEntered(n, 2s))
          << "no pause " << n << " after " << platform::sim::testing::pollFaults() << " failing polls";
      EXPECT_EQ(platform::sim::testing::pollFaults(), n);
      gate_.step();
    }
  }
  PauseGate gate_;
};

TEST_F(TouchFeaturePoll, AFailingPollPausesBeforeItPollsAgainAndTheThreadRecovers) {
  expectOnePausePerFailingPoll(platform::sim::testing::PollFault::kError, ENOMEM);
  // The poll works again: the thread goes back to waiting and blocks reach the service.
  platform::sim::testing::setPollFault(platform::sim::testing::PollFault::kNone);
  gate_.open();
  common_data first{};
  first.mode = COMMON_DATA_MODE_FIRST_FRAME_BOOST;
  driver_->pushCommand(first);
  common_data next{};
  next.mode = 1;
  driver_->pushCommand(next);
  ASSERT_TRUE(driver_->waitCommandsTaken(2s));  // read one after the other by the poll thread
  EXPECT_EQ(service_->gameTurboTool().boostState(), 2);
}

TEST_F(TouchFeaturePoll, ClosedDescriptorsPauseTheThreadAndItStillStops) {
  expectOnePausePerFailingPoll(platform::sim::testing::PollFault::kInvalid, 0);
  // The control channel itself reads as closed, so the stop word cannot reach the thread:
  // the service must still end it.
  gate_.open();
  std::promise<void> stopped;
  std::future<void> done = stopped.get_future();
  std::thread stopper([&] {
    service_.reset();
    stopped.set_value();
  });
  const bool ended = done.wait_for(5s) == std::future_status::ready;
  EXPECT_TRUE(ended) << "the stop waits for a thread that never hears it";
  platform::sim::testing::setPollFault(platform::sim::testing::PollFault::kNone);  // lets a stuck thread end
  stopper.join();
}

// A listener on the touch-event name, as the touch stack (or any local process) would bind it.
int listenTouchEvent() {
  const int server = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  struct sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string name = touch_event_channel().name;
  memcpy(addr.sun_path + 1, name.data(), name.size());
  const socklen_t len = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + name.size());
  if (bind(server, reinterpret_cast<sockaddr*>(&addr), len) != 0 || listen(server, 4) != 0) {
    close(server);
    return -1;
  }
  return server;
}

bool sendReply(int c, int32_t length, const std::string& body, size_t total = kSocketMessageBytes) {
  std::vector<uint8_t> m(total, 0);
  memcpy(m.data() + 4, &length, 4);
  memcpy(m.data() + 8, body.data(), std::min(body.size(), total - 8));
  return send(c, m.data(), m.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(m.size());
}

// Reads the request, then holds the connection without a word until the caller hangs up.
void silentPeer(int c) {
  uint8_t buffer[kSocketMessageBytes];
  while (recv(c, buffer, sizeof buffer, 0) > 0) {
  }
}

// Reads the request, then answers with text and never with the end.
void endlessPeer(int c) {
  uint8_t request[kSocketMessageBytes];
  recv(c, request, sizeof request, 0);
  while (sendReply(c, 6, "chunk ")) {
  }
}

TEST_F(TouchFeature, TouchEventTextComesFromTheSocketPeer) {
  start(Host::kAbsent);
  std::string text = "x";
  EXPECT_TRUE(service_->getTouchEvent(&text).isOk());
  EXPECT_EQ(text, "");  // nobody listening

  const int server = listenTouchEvent();
  ASSERT_GE(server, 0);
  std::thread peer([server] {
    const int c = accept(server, nullptr, nullptr);
    uint8_t request[1032];
    recv(c, request, sizeof request, 0);
    sendReply(c, 6, "first ");
    sendReply(c, 100000, "second", 20);  // claims far more than it carries
    sendReply(c, 0, "");
    close(c);
  });
  EXPECT_TRUE(service_->getTouchEvent(&text).isOk());
  peer.join();
  close(server);
  EXPECT_EQ(text, "first second");
}

// A peer that keeps silent or answers without end costs the binder thread a bounded wait and
// the caller an error; the next call gets a fresh connection.
TEST_F(TouchFeature, ATouchEventPeerThatNeverEndsItsAnswerFailsTheCallInBoundedTime) {
  start(Host::kAbsent);
  const struct {
    const char* name;
    void (*serve)(int);
    TouchEventChannel limits;
    int32_t error;
  } peers[] = {{"silent", silentPeer, channel(300ms, 16, 4096), -ETIMEDOUT},
               {"endless, cut at its replies", endlessPeer, channel(5s, 16, 1 << 20), -EMSGSIZE},
               {"endless, cut at its text", endlessPeer, channel(5s, 100000, 4096), -EMSGSIZE}};
  for (const auto& p : peers) {
    SCOPED_TRACE(p.name);
    set_touch_event_channel(p.limits);
    const int server = listenTouchEvent();
    ASSERT_GE(server, 0);
    std::thread peer([server, &p] {
      const int bad = accept(server, nullptr, nullptr);
      p.serve(bad);
      close(bad);
      const int good = accept(server, nullptr, nullptr);
      uint8_t request[kSocketMessageBytes];
      recv(good, request, sizeof request, 0);
      sendReply(good, 4, "next");
      sendReply(good, 0, "");
      close(good);
    });
    std::string text;
    const auto begin = std::chrono::steady_clock::now();
    const ::ndk::ScopedAStatus status = service_->getTouchEvent(&text);
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_FALSE(status.isOk());
    EXPECT_EQ(status.getServiceSpecificError(), p.error);
    EXPECT_LT(took, p.limits.wait + 2s);
    EXPECT_LE(text.size(), p.limits.bytes);
    EXPECT_TRUE(service_->getTouchEvent(&text).isOk());
    EXPECT_EQ(text, "next");
    peer.join();
    close(server);
  }
}

// While one caller waits on a slow peer, another caller is not held behind it.
TEST_F(TouchFeature, ATouchEventCallWaitingOnItsPeerDoesNotHoldTheOthers) {
  start(Host::kAbsent);
  set_touch_event_channel(channel(5s, 16, 4096));
  const int server = listenTouchEvent();
  ASSERT_GE(server, 0);
  std::atomic<bool> firstAsked{false};
  int slow = -1;
  std::thread peer([&] {
    slow = accept(server, nullptr, nullptr);
    uint8_t request[kSocketMessageBytes];
    recv(slow, request, sizeof request, 0);
    firstAsked = true;
    const int quick = accept(server, nullptr, nullptr);
    recv(quick, request, sizeof request, 0);
    sendReply(quick, 5, "quick");
    sendReply(quick, 0, "");
    close(quick);
  });
  std::atomic<bool> firstDone{false};
  std::string first;
  std::thread caller([&] {
    service_->getTouchEvent(&first);
    firstDone = true;
  });
  while (!firstAsked) std::this_thread::yield();
  std::string second;
  EXPECT_TRUE(service_->getTouchEvent(&second).isOk());
  EXPECT_EQ(second, "quick");
  EXPECT_FALSE(firstDone);  // still waiting on its own peer
  peer.join();
  sendReply(slow, 4, "slow");
  sendReply(slow, 0, "");
  caller.join();
  EXPECT_EQ(first, "slow");
  close(slow);
  close(server);
}

// ---- game turbo ----------------------------------------------------------------------

constexpr const char* kControl = R"({
  "SUPER CORE": {"APP": ["com.fast"], "SUPERTOUCH_ENABLE": true, "SUPERTOUCH_LEVEL": 3,
                 "SUPERTOUCH_ENABLE_APP": [], "PENDINGBUFFER_ENABLE_APP": ["com.game.a", "com.x"]},
  "HOT_AREA": {"HOT_AREA_APP_SET_ENABLE": true,
               "APP": [{"com.game.a": "APP_SET_GAME_A"}, {"com.game.b": "APP_SET_GAME_B"}],
               "com.game.a": "/odm/etc/touch/hot_a.txt", "com.game.b": "/odm/etc/touch/hot_b.txt"}
})";
constexpr const char* kHotText = R"([{"AS":"Rt","AT":"SK","SZ":"0.1,0.2,0.3,0.4"}])";

class GameTurbo : public TouchFeature {
 protected:
  void SetUp() override {
    root_.writeFile(kControlFile, kControl);
    root_.writeFile(kFastInputFile, R"({"SUPER CORE": {"APP": ["com.fast", "com.slow"]}})");
    root_.writeFile("/odm/etc/touch/hot_a.txt", kHotText);
    root_.writeFile(kWhiteListFile, "white list text");
    root_.writeFile("/vendor/lib64/liborv-perfd-client.so", "");
    std::filesystem::copy_file(std::string(VENDOR_PLUGIN_DIR) + "/liborv-perfd-client.so",
                               plat_path("/vendor/lib64/liborv-perfd-client.so"),
                               std::filesystem::copy_options::overwrite_existing);
    start(Host::kFull);
  }
  std::string package(int mode, const std::string& text) {
    std::string out;
    EXPECT_TRUE(service_->setModePackageName(0, mode, text, &out).isOk());
    EXPECT_EQ(out, text);
    return out;
  }
};

TEST_F(GameTurbo, AHotAreaGameGetsItsKindAndItsTextAndTheTextIsWrittenOnce) {
  GameTurboTool& tool = service_->gameTurboTool();
  EXPECT_TRUE(tool.perfLockResolved());
  EXPECT_TRUE(tool.hotAreaEnabled());
  package(10100, "com.game.a");
  const auto received = platform_touchhost_test::received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].block.mode, 220);
  EXPECT_EQ(received[0].block.values[0], 1u);
  EXPECT_EQ(received[1].block.mode, 1097);
  EXPECT_EQ(received[1].block.cmd, COMMON_DATA_CMD_PACKAGE_DATA);
  EXPECT_EQ(received[1].pass_before, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(received[1].block.values), received[1].block.count), kHotText);
  int32_t out = -1;
  service_->getModeDefaultValue(0, 10005, &out);
  EXPECT_EQ(out, 1);

  // New text from the game: to the host and into the file, once.
  const std::string text = R"([{"AS":"Rc","AT":"JY","SZ":"0.2,0.2,0.1"}])";
  package(1097, text);
  EXPECT_EQ(root_.readFile("/odm/etc/touch/hot_a.txt"), text);
  root_.writeFile("/odm/etc/touch/hot_a.txt", "changed behind the tool's back");
  package(1097, text);
  EXPECT_EQ(root_.readFile("/odm/etc/touch/hot_a.txt"), "changed behind the tool's back");
  EXPECT_EQ(platform_touchhost_test::received().size(), 4u);
  // A text longer than a block carries is refused, not cut.
  package(1097, std::string(1500, '['));
  EXPECT_EQ(platform_touchhost_test::received().size(), 4u);

  // Empty SuperTouch list: every package counts; the PendingBuffer list matches by name.
  EXPECT_TRUE(tool.isSuperTouchApp());
  EXPECT_TRUE(tool.isPendingBufferApp());
  package(10100, "com.other");
  EXPECT_TRUE(tool.isSuperTouchApp());
  EXPECT_FALSE(tool.isPendingBufferApp());
  EXPECT_EQ(platform_touchhost_test::received().back().block.mode, 220);
  EXPECT_EQ(platform_touchhost_test::received().back().block.values[0], 0u);
  std::string list;
  service_->getModeWhiteList(0, {10000}, &list);
  EXPECT_EQ(list, "white list text");
}

// Clients set the app lists and the foreground package from their own binder threads at
// once; the lists stay whole and the flags follow the last package against the last lists.
TEST_F(GameTurbo, PackageCallsFromSeveralClientThreadsKeepTheAppListsWhole) {
  GameTurboTool& tool = service_->gameTurboTool();
  const struct {
    int mode;
    std::vector<std::string> texts;
  } clients[] = {{10103, {"com.game.a,com.x", "com.y"}},
                 {10104, {"com.game.b", "com.game.a,com.z"}},
                 {10100, {"com.game.a", "com.other", kNoValidApp}},
                 {10100, {"com.game.b", "com.game.a"}}};
  std::vector<std::thread> threads;
  for (const auto& c : clients) {
    threads.emplace_back([this, &c, &tool] {
      for (int i = 0; i < 40; ++i) {
        package(c.mode, c.texts[static_cast<size_t>(i) % c.texts.size()]);
        (void)tool.isSuperTouchApp();
        (void)tool.isPendingBufferApp();
      }
    });
  }
  for (std::thread& t : threads) t.join();

  package(10103, "com.only,com.two");
  package(10104, "");
  package(10100, "com.only");
  EXPECT_TRUE(tool.isSuperTouchApp());
  EXPECT_TRUE(tool.isPendingBufferApp());  // an empty list lets every package in
  package(10100, "com.else");
  EXPECT_FALSE(tool.isSuperTouchApp());
  EXPECT_TRUE(tool.isPendingBufferApp());
  EXPECT_EQ(tool.packageName(), "com.else");
}

// Clients call through the service manager from binder threads of their own, as a device's
// do: each block reaches the host once, each client hears only its own notices, and every
// client is gone once unregistered.
TEST_F(GameTurbo, ClientsOnSeveralThreadsEachGetTheirOwnAnswers) {
  platform_binder_test::resetServiceManager();
  const std::string instance = std::string(ITouchFeature::descriptor) + "/default";
  ASSERT_EQ(AServiceManager_addService(service_->asBinder().get(), instance.c_str()), EX_NONE);
  platform_touchhost_test::setBehaviour(true, 0, 5);
  constexpr int kClients = 6;
  constexpr int kRounds = 20;
  std::vector<std::shared_ptr<Client>> clients;
  for (int c = 0; c < kClients; ++c) clients.push_back(::ndk::SharedRefBase::make<Client>());
  std::vector<std::thread> threads;
  for (int c = 0; c < kClients; ++c) {
    threads.emplace_back([&, c] {
      std::shared_ptr<ITouchFeature> remote =
          ITouchFeature::fromBinder(::ndk::SpAIBinder(AServiceManager_getService(instance.c_str())));
      ASSERT_NE(remote, nullptr);
      const std::string name = "client" + std::to_string(c);
      int32_t out = -1;
      remote->registerCallback(0, clients[static_cast<size_t>(c)], name, &out);
      for (int r = 0; r < kRounds; ++r) {
        EXPECT_TRUE(remote->setModeValue(0, 7, c, &out).isOk());
        EXPECT_TRUE(remote->getModeCurValue(0, 40, &out).isOk());
        EXPECT_EQ(out, 0);  // the host's result code
        std::string text;
        EXPECT_TRUE(remote->getModeCurValueString(0, 40, &text).isOk());
        EXPECT_TRUE(remote->setModePackageName(0, 10103 + (r & 1), "com.c" + std::to_string(c), &text).isOk());
        EXPECT_TRUE(remote->getTouchEvent(&text).isOk());  // nobody listening: empty
        service_->sendModeToClient(0, 1, c, {r}, name, {});
      }
      remote->unregisterCallback(0, clients[static_cast<size_t>(c)], name, &out);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(platform_touchhost_test::received().size(), static_cast<size_t>(kClients * kRounds * 3));
  for (int c = 0; c < kClients; ++c) {
    const auto notices = clients[static_cast<size_t>(c)]->taken();
    ASSERT_EQ(notices.size(), static_cast<size_t>(kRounds)) << c;
    for (const Notice& n : notices) EXPECT_EQ(n.value, c);
  }
  EXPECT_EQ(service_->clientCount(), 0u);
}

TEST_F(GameTurbo, ASecondKindGameSendsItsKindButNoText) {
  package(10100, "com.game.b");
  const auto received = platform_touchhost_test::received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].block.mode, 220);
  EXPECT_EQ(received[0].block.values[0], 2u);
}

TEST_F(GameTurbo, AMissingStateFileIsRecreatedAndTheModeListIsNull) {
  EXPECT_EQ(service_->gameTurboTool().states(), (std::map<std::string, int32_t>{{"com.fast", 0}, {"com.slow", 0}}));
  const std::string state = root_.readFile(kStateFile);
  EXPECT_NE(state.find("\"com.slow\" : 0"), std::string::npos) << state;
  std::string text;
  EXPECT_TRUE(service_->getModeCurValueString(0, 10001, &text).isOk());
  EXPECT_EQ(text, "NULL");
  int32_t out = -1;
  service_->setModeValue(0, 10105, 9, &out);
  EXPECT_EQ(service_->gameTurboTool().superTouchLevel(), 9);
}

}  // namespace
}  // namespace touchfeature
