// A sign operation's round trip through the KeyMint HAL to the simulated secure processor:
// begin, update (in requests of at most 8192 bytes), finish, each a CBOR request through the
// channel, with the simulated processor's ECDSA P-256 work included. Once on the device
// object, once through a binder proxy.
#include <android/binder_manager.h>
#include <benchmark/benchmark.h>
#include <platform/properties.h>
#include <vaultlink/sim_secproc.h>

#include "AndroidKeyMintDevice.h"
#include "sim_keymint.h"

namespace {

namespace km = ::aidl::android::hardware::security::keymint;
using V = km::KeyParameterValue;

struct Setup {
  Setup() {
    platform::secproc::SimSecureProcessor::get().reset();
    property_set("ro.build.version.release", "14");
    property_set("ro.build.version.security_patch", "2024-02-05");
    property_set("ro.vendor.build.security_patch", "2024-02-05");
    sim = std::make_unique<secproc_test::SimKeyMint>();
    device = ::ndk::SharedRefBase::make<km::AndroidKeyMintDevice>(km::SecurityLevel::STRONGBOX);
    AServiceManager_addService(device->asBinder().get(),
                               "android.hardware.security.keymint.IKeyMintDevice/strongbox");
    proxy = km::GetKeyMintDeviceService(km::SecurityLevel::STRONGBOX);
    std::vector<km::KeyParameter> params = {
        {km::Tag::ALGORITHM, V::make<V::algorithm>(km::Algorithm::EC)},
        {km::Tag::EC_CURVE, V::make<V::ecCurve>(km::EcCurve::P_256)},
        {km::Tag::PURPOSE, V::make<V::keyPurpose>(km::KeyPurpose::SIGN)},
        {km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)},
        {km::Tag::NO_AUTH_REQUIRED, V::make<V::boolValue>(true)},
    };
    ok = device->generateKey(params, std::nullopt, &key).isOk();
  }
  std::unique_ptr<secproc_test::SimKeyMint> sim;
  std::shared_ptr<km::AndroidKeyMintDevice> device;
  std::shared_ptr<km::IKeyMintDevice> proxy;
  km::KeyCreationResult key;
  bool ok = false;
};

Setup& setup() {
  static Setup* s = new Setup;
  return *s;
}

void signRoundTrip(benchmark::State& state, km::IKeyMintDevice& device) {
  Setup& s = setup();
  if (!s.ok) {
    state.SkipWithError("key generation failed");
    return;
  }
  const std::vector<km::KeyParameter> params = {{km::Tag::DIGEST, V::make<V::digest>(km::Digest::SHA_2_256)}};
  const std::vector<uint8_t> message(static_cast<size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    km::BeginResult begun;
    std::vector<uint8_t> out, signature;
    bool good = device.begin(km::KeyPurpose::SIGN, s.key.keyBlob, params, std::nullopt, &begun).isOk() &&
                (message.empty() || begun.operation->update(message, std::nullopt, std::nullopt, &out).isOk()) &&
                begun.operation->finish(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                                        &signature)
                    .isOk();
    if (!good) {
      state.SkipWithError("sign failed");
      break;
    }
    benchmark::DoNotOptimize(signature.data());
    begun.operation.reset();  // its destructor's abort is part of the round trip
    if ((state.iterations() & 255) == 0) platform::secproc::SimSecureProcessor::get().clearRequests();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_SignRoundTrip(benchmark::State& state) { signRoundTrip(state, *setup().device); }
void BM_SignRoundTripThroughBinder(benchmark::State& state) {
  if (!setup().proxy) {
    state.SkipWithError("no binder proxy");
    return;
  }
  signRoundTrip(state, *setup().proxy);
}
BENCHMARK(BM_SignRoundTrip)->Arg(0)->Arg(1024)->Arg(20000);
BENCHMARK(BM_SignRoundTripThroughBinder)->Arg(0)->Arg(20000);

}  // namespace

BENCHMARK_MAIN();
