// The vibrator interfaces through real proxies: arguments, results, statuses,
// callbacks, the extension, the transaction codes and the parcel form of the types.
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <aidl/android/hardware/vibrator/BnVibrator.h>
#include <aidl/android/hardware/vibrator/BnVibratorCallback.h>
#include <aidl/vendor/hardware/vibratorfeature/BnVibratorExt.h>
#include <android/binder_manager.h>
#include <android/binder_parcel_utils.h>
#include <gtest/gtest.h>

#include "platform_binder_test.h"

namespace {

using namespace aidl::android::hardware::vibrator;
using aidl::vendor::hardware::vibratorfeature::BnVibratorExt;
using aidl::vendor::hardware::vibratorfeature::IVibratorExt;
using ndk::ScopedAStatus;

// Records each call as a line of text.
class FakeVibrator : public BnVibrator {
 public:
  std::vector<std::string> calls;
  std::shared_ptr<IVibratorCallback> lastCallback;

  ScopedAStatus getCapabilities(int32_t* r) override {
    calls.push_back("getCapabilities");
    *r = CAP_ON_CALLBACK | CAP_AMPLITUDE_CONTROL;
    return ScopedAStatus::ok();
  }
  ScopedAStatus off() override {
    calls.push_back("off");
    return ScopedAStatus::fromServiceSpecificError(-1);
  }
  ScopedAStatus on(int32_t t, const std::shared_ptr<IVibratorCallback>& cb) override {
    calls.push_back("on " + std::to_string(t) + (cb ? " cb" : " null"));
    lastCallback = cb;
    return cb ? cb->onComplete() : ScopedAStatus::ok();
  }
  ScopedAStatus perform(Effect e, EffectStrength s, const std::shared_ptr<IVibratorCallback>&,
                        int32_t* r) override {
    calls.push_back("perform " + toString(e) + " " + toString(s));
    if (s > EffectStrength::STRONG) return ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
    *r = 69;
    return ScopedAStatus::ok();
  }
  ScopedAStatus getSupportedEffects(std::vector<Effect>* r) override {
    *r = {Effect::CLICK, Effect::TEXTURE_TICK};
    return ScopedAStatus::ok();
  }
  ScopedAStatus setAmplitude(float a) override {
    calls.push_back("setAmplitude " + std::to_string(a));
    return a <= 0 || a > 1 ? ScopedAStatus::fromExceptionCode(EX_ILLEGAL_ARGUMENT)
                           : ScopedAStatus::ok();
  }
  ScopedAStatus setExternalControl(bool e) override {
    calls.push_back(std::string("setExternalControl ") + (e ? "1" : "0"));
    return ScopedAStatus::ok();
  }
  ScopedAStatus unsupported(const char* name) {
    calls.push_back(name);
    return ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
  }
  ScopedAStatus getCompositionDelayMax(int32_t*) override { return unsupported("getCompositionDelayMax"); }
  ScopedAStatus getCompositionSizeMax(int32_t*) override { return unsupported("getCompositionSizeMax"); }
  ScopedAStatus getSupportedPrimitives(std::vector<CompositePrimitive>* r) override {
    *r = {CompositePrimitive::NOOP, CompositePrimitive::LOW_TICK};
    return ScopedAStatus::ok();
  }
  ScopedAStatus getPrimitiveDuration(CompositePrimitive p, int32_t* r) override {
    *r = static_cast<int32_t>(p) * 10;
    return ScopedAStatus::ok();
  }
  ScopedAStatus compose(const std::vector<CompositeEffect>& c,
                        const std::shared_ptr<IVibratorCallback>&) override {
    composed = c;
    return ScopedAStatus::ok();
  }
  ScopedAStatus getSupportedAlwaysOnEffects(std::vector<Effect>*) override {
    return unsupported("getSupportedAlwaysOnEffects");
  }
  ScopedAStatus alwaysOnEnable(int32_t id, Effect e, EffectStrength s) override {
    calls.push_back("alwaysOnEnable " + std::to_string(id) + " " + toString(e) + " " + toString(s));
    return ScopedAStatus::ok();
  }
  ScopedAStatus alwaysOnDisable(int32_t id) override {
    calls.push_back("alwaysOnDisable " + std::to_string(id));
    return ScopedAStatus::ok();
  }
  ScopedAStatus getResonantFrequency(float* r) override { *r = 170.5f; return ScopedAStatus::ok(); }
  ScopedAStatus getQFactor(float*) override { return unsupported("getQFactor"); }
  ScopedAStatus getFrequencyResolution(float*) override { return unsupported("getFrequencyResolution"); }
  ScopedAStatus getFrequencyMinimum(float*) override { return unsupported("getFrequencyMinimum"); }
  ScopedAStatus getBandwidthAmplitudeMap(std::vector<float>* r) override {
    *r = {0.25f, 1.0f};
    return ScopedAStatus::ok();
  }
  ScopedAStatus getPwlePrimitiveDurationMax(int32_t*) override { return unsupported("getPwlePrimitiveDurationMax"); }
  ScopedAStatus getPwleCompositionSizeMax(int32_t*) override { return unsupported("getPwleCompositionSizeMax"); }
  ScopedAStatus getSupportedBraking(std::vector<Braking>* r) override {
    *r = {Braking::CLAB};
    return ScopedAStatus::ok();
  }
  ScopedAStatus composePwle(const std::vector<PrimitivePwle>& c,
                            const std::shared_ptr<IVibratorCallback>&) override {
    pwles = c;
    return ScopedAStatus::ok();
  }
  std::vector<CompositeEffect> composed;
  std::vector<PrimitivePwle> pwles;
};

class FakeExt : public BnVibratorExt {
 public:
  std::vector<std::string> calls;
  std::vector<int32_t> played;
  ScopedAStatus play(const std::vector<int32_t>& d, int32_t loop, int64_t interval,
                     int32_t amplitude) override {
    played = d;
    calls.push_back("play " + std::to_string(loop) + " " + std::to_string(interval) + " " +
                    std::to_string(amplitude));
    return ScopedAStatus::ok();
  }
  ScopedAStatus pause() override { return note("pause"); }
  ScopedAStatus stop() override { return note("stop"); }
  ScopedAStatus seekTo(int64_t p) override { return note("seekTo " + std::to_string(p)); }
  ScopedAStatus setAmplitudeExt(float a, int32_t f) override {
    calls.push_back("setAmplitudeExt " + std::to_string(a) + " " + std::to_string(f));
    return ScopedAStatus::ok();
  }
  ScopedAStatus configStrengthForEffect(int32_t id, float s) override {
    calls.push_back("configStrengthForEffect " + std::to_string(id) + " " + std::to_string(s));
    return ScopedAStatus::ok();
  }
  ScopedAStatus setUsageExt(int32_t u) override {
    calls.push_back("setUsageExt " + std::to_string(u));
    return ScopedAStatus::ok();
  }
  ScopedAStatus note(const std::string& c) {
    calls.push_back(c);
    return ScopedAStatus::fromExceptionCode(EX_UNSUPPORTED_OPERATION);
  }
};

// onComplete is one-way: it arrives on a binder pool thread after the call that sent it.
class Callback : public BnVibratorCallback {
 public:
  ScopedAStatus onComplete() override {
    std::lock_guard<std::mutex> g(lock);
    ++completions;
    changed.notify_all();
    return ScopedAStatus::ok();
  }
  int waitForCompletions(int count) {
    std::unique_lock<std::mutex> g(lock);
    changed.wait_for(g, std::chrono::seconds(10), [&] { return completions >= count; });
    return completions;
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  int completions = 0;
};

class VibratorAidlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service = ndk::SharedRefBase::make<FakeVibrator>();
    ext = ndk::SharedRefBase::make<FakeExt>();
    // As the service's main does: the extension lives on the binder it registers.
    ndk::SpAIBinder vibBinder = service->asBinder();
    ASSERT_EQ(STATUS_OK, AIBinder_setExtension(vibBinder.get(), ext->asBinder().get()));
    instance = std::string(IVibrator::descriptor) + "/vibratorfeature";
    ASSERT_EQ(EX_NONE, AServiceManager_addService(vibBinder.get(), instance.c_str()));
    binder = ndk::SpAIBinder(AServiceManager_waitForService(instance.c_str()));
    proxy = IVibrator::fromBinder(binder);
    ASSERT_NE(nullptr, proxy);
    ASSERT_TRUE(proxy->isRemote());
  }
  void TearDown() override {
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
  }

  std::shared_ptr<FakeVibrator> service;
  std::shared_ptr<FakeExt> ext;
  std::string instance;
  ndk::SpAIBinder binder;
  std::shared_ptr<IVibrator> proxy;
};

TEST_F(VibratorAidlTest, DescriptorsAndVersions) {
  EXPECT_STREQ("android.hardware.vibrator.IVibrator", IVibrator::descriptor);
  EXPECT_STREQ("android.hardware.vibrator.IVibratorCallback", IVibratorCallback::descriptor);
  EXPECT_STREQ("vendor.hardware.vibratorfeature.IVibratorExt", IVibratorExt::descriptor);
  int32_t version = 0;
  ASSERT_TRUE(proxy->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(2, version);
  std::string hash;
  ASSERT_TRUE(proxy->getInterfaceHash(&hash).isOk());
  EXPECT_EQ("ea8742d6993e1a82917da38b9938e537aa7fcb54", hash);
  EXPECT_TRUE(platform_binder_test::isVintfStable(binder.get()));
}

TEST_F(VibratorAidlTest, CallsCarryArgumentsResultsAndStatuses) {
  int32_t caps = 0;
  ASSERT_TRUE(proxy->getCapabilities(&caps).isOk());
  EXPECT_EQ(5, caps);
  EXPECT_EQ(EX_SERVICE_SPECIFIC, proxy->off().getExceptionCode());
  int32_t length = 0;
  ASSERT_TRUE(proxy->perform(Effect::HEAVY_CLICK, EffectStrength::MEDIUM, nullptr, &length).isOk());
  EXPECT_EQ(69, length);
  EXPECT_EQ(EX_UNSUPPORTED_OPERATION,
            proxy->perform(Effect::CLICK, static_cast<EffectStrength>(3), nullptr, &length)
                .getExceptionCode());
  std::vector<Effect> effects;
  ASSERT_TRUE(proxy->getSupportedEffects(&effects).isOk());
  EXPECT_EQ((std::vector<Effect>{Effect::CLICK, Effect::TEXTURE_TICK}), effects);
  EXPECT_EQ(EX_ILLEGAL_ARGUMENT, proxy->setAmplitude(1.5f).getExceptionCode());
  EXPECT_TRUE(proxy->setAmplitude(1.0f).isOk());
  EXPECT_TRUE(proxy->setExternalControl(true).isOk());
  int32_t unused = 0;
  EXPECT_EQ(EX_UNSUPPORTED_OPERATION, proxy->getCompositionDelayMax(&unused).getExceptionCode());
  std::vector<CompositePrimitive> primitives;
  ASSERT_TRUE(proxy->getSupportedPrimitives(&primitives).isOk());
  EXPECT_EQ(CompositePrimitive::LOW_TICK, primitives.at(1));
  ASSERT_TRUE(proxy->getPrimitiveDuration(CompositePrimitive::SPIN, &unused).isOk());
  EXPECT_EQ(30, unused);
  EXPECT_TRUE(proxy->alwaysOnEnable(4, Effect::POP, EffectStrength::LIGHT).isOk());
  EXPECT_TRUE(proxy->alwaysOnDisable(4).isOk());
  float f0 = 0;
  ASSERT_TRUE(proxy->getResonantFrequency(&f0).isOk());
  EXPECT_EQ(170.5f, f0);
  std::vector<float> map;
  ASSERT_TRUE(proxy->getBandwidthAmplitudeMap(&map).isOk());
  EXPECT_EQ((std::vector<float>{0.25f, 1.0f}), map);
  std::vector<Braking> braking;
  ASSERT_TRUE(proxy->getSupportedBraking(&braking).isOk());
  EXPECT_EQ(std::vector<Braking>{Braking::CLAB}, braking);

  EXPECT_EQ((std::vector<std::string>{
                "getCapabilities", "off", "perform HEAVY_CLICK MEDIUM", "perform CLICK 3",
                "setAmplitude 1.500000", "setAmplitude 1.000000", "setExternalControl 1",
                "getCompositionDelayMax", "alwaysOnEnable 4 POP LIGHT", "alwaysOnDisable 4"}),
            service->calls);
}

TEST_F(VibratorAidlTest, CompositionsCrossIntact) {
  std::vector<CompositeEffect> composite = {{10, CompositePrimitive::CLICK, 0.5f},
                                            {0, CompositePrimitive::LOW_TICK, 1.0f}};
  ASSERT_TRUE(proxy->compose(composite, nullptr).isOk());
  EXPECT_EQ(composite, service->composed);
  ActivePwle active{0.1f, 150.0f, 0.9f, 170.0f, 20};
  std::vector<PrimitivePwle> pwles = {PrimitivePwle(active),
                                      PrimitivePwle::make<PrimitivePwle::braking>(
                                          BrakingPwle{Braking::CLAB, 5})};
  ASSERT_TRUE(proxy->composePwle(pwles, nullptr).isOk());
  ASSERT_EQ(pwles, service->pwles);
  EXPECT_EQ(PrimitivePwle::active, service->pwles[0].getTag());
  EXPECT_EQ(20, service->pwles[0].get<PrimitivePwle::active>().duration);
}

TEST_F(VibratorAidlTest, CallbackReachesTheClient) {
  auto cb = ndk::SharedRefBase::make<Callback>();
  ASSERT_TRUE(proxy->on(250, cb).isOk());
  EXPECT_EQ(1, cb->waitForCompletions(1));
  ASSERT_NE(nullptr, service->lastCallback);
  EXPECT_TRUE(service->lastCallback->isRemote());
  int32_t version = 0;
  ASSERT_TRUE(service->lastCallback->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(2, version);
  ASSERT_TRUE(proxy->on(5, nullptr).isOk());
  EXPECT_EQ("on 5 null", service->calls.back());
}

TEST_F(VibratorAidlTest, ExtensionIsTheVendorInterface) {
  ndk::SpAIBinder extBinder;
  ASSERT_EQ(STATUS_OK, AIBinder_getExtension(binder.get(), extBinder.getR()));
  ASSERT_NE(nullptr, extBinder.get());
  auto extProxy = IVibratorExt::fromBinder(extBinder);
  ASSERT_NE(nullptr, extProxy);
  EXPECT_EQ(nullptr, IVibrator::fromBinder(extBinder));  // not a vibrator
  std::vector<int32_t> he = {8, 1, 100, 50, 0, 0, 0, 0};
  ASSERT_TRUE(extProxy->play(he, 2, 1234567890123LL, -1).isOk());
  EXPECT_EQ(he, ext->played);
  EXPECT_EQ(EX_UNSUPPORTED_OPERATION, extProxy->pause().getExceptionCode());
  EXPECT_EQ(EX_UNSUPPORTED_OPERATION, extProxy->stop().getExceptionCode());
  EXPECT_EQ(EX_UNSUPPORTED_OPERATION, extProxy->seekTo(-5).getExceptionCode());
  EXPECT_TRUE(extProxy->setAmplitudeExt(0.8f, 1).isOk());
  EXPECT_TRUE(extProxy->configStrengthForEffect(12, 0.6f).isOk());
  EXPECT_TRUE(extProxy->setUsageExt(33).isOk());
  EXPECT_EQ((std::vector<std::string>{"play 2 1234567890123 -1", "pause", "stop", "seekTo -5",
                                      "setAmplitudeExt 0.800000 1",
                                      "configStrengthForEffect 12 0.600000", "setUsageExt 33"}),
            ext->calls);
  int32_t version = 0;
  ASSERT_TRUE(extProxy->getInterfaceVersion(&version).isOk());
  EXPECT_EQ(1, version);
}

// Raw transactions by number reach the method of that position in the interface.
TEST_F(VibratorAidlTest, TransactionCodesFollowDeclarationOrder) {
  struct Case {
    uint32_t code;
    std::vector<int32_t> args;  // written as int32 words after the token
    const char* expectedCall;
  };
  const Case cases[] = {
      {1, {}, "getCapabilities"},
      {2, {}, "off"},
      {3, {40, 0, 0}, "on 40 null"},  // timeout, null binder entry
      {4, {21, 2, 0, 0}, "perform TEXTURE_TICK STRONG"},
      {7, {0}, "setExternalControl 0"},
      {8, {}, "getCompositionDelayMax"},
      {14, {9, 3, 1}, "alwaysOnEnable 9 THUD MEDIUM"},
      {15, {9}, "alwaysOnDisable 9"},
      {17, {}, "getQFactor"},
      {22, {}, "getPwleCompositionSizeMax"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    ndk::ScopedAParcel in, out;
    ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
    for (int32_t w : c.args) ASSERT_EQ(STATUS_OK, AParcel_writeInt32(in.get(), w));
    ASSERT_EQ(STATUS_OK, AIBinder_transact(binder.get(), c.code, in.getR(), out.getR(), 0));
    EXPECT_EQ(c.expectedCall, service->calls.back());
  }
  ndk::ScopedAParcel in, out;
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
  ASSERT_EQ(STATUS_OK, AIBinder_transact(binder.get(), 0x00ffffff, in.getR(), out.getR(), 0));
  int32_t exception = -1, version = 0;
  ASSERT_EQ(STATUS_OK, AParcel_readInt32(out.get(), &exception));
  ASSERT_EQ(STATUS_OK, AParcel_readInt32(out.get(), &version));
  EXPECT_EQ(0, exception);
  EXPECT_EQ(2, version);
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
  EXPECT_EQ(STATUS_UNKNOWN_TRANSACTION,
            AIBinder_transact(binder.get(), 25, in.getR(), out.getR(), 0));
}

TEST_F(VibratorAidlTest, ArgumentsCutShortAreRefusedBeforeTheCall) {
  size_t before = service->calls.size();
  ndk::ScopedAParcel in, out;
  ASSERT_EQ(STATUS_OK, AIBinder_prepareTransaction(binder.get(), in.getR()));
  ASSERT_EQ(STATUS_OK, AParcel_writeInt32(in.get(), 2));  // effect, no strength
  EXPECT_EQ(STATUS_NOT_ENOUGH_DATA,
            AIBinder_transact(binder.get(), IVibrator::TRANSACTION_perform, in.getR(), out.getR(), 0));
  EXPECT_EQ(before, service->calls.size());
}

// Words of a parcel, for layout checks.
std::vector<int32_t> words(const AParcel* p) {
  std::vector<int32_t> w(static_cast<size_t>(AParcel_getDataSize(p)) / 4);
  EXPECT_EQ(STATUS_OK, AParcel_marshal(p, reinterpret_cast<uint8_t*>(w.data()), 0, w.size() * 4));
  return w;
}
int32_t bitsOf(float f) {
  int32_t b;
  std::memcpy(&b, &f, 4);
  return b;
}

TEST(VibratorTypesTest, ParcelablesUseTheStableFraming) {
  ndk::ScopedAParcel p(AParcel_create());
  CompositeEffect e{7, CompositePrimitive::QUICK_RISE, 0.75f};
  ASSERT_EQ(STATUS_OK, ndk::AParcel_writeData(p.get(), e));
  EXPECT_EQ((std::vector<int32_t>{1, 16, 7, 4, bitsOf(0.75f)}), words(p.get()));

  ndk::ScopedAParcel u(AParcel_create());
  PrimitivePwle pwle(BrakingPwle{Braking::CLAB, 9});
  ASSERT_EQ(STATUS_OK, ndk::AParcel_writeData(u.get(), pwle));
  EXPECT_EQ((std::vector<int32_t>{1, 1, 1, 12, 1, 9}), words(u.get()));

  // A union tag this version does not know is refused.
  ndk::ScopedAParcel bad(AParcel_create());
  for (int32_t w : {1, 2, 1, 8, 0}) ASSERT_EQ(STATUS_OK, AParcel_writeInt32(bad.get(), w));
  ASSERT_EQ(STATUS_OK, AParcel_setDataPosition(bad.get(), 0));
  PrimitivePwle out;
  EXPECT_EQ(STATUS_BAD_VALUE, ndk::AParcel_readData(bad.get(), &out));
}

}  // namespace
