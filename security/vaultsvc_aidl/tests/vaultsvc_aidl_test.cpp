#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/BpRERoririz.h>
#include <android/binder_manager.h>
#include <android/binder_parcel_utils.h>
#include <gtest/gtest.h>
#include <platform_binder_test.h>

#include <functional>

#include "vaultsvc_double.h"
#include "vendor_test/child_process.h"

namespace {

using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririz;
using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::IRERoririzDefault;
using ::aidl::vendor::tamrel::hardware::aidl::vaultsvc::RERoririzResult;
using vaultsvc_testing::VaultServiceDouble;
using Status = ::ndk::ScopedAStatus;

struct ParcelDeleter {
  void operator()(AParcel* p) const { AParcel_delete(p); }
};
using Parcel = std::unique_ptr<AParcel, ParcelDeleter>;

// A client of the double registered under the service's instance: every call crosses the
// binder stand-in as parcels.
class VaultServiceClient : public ::testing::Test {
 protected:
  void SetUp() override {
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
    server = ::ndk::SharedRefBase::make<VaultServiceDouble>();
    ASSERT_EQ(AServiceManager_addService(server->asBinder().get(), vaultsvc_testing::vaultServiceInstance().c_str()),
              EX_NONE);
    ::ndk::SpAIBinder binder(AServiceManager_checkService(vaultsvc_testing::vaultServiceInstance().c_str()));
    client = IRERoririz::fromBinder(binder);
    ASSERT_NE(client, nullptr);
    ASSERT_TRUE(client->isRemote());
  }
  void TearDown() override {
    client.reset();
    platform_binder_test::resetServiceManager();
    platform_binder_test::resetProcess();
  }

  std::shared_ptr<VaultServiceDouble> server;
  std::shared_ptr<IRERoririz> client;
};

TEST_F(VaultServiceClient, EveryMethodCarriesItsArgumentsAndAnswerAcrossTheBinder) {
  struct Case {
    const char* call;  // what the server records
    std::function<Status(IRERoririz&, std::string*)> run;  // answer rendered as text
  };
  auto str = [](auto method) {
    return [method](IRERoririz& c, std::string* out) { return method(c, out); };
  };
  auto num = [](auto method) {
    return [method](IRERoririz& c, std::string* out) {
      int32_t v = -7;
      Status s = method(c, &v);
      *out = std::to_string(v);
      return s;
    };
  };
  const std::vector<Case> cases = {
      {"enroll|data|-5", str([](IRERoririz& c, std::string* o) { return c.enroll("data", -5, o); })},
      {"external_key_dump|3", str([](IRERoririz& c, std::string* o) { return c.external_key_dump(3, o); })},
      {"external_key_load|4|k|c", num([](IRERoririz& c, int32_t* o) { return c.external_key_load(4, "k", "c", o); })},
      {"external_key_prepare|5", str([](IRERoririz& c, std::string* o) { return c.external_key_prepare(5, o); })},
      {"external_key_version|6", num([](IRERoririz& c, int32_t* o) { return c.external_key_version(6, o); })},
      {"fido_key_get_version", num([](IRERoririz& c, int32_t* o) { return c.fido_key_get_version(o); })},
      {"fido_key_load|fk|fc", num([](IRERoririz& c, int32_t* o) { return c.fido_key_load("fk", "fc", o); })},
      {"fido_key_prepare", str([](IRERoririz& c, std::string* o) { return c.fido_key_prepare(o); })},
      {"getTAVersion", str([](IRERoririz& c, std::string* o) { return c.getTAVersion(o); })},
      {"get_device_rmpb_counter", num([](IRERoririz& c, int32_t* o) { return c.get_device_rmpb_counter(o); })},
      {"payauth_key_dump", str([](IRERoririz& c, std::string* o) { return c.payauth_key_dump(o); })},
      {"payauth_key_get_version", num([](IRERoririz& c, int32_t* o) { return c.payauth_key_get_version(o); })},
      {"payauth_key_load|pk|pc", num([](IRERoririz& c, int32_t* o) { return c.payauth_key_load("pk", "pc", o); })},
      {"payauth_key_prepare", str([](IRERoririz& c, std::string* o) { return c.payauth_key_prepare(o); })},
      {"persist_remove|2|name", num([](IRERoririz& c, int32_t* o) { return c.persist_remove(2, "name", o); })},
      {"persist_write|9|n|00FF10|-1",
       num([](IRERoririz& c, int32_t* o) { return c.persist_write(9, "n", {0x00, 0xFF, 0x10}, -1, o); })},
      {"refreash_device_rpmb_status", num([](IRERoririz& c, int32_t* o) { return c.refreash_device_rpmb_status(o); })},
      {"reload|rk|rc", num([](IRERoririz& c, int32_t* o) { return c.reload("rk", "rc", o); })},
      {"bioauth_generate", str([](IRERoririz& c, std::string* o) { return c.bioauth_generate(o); })},
      {"bioauth_get_state", num([](IRERoririz& c, int32_t* o) { return c.bioauth_get_state(o); })},
      {"bioauth_set_state|12", [](IRERoririz& c, std::string* o) {
         o->clear();
         return c.bioauth_set_state(12);
       }},
      {"drmkey_dump", str([](IRERoririz& c, std::string* o) { return c.drmkey_dump(o); })},
      {"drmkey_get_version", num([](IRERoririz& c, int32_t* o) { return c.drmkey_get_version(o); })},
      {"drmkey_load|dk|dc", num([](IRERoririz& c, int32_t* o) { return c.drmkey_load("dk", "dc", o); })},
      {"drmkey_prepare", str([](IRERoririz& c, std::string* o) { return c.drmkey_prepare(o); })},
  };
  // The double answers a string method with "name(args)" and an int method with
  // 1000 * (calls so far) + length of its argument text.
  for (size_t i = 0; i < cases.size(); i++) {
    const std::string call = cases[i].call;
    const size_t bar = call.find('|');
    const std::string name = call.substr(0, bar);
    const std::string args = bar == std::string::npos ? "" : call.substr(bar);
    std::string answer;
    Status s = cases[i].run(*client, &answer);
    ASSERT_TRUE(s.isOk()) << call << ": " << s.getDescription();
    ASSERT_EQ(server->calls().back(), call);
    if (answer.empty()) continue;
    if (answer[0] >= 'a' && answer[0] <= 'z') {
      EXPECT_EQ(answer, name + "(" + args + ")");
    } else {
      EXPECT_EQ(answer, std::to_string(static_cast<int>(i + 1) * 1000 + static_cast<int>(args.size()))) << call;
    }
  }

  bool loaded = false;
  ASSERT_TRUE(client->external_id_load(7, &loaded).isOk());
  EXPECT_TRUE(loaded);
  std::vector<int32_t> secure;
  ASSERT_TRUE(client->get_device_secure_status(&secure).isOk());
  EXPECT_EQ(secure, (std::vector<int32_t>{7, -1, 0x7fffffff}));
  RERoririzResult read;
  ASSERT_TRUE(client->persist_read(-3, "blob", &read).isOk());
  EXPECT_EQ(read.result, -3);
  EXPECT_EQ(read.data, (std::vector<uint8_t>{'b', 'l', 'o', 'b'}));
}

TEST_F(VaultServiceClient, ServiceErrorsComeBackAndLeaveTheAnswerUntouched) {
  server->setFidError(-17);
  std::string fid = "untouched";
  Status s = client->getFid(&fid);
  EXPECT_EQ(s.getExceptionCode(), EX_SERVICE_SPECIFIC);
  EXPECT_EQ(s.getServiceSpecificError(), -17);
  EXPECT_EQ(fid, "untouched");
}

TEST_F(VaultServiceClient, VersionAndHashAreAskedOnceThenCached) {
  int32_t v = 0;
  std::string h;
  ASSERT_TRUE(client->getInterfaceVersion(&v).isOk());
  ASSERT_TRUE(client->getInterfaceHash(&h).isOk());
  EXPECT_EQ(v, 1);
  EXPECT_EQ(h, "5c07e9d2a4b1f36e80d9c2b7a15f4e6093d8b1ac");
  // With the server gone, the cached answers still come back; an uncached call fails.
  ASSERT_TRUE(platform_binder_test::killBinder(server->asBinder().get()));
  v = 0;
  h.clear();
  EXPECT_TRUE(client->getInterfaceVersion(&v).isOk());
  EXPECT_TRUE(client->getInterfaceHash(&h).isOk());
  EXPECT_EQ(v, 1);
  EXPECT_EQ(h, IRERoririz::hash);
  std::string fid;
  EXPECT_EQ(client->getFid(&fid).getStatus(), STATUS_DEAD_OBJECT);
}

TEST(VaultServiceBinder, StubIsStableAndALocalBinderGivesItsOwnObject) {
  auto server = ::ndk::SharedRefBase::make<VaultServiceDouble>();
  ::ndk::SpAIBinder binder = server->asBinder();
  EXPECT_TRUE(platform_binder_test::isVintfStable(binder.get()));
  EXPECT_EQ(IRERoririz::fromBinder(binder), server);
  EXPECT_EQ(IRERoririz::fromBinder(::ndk::SpAIBinder()), nullptr);

  // An interface reference crosses a parcel as a binder and reads back as the interface.
  Parcel p(AParcel_create());
  ASSERT_EQ(IRERoririz::writeToParcel(p.get(), server), STATUS_OK);
  ASSERT_EQ(IRERoririz::writeToParcel(p.get(), nullptr), STATUS_OK);
  AParcel_setDataPosition(p.get(), 0);
  std::shared_ptr<IRERoririz> back, none = server;
  ASSERT_EQ(IRERoririz::readFromParcel(p.get(), &back), STATUS_OK);
  ASSERT_EQ(IRERoririz::readFromParcel(p.get(), &none), STATUS_OK);
  ASSERT_NE(back, nullptr);
  std::string fid;
  EXPECT_TRUE(back->getFid(&fid).isOk());
  EXPECT_EQ(fid, "FID0123456789ABCDEF");
  EXPECT_EQ(none, nullptr);
}

// A server of an older interface that knows no call at all.
binder_status_t knowsNothing(AIBinder*, transaction_code_t, const AParcel*, AParcel*) {
  return STATUS_UNKNOWN_TRANSACTION;
}

class DefaultAnswers : public IRERoririzDefault {
 public:
  Status getFid(Str* r) override {
    *r = "from-default";
    return Status::ok();
  }
};

void unknownCallsFallBackToTheDefault() {
  platform_binder_test::resetServiceManager();
  static AIBinder_Class* oldClass = AIBinder_Class_define(
      IRERoririz::descriptor, [](void*) -> void* { return nullptr; }, [](void*) {}, knowsNothing);
  ::ndk::SpAIBinder old(AIBinder_new(oldClass, nullptr));
  ASSERT_EQ(AServiceManager_addService(old.get(), "old/default"), EX_NONE);
  auto client = IRERoririz::fromBinder(::ndk::SpAIBinder(AServiceManager_checkService("old/default")));
  ASSERT_NE(client, nullptr);

  std::string fid = "kept";
  // No default set in this process yet: the server's answer stands.
  ASSERT_EQ(IRERoririz::getDefaultImpl(), nullptr);
  EXPECT_EQ(client->getFid(&fid).getStatus(), STATUS_UNKNOWN_TRANSACTION);
  EXPECT_EQ(fid, "kept");

  EXPECT_FALSE(IRERoririz::setDefaultImpl(nullptr));
  auto answers = std::make_shared<DefaultAnswers>();
  ASSERT_TRUE(IRERoririz::setDefaultImpl(answers));
  EXPECT_FALSE(IRERoririz::setDefaultImpl(nullptr));
  EXPECT_EQ(IRERoririz::getDefaultImpl(), answers);  // a refused null keeps the previous one

  EXPECT_TRUE(client->getFid(&fid).isOk());
  EXPECT_EQ(fid, "from-default");
  std::string sig = "kept";
  EXPECT_EQ(client->eccSign(0, "00", &sig).getStatus(), STATUS_UNKNOWN_TRANSACTION);
  EXPECT_EQ(sig, "kept");
  int32_t v = 5;
  std::string h = "x";
  EXPECT_TRUE(client->getInterfaceVersion(&v).isOk());
  EXPECT_TRUE(client->getInterfaceHash(&h).isOk());
  EXPECT_EQ(v, 0);
  EXPECT_EQ(h, "");
  EXPECT_EQ(answers->asBinder().get(), nullptr);
  EXPECT_FALSE(answers->isRemote());
  platform_binder_test::resetServiceManager();
}

// The default implementation is set once per process and stays: the case has a process of
// its own.
TEST(VaultServiceBinder, UnknownCallsFallBackToTheDefaultImplementationWhenOneIsSet) {
  vendor_test::runInChildProcess(unknownCallsFallBackToTheDefault);
}

std::vector<uint8_t> marshal(const AParcel* p) {
  std::vector<uint8_t> bytes(static_cast<size_t>(AParcel_getDataSize(p)));
  EXPECT_EQ(AParcel_marshal(p, bytes.data(), 0, bytes.size()), STATUS_OK);
  return bytes;
}

TEST(VaultServiceResult, FramedLayoutRoundTripsAndSkipsWhatALaterVersionAdds) {
  RERoririzResult r{-9, {1, 2, 3, 4, 5}};
  Parcel p(AParcel_create());
  ASSERT_EQ(r.writeToParcel(p.get()), STATUS_OK);
  const std::vector<uint8_t> bytes = marshal(p.get());
  // size (4) + result (4) + count (4) + 5 bytes padded to 8.
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(bytes[0], 20);
  AParcel_setDataPosition(p.get(), 0);
  RERoririzResult back;
  ASSERT_EQ(back.readFromParcel(p.get()), STATUS_OK);
  EXPECT_EQ(back, r);
  EXPECT_EQ(AParcel_getDataPosition(p.get()), 20);

  struct Case {
    int32_t size;
    binder_status_t status;
    size_t dataLen;
  };
  // A frame covering only `result` leaves `data` empty; one with an extra word skips it; a
  // size below 4 or past the largest position is refused.
  for (const Case& c : {Case{8, STATUS_OK, 0}, Case{20, STATUS_OK, 2}, Case{3, STATUS_BAD_VALUE, 0},
                        Case{INT32_MAX, STATUS_BAD_VALUE, 0}}) {
    Parcel q(AParcel_create());
    AParcel_writeInt32(q.get(), 0);  // the frame does not start at 0
    AParcel_writeInt32(q.get(), c.size);
    AParcel_writeInt32(q.get(), 77);
    if (c.size > 8) {
      ::ndk::AParcel_writeData(q.get(), std::vector<uint8_t>{8, 9});
      AParcel_writeInt32(q.get(), 0x5A5A);  // a field of a later version
    }
    AParcel_writeInt32(q.get(), 0x1234);  // what follows the parcelable
    AParcel_setDataPosition(q.get(), 4);
    RERoririzResult got;
    ASSERT_EQ(got.readFromParcel(q.get()), c.status) << c.size;
    if (c.status != STATUS_OK) continue;
    EXPECT_EQ(got.result, 77);
    EXPECT_EQ(got.data.size(), c.dataLen);
    int32_t next = 0;
    ASSERT_EQ(AParcel_readInt32(q.get(), &next), STATUS_OK);
    EXPECT_EQ(next, 0x1234) << c.size;
  }
}

}  // namespace
