// Calls through proxies: marshalling, status propagation, binders in parcels,
// extensions, weak references and death notices.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <android/binder_process.h>

#include <android/binder_manager.h>
#include <android/binder_stability.h>
#include <gtest/gtest.h>

#include "calc_interface.h"
#include "platform_binder_test.h"

namespace {

// Counts the serving threads whose thread-local state has been torn down, as a library's
// per-thread state (a random generator, say) is when its thread ends.
std::atomic<int> gThreadStateReleased{0};
struct ThreadState {
  bool used = false;
  ~ThreadState() {
    if (used) gThreadStateReleased++;
  }
};
thread_local ThreadState tThreadState;

class Calc : public calc::BnCalc {
 public:
  ndk::ScopedAStatus add(int32_t a, int32_t b, int32_t* ret) override {
    tThreadState.used = true;
    *ret = a + b;
    servedOn = std::this_thread::get_id();
    servedOnPool = platform_binder_test::onPoolThread();
    return ndk::ScopedAStatus::ok();
  }
  ndk::ScopedAStatus fail(int32_t kind, int32_t code) override {
    switch (kind) {
      case 1: return ndk::ScopedAStatus::fromServiceSpecificErrorWithMessage(code, "from calc");
      case 2: return ndk::ScopedAStatus::fromExceptionCode(code);
      case 3: return ndk::ScopedAStatus::fromStatus(code);
      default: return ndk::ScopedAStatus::ok();
    }
  }
  ndk::ScopedAStatus echo(const std::string& in, std::string* ret) override {
    *ret = in + in;
    return ndk::ScopedAStatus::ok();
  }
  ndk::ScopedAStatus listen(const std::shared_ptr<calc::ICalcListener>& listener,
                            int32_t value) override {
    listenerWasRemote = listener != nullptr && listener->isRemote();
    if (listener == nullptr) return ndk::ScopedAStatus::fromExceptionCode(EX_NULL_POINTER);
    return listener->onValue(value);
  }
  std::atomic<bool> listenerWasRemote{false};
  std::thread::id servedOn;
  bool servedOnPool = false;
};

// Records the values it is sent; one-way calls arrive on pool threads, so the test waits.
class Listener : public calc::BnCalcListener {
 public:
  ndk::ScopedAStatus onValue(int32_t value) override {
    std::unique_lock<std::mutex> g(lock);
    ++running;
    maxRunning = std::max(maxRunning, running);
    changed.notify_all();
    changed.wait(g, [&] { return !held; });
    values.push_back(value);
    --running;
    changed.notify_all();
    return ndk::ScopedAStatus::ok();
  }
  std::vector<int32_t> waitFor(size_t count) {
    std::unique_lock<std::mutex> g(lock);
    changed.wait_for(g, std::chrono::seconds(10), [&] { return values.size() >= count; });
    return values;
  }
  void hold(bool on) {
    std::lock_guard<std::mutex> g(lock);
    held = on;
    changed.notify_all();
  }
  bool waitRunning() {
    std::unique_lock<std::mutex> g(lock);
    return changed.wait_for(g, std::chrono::seconds(10), [&] { return running > 0; });
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<int32_t> values;
  bool held = false;
  int running = 0;
  int maxRunning = 0;
};

// A proxy for a local binder, as a client in another process would hold it.
ndk::SpAIBinder proxyFor(const ndk::SpAIBinder& local) {
  EXPECT_EQ(EX_NONE, AServiceManager_addService(local.get(), "test.proxy/default"));
  return ndk::SpAIBinder(AServiceManager_checkService("test.proxy/default"));
}

class BinderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service = ndk::SharedRefBase::make<Calc>();
    ASSERT_EQ(EX_NONE, AServiceManager_addService(service->asBinder().get(), kInstance));
    proxy = calc::ICalc::fromBinder(ndk::SpAIBinder(AServiceManager_checkService(kInstance)));
    ASSERT_NE(nullptr, proxy);
  }
  void TearDown() override {
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
  }

  static constexpr const char* kInstance = "test.calc.ICalc/default";
  std::shared_ptr<Calc> service;
  std::shared_ptr<calc::ICalc> proxy;
};

TEST_F(BinderTest, ProxyCallsAreMarshalledToTheService) {
  EXPECT_TRUE(proxy->isRemote());
  int32_t sum = 0;
  ASSERT_TRUE(proxy->add(40, 2, &sum).isOk());
  EXPECT_EQ(42, sum);
  std::string twice;
  ASSERT_TRUE(proxy->echo("ab", &twice).isOk());
  EXPECT_EQ("abab", twice);
  // The service's own binder gives back the object itself.
  auto local = calc::ICalc::fromBinder(service->asBinder());
  EXPECT_EQ(service.get(), local.get());
  EXPECT_FALSE(local->isRemote());
  EXPECT_EQ(service->asBinder(), service->asBinder());
}

TEST_F(BinderTest, StatusesCrossTheCall) {
  struct Case {
    int32_t kind, code;
    binder_exception_t exception;
    int32_t serviceSpecific;
    binder_status_t status;
    const char* message;
  };
  const Case cases[] = {
      {0, 0, EX_NONE, 0, STATUS_OK, ""},
      {1, -38, EX_SERVICE_SPECIFIC, -38, STATUS_OK, "from calc"},
      {2, EX_UNSUPPORTED_OPERATION, EX_UNSUPPORTED_OPERATION, 0, STATUS_OK, ""},
      {2, EX_NULL_POINTER, EX_NULL_POINTER, 0, STATUS_OK, ""},
      {3, STATUS_BAD_VALUE, EX_TRANSACTION_FAILED, 0, STATUS_BAD_VALUE, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind * 1000 + c.code);
    ndk::ScopedAStatus s = proxy->fail(c.kind, c.code);
    EXPECT_EQ(c.exception, s.getExceptionCode());
    EXPECT_EQ(c.serviceSpecific, s.getServiceSpecificError());
    EXPECT_EQ(c.status, s.getStatus());
    EXPECT_STREQ(c.message, s.getMessage());
  }
}

TEST_F(BinderTest, UnknownCodesAndWrongTokensAreRefused) {
  ndk::SpAIBinder binder = proxy->asBinder();
  ndk::ScopedAParcel in, out;
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
  EXPECT_EQ(STATUS_UNKNOWN_TRANSACTION,
            AIBinder_transact(binder.get(), FIRST_CALL_TRANSACTION + 50, in.getR(), out.getR(), 0));
  EXPECT_EQ(nullptr, in.get());  // the request was taken either way

  // A parcel prepared for another interface carries the wrong token.
  auto listener = ndk::SharedRefBase::make<Listener>();
  ndk::SpAIBinder other = listener->asBinder();
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(other.get(), in.getR()));
  EXPECT_EQ(STATUS_BAD_TYPE,
            AIBinder_transact(binder.get(), calc::ICalc::TRANSACTION_add, in.getR(), out.getR(), 0));

  // Arguments cut short fail on the server side.
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
  ASSERT_EQ(STATUS_OK, AParcel_writeInt32(in.get(), 1));
  EXPECT_EQ(STATUS_NOT_ENOUGH_DATA,
            AIBinder_transact(binder.get(), calc::ICalc::TRANSACTION_add, in.getR(), out.getR(), 0));

  EXPECT_EQ(STATUS_OK, AIBinder_ping(binder.get()));
}

TEST_F(BinderTest, ABinderPassedInACallArrivesAsAProxy) {
  auto listener = ndk::SharedRefBase::make<Listener>();
  ASSERT_TRUE(proxy->listen(listener, 7).isOk());
  ASSERT_TRUE(proxy->listen(listener, 8).isOk());
  EXPECT_TRUE(service->listenerWasRemote);
  EXPECT_EQ((std::vector<int32_t>{7, 8}), listener->waitFor(2));
  EXPECT_EQ(EX_NULL_POINTER, proxy->listen(nullptr, 1).getExceptionCode());
}

TEST_F(BinderTest, ClassesOnlyAssociateWithTheirDescriptor) {
  ndk::SpAIBinder binder(AServiceManager_checkService(kInstance));
  EXPECT_FALSE(AIBinder_associateClass(binder.get(), calc::ICalcListener::clazz()));
  EXPECT_EQ(nullptr, calc::ICalcListener::fromBinder(binder));
  EXPECT_TRUE(AIBinder_associateClass(binder.get(), calc::ICalc::clazz()));
  EXPECT_EQ(nullptr, AIBinder_getUserData(binder.get()));
  EXPECT_NE(nullptr, AIBinder_getUserData(service->asBinder().get()));
}

TEST_F(BinderTest, ExtensionIsReachedThroughTheProxy) {
  auto ext = ndk::SharedRefBase::make<Listener>();
  ndk::SpAIBinder serviceBinder = service->asBinder();
  AIBinder* none = reinterpret_cast<AIBinder*>(0x1);
  ASSERT_EQ(STATUS_OK, AIBinder_getExtension(serviceBinder.get(), &none));
  EXPECT_EQ(nullptr, none);
  ASSERT_EQ(STATUS_OK, AIBinder_setExtension(serviceBinder.get(), ext->asBinder().get()));

  ndk::SpAIBinder extBinder;
  ASSERT_EQ(STATUS_OK, AIBinder_getExtension(proxy->asBinder().get(), extBinder.getR()));
  ASSERT_NE(nullptr, extBinder.get());
  EXPECT_TRUE(AIBinder_isRemote(extBinder.get()));
  auto extProxy = calc::ICalcListener::fromBinder(extBinder);
  ASSERT_NE(nullptr, extProxy);
  ASSERT_TRUE(extProxy->onValue(3).isOk());
  EXPECT_EQ(std::vector<int32_t>{3}, ext->waitFor(1));

  // A proxy cannot attach one.
  EXPECT_EQ(STATUS_INVALID_OPERATION,
            AIBinder_setExtension(proxy->asBinder().get(), ext->asBinder().get()));
}

TEST_F(BinderTest, TheServiceObjectLivesAsLongAsItsBinder) {
  std::weak_ptr<Calc> watch = service;
  service.reset();
  EXPECT_FALSE(watch.expired());  // the registry holds the binder, the binder the object
  proxy.reset();
  platform_binder_test::resetServiceManager();
  EXPECT_TRUE(watch.expired());
}

TEST_F(BinderTest, WeakReferencePromotesOnlyWhileStrongOnesExist) {
  auto listener = ndk::SharedRefBase::make<Listener>();
  ndk::SpAIBinder strong = listener->asBinder();
  ndk::ScopedAIBinder_Weak weak(AIBinder_Weak_new(strong.get()));
  EXPECT_EQ(strong, weak.promote());
  strong = nullptr;
  EXPECT_EQ(nullptr, weak.promote().get());
}

std::atomic<int> gDied{0};
std::atomic<int> gUnlinked{0};

TEST_F(BinderTest, DeathOfTheServingSideNotifiesLinkedRecipients) {
  gDied = 0;
  gUnlinked = 0;
  ndk::ScopedAIBinder_DeathRecipient recipient(
      AIBinder_DeathRecipient_new([](void* cookie) { gDied += *static_cast<int*>(cookie); }));
  AIBinder_DeathRecipient_setOnUnlinked(recipient.get(), [](void*) { ++gUnlinked; });
  int cookie = 5;
  ndk::SpAIBinder remote = proxy->asBinder();
  EXPECT_EQ(STATUS_INVALID_OPERATION,
            AIBinder_linkToDeath(service->asBinder().get(), recipient.get(), &cookie));
  ASSERT_EQ(STATUS_OK, AIBinder_linkToDeath(remote.get(), recipient.get(), &cookie));
  EXPECT_TRUE(AIBinder_isAlive(remote.get()));

  ASSERT_TRUE(platform_binder_test::killBinder(service->asBinder().get()));
  EXPECT_EQ(5, gDied.load());
  EXPECT_EQ(1, gUnlinked.load());
  EXPECT_FALSE(AIBinder_isAlive(remote.get()));
  int32_t sum = 0;
  EXPECT_EQ(STATUS_DEAD_OBJECT, proxy->add(1, 2, &sum).getStatus());
  EXPECT_EQ(STATUS_DEAD_OBJECT, AIBinder_ping(remote.get()));
  EXPECT_EQ(STATUS_NAME_NOT_FOUND,
            AIBinder_unlinkToDeath(remote.get(), recipient.get(), &cookie));
}

TEST_F(BinderTest, UnlinkedRecipientsAreNotNotified) {
  gDied = 0;
  ndk::ScopedAIBinder_DeathRecipient recipient(
      AIBinder_DeathRecipient_new([](void*) { ++gDied; }));
  ndk::SpAIBinder remote = proxy->asBinder();
  ASSERT_EQ(STATUS_OK, AIBinder_linkToDeath(remote.get(), recipient.get(), nullptr));
  ASSERT_EQ(STATUS_OK, AIBinder_unlinkToDeath(remote.get(), recipient.get(), nullptr));
  platform_binder_test::killBinder(service->asBinder().get());
  EXPECT_EQ(0, gDied.load());
}

// A call through a proxy is served on a pool thread, as in the service's own process; a
// call on the object itself runs on the caller.
TEST_F(BinderTest, CallsThroughAProxyAreServedOnPoolThreads) {
  int32_t sum = 0;
  ASSERT_TRUE(proxy->add(1, 2, &sum).isOk());
  EXPECT_EQ(3, sum);
  EXPECT_NE(std::this_thread::get_id(), service->servedOn);
  EXPECT_TRUE(service->servedOnPool);
  EXPECT_FALSE(platform_binder_test::onPoolThread());

  ASSERT_TRUE(service->add(2, 2, &sum).isOk());
  EXPECT_EQ(std::this_thread::get_id(), service->servedOn);
  EXPECT_FALSE(service->servedOnPool);
}

// Resetting the process waits for its pool threads to end, thread-local state included, so
// nothing a job left in a thread's own state is still alive when a test finishes.
TEST_F(BinderTest, ResetEndsThePoolThreadsWithTheirState) {
  ASSERT_TRUE(ABinderProcess_setThreadPoolMaxThreadCount(3));
  ABinderProcess_startThreadPool();
  const int before = gThreadStateReleased.load();
  int32_t sum = 0;
  ASSERT_TRUE(proxy->add(1, 2, &sum).isOk());
  ASSERT_TRUE(service->servedOnPool);
  platform_binder_test::resetProcess();
  EXPECT_EQ(before + 1, gThreadStateReleased.load());
}

// A thread that joins the pool serves the calls: with no pool started and none on demand,
// the joined thread is the one that runs them.
TEST_F(BinderTest, JoinedThreadServesTheCalls) {
  ASSERT_TRUE(ABinderProcess_setThreadPoolMaxThreadCount(0));
  std::promise<std::thread::id> joinedId;
  std::thread joined([&] {
    joinedId.set_value(std::this_thread::get_id());
    ABinderProcess_joinThreadPool();
  });
  const std::thread::id id = joinedId.get_future().get();
  ASSERT_TRUE(platform_binder_test::waitForJoinedThreads(1, std::chrono::seconds(5)));
  for (int i = 0; i < 3; ++i) {
    int32_t sum = 0;
    ASSERT_TRUE(proxy->add(i, 1, &sum).isOk());
    EXPECT_EQ(i + 1, sum);
    EXPECT_EQ(id, service->servedOn);
  }
  platform_binder_test::stopProcess();
  joined.join();
}

// One-way calls do not wait for the service, and one object's calls run one at a time in
// the order they were sent, even with several pool threads.
TEST_F(BinderTest, OnewayCallsAreQueuedPerObject) {
  ASSERT_TRUE(ABinderProcess_setThreadPoolMaxThreadCount(4));
  ABinderProcess_startThreadPool();
  auto listener = ndk::SharedRefBase::make<Listener>();
  auto remote = calc::ICalcListener::fromBinder(proxyFor(listener->asBinder()));
  ASSERT_NE(nullptr, remote);
  ASSERT_TRUE(remote->isRemote());
  listener->hold(true);
  ASSERT_TRUE(remote->onValue(0).isOk());
  ASSERT_TRUE(listener->waitRunning());
  // The first call is held inside the service; the caller is not.
  std::vector<int32_t> sent{0};
  for (int32_t v = 1; v < 50; ++v) {
    ASSERT_TRUE(remote->onValue(v).isOk());
    sent.push_back(v);
  }
  // A synchronous call of another object is served meanwhile.
  int32_t sum = 0;
  ASSERT_TRUE(proxy->add(2, 3, &sum).isOk());
  EXPECT_EQ(5, sum);
  {
    std::lock_guard<std::mutex> g(listener->lock);
    EXPECT_TRUE(listener->values.empty());
  }
  listener->hold(false);
  EXPECT_EQ(sent, listener->waitFor(sent.size()));
  EXPECT_EQ(1, listener->maxRunning);
}

std::atomic<int> gRaceDied{0};

// A link made while the serving side dies is either refused or notified, never lost.
TEST_F(BinderTest, LinkRacingADeathIsNeverLost) {
  ndk::ScopedAIBinder_DeathRecipient recipient(
      AIBinder_DeathRecipient_new([](void*) { ++gRaceDied; }));
  for (int round = 0; round < 200; ++round) {
    auto target = ndk::SharedRefBase::make<Listener>();
    ndk::SpAIBinder remote = proxyFor(target->asBinder());
    gRaceDied = 0;
    std::atomic<bool> go{false};
    std::thread killer([&] {
      while (!go.load()) {
      }
      platform_binder_test::killBinder(target->asBinder().get());
    });
    go = true;
    const binder_status_t linked = AIBinder_linkToDeath(remote.get(), recipient.get(), nullptr);
    killer.join();
    if (linked == STATUS_OK) {
      EXPECT_EQ(1, gRaceDied.load()) << "round " << round;
    } else {
      EXPECT_EQ(STATUS_DEAD_OBJECT, linked);
      EXPECT_EQ(0, gRaceDied.load()) << "round " << round;
    }
  }
}

TEST_F(BinderTest, StabilityMarkIsRecorded) {
  ndk::SpAIBinder b = service->asBinder();
  EXPECT_FALSE(platform_binder_test::isVintfStable(b.get()));
  AIBinder_markVintfStability(b.get());
  EXPECT_TRUE(platform_binder_test::isVintfStable(b.get()));
  EXPECT_TRUE(platform_binder_test::isVintfStable(proxy->asBinder().get()));
}

}  // namespace
