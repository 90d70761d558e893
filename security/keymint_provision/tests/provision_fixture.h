#pragma once
// Set-up of the provisioning tests: the simulated secure processor of the channel's tests,
// and in place of the StrongBox KeyMint service (another process, outside this library) a
// binder that records the calls it gets.
#include <android/binder_ibinder.h>
#include <android/binder_manager.h>
#include <android/binder_parcel_utils.h>
#include <platform_binder_test.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "KeymasterKeyProvision.h"
#include "secproc_channel_fixture.h"

namespace provision_test {

using Bytes = std::vector<uint8_t>;

struct KeyMintCall {
  uint32_t code;
  Bytes keyBlob;
};

class KeyMintRecorder {
 public:
  static KeyMintRecorder& get() {
    static KeyMintRecorder r;
    return r;
  }
  std::vector<KeyMintCall> calls() {
    std::lock_guard<std::mutex> g(lock_);
    return calls_;
  }
  void clear() {
    std::lock_guard<std::mutex> g(lock_);
    calls_.clear();
  }
  // Registers a StrongBox KeyMint binder that records each call and answers it with an
  // error status, as a device that knows no such key would.
  ::ndk::SpAIBinder serve() {
    static AIBinder_Class* clazz = AIBinder_Class_define(
        "android.hardware.security.keymint.IKeyMintDevice", [](void*) -> void* { return nullptr; },
        [](void*) {}, onTransact);
    ::ndk::SpAIBinder binder(AIBinder_new(clazz, nullptr));
    EXPECT_EQ(AServiceManager_addService(binder.get(), "android.hardware.security.keymint.IKeyMintDevice/strongbox"),
              EX_NONE);
    return binder;
  }

 private:
  static binder_status_t onTransact(AIBinder*, transaction_code_t code, const AParcel* in, AParcel* out) {
    KeyMintCall call{code, {}};
    binder_status_t s = ::ndk::AParcel_readData(in, &call.keyBlob);
    {
      std::lock_guard<std::mutex> g(get().lock_);
      get().calls_.push_back(call);
    }
    if (s != STATUS_OK) return s;
    ::ndk::ScopedAStatus err = ::ndk::ScopedAStatus::fromServiceSpecificError(-33);
    return AParcel_writeStatusHeader(out, err.get());
  }
  std::mutex lock_;
  std::vector<KeyMintCall> calls_;
};

class ProvisionTest : public secproc_test::ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    KeyMintRecorder::get().clear();
    keyMint = KeyMintRecorder::get().serve();
  }
  void TearDown() override {
    keyMint = ::ndk::SpAIBinder();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    ChannelTest::TearDown();
  }

  static std::string readFile(const std::string& name) {
    const std::string path = std::string(VENDOR_SOURCE_DIR) + "/security/keymint_provision/tests/data/" + name;
    FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return {};
    std::string text;
    char chunk[512];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    return text;
  }

  ::ndk::SpAIBinder keyMint;
};

}  // namespace provision_test
