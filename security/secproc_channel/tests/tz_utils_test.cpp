// The trusted-application utilities against the simulated application: loading, inline
// and shared-memory storage, preparation and provisioning results.
#include <platform/dmabufheap_test.h>
#include <platform/temp_root.h>

#include "KeymasterTzUtils.h"
#include "secproc_channel_fixture.h"

namespace secproc_test {
namespace {

using keymasterutils::KeymasterTzUtils;
constexpr uint32_t kDeviceIdsTag = 0x44495354;

class TzUtils : public ChannelTest {
 protected:
  void SetUp() override {
    ChannelTest::SetUp();
    platform::dmabuf::reset();
  }
  void TearDown() override {
    EXPECT_EQ(platform::dmabuf::liveBuffers(), 0);
    EXPECT_EQ(platform::dmabuf::cpuAccessOpen(), 0);
    EXPECT_EQ(platform::dmabuf::liveAllocators(), 0);
    ChannelTest::TearDown();
  }
  int lastAppOp() {
    int op = -1;
    for (const auto& inv : SimTz::get().invocations()) {
      if (inv.object == "app") op = static_cast<int>(inv.op);
    }
    return op;
  }
};

TEST_F(TzUtils, WritesUpTo256BytesInlineAndLargerThroughSharedMemory) {
  KeymasterTzUtils tz;
  for (size_t size : {size_t{1}, size_t{256}, size_t{257}, size_t{5000}}) {
    std::vector<uint8_t> data(size);
    for (size_t k = 0; k < size; k++) data[k] = static_cast<uint8_t>(k * 7);
    ASSERT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS, data.data(), size), 0) << size;
    EXPECT_EQ(lastAppOp(), size <= 256 ? 14 : 1) << size;
    EXPECT_EQ(SimTz::get().storage().at(kDeviceIdsTag), data) << size;

    std::vector<uint8_t> back(size + 10);
    size_t len = back.size();
    ASSERT_EQ(tz.tzServiceRead(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS, back.data(), &len), 0) << size;
    EXPECT_EQ(lastAppOp(), back.size() <= 256 ? 2 : 3) << size;
    ASSERT_EQ(len, size);
    back.resize(len);
    EXPECT_EQ(back, data);
  }
  EXPECT_EQ(platform::dmabuf::mappedHeap(), "orvn,celvarcom-ta");
  EXPECT_EQ(platform::dmabuf::mappedLegacyHeap(), "celvcom_ta");
  EXPECT_EQ(platform::dmabuf::mappedLegacyMask(), 2u);
}

TEST_F(TzUtils, RecordLargerThanTheCallersBufferIsNotCopiedPastIt) {
  KeymasterTzUtils tz;
  SimTz::get().setStorage(kDeviceIdsTag, std::vector<uint8_t>(600, 0x33));
  // The application answers with the record's real length, beyond the caller's 300.
  std::vector<uint8_t> dest(300 + 16, 0xEE);
  size_t len = 300;
  EXPECT_NE(tz.tzServiceRead(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS, dest.data(), &len), 0);
  for (size_t k = 300; k < dest.size(); k++) ASSERT_EQ(dest[k], 0xEE) << k;
}

TEST_F(TzUtils, KeyIdsAndLoadFailures) {
  KeymasterTzUtils tz;
  uint8_t byte = 1;
  size_t len = 1;
  for (auto id : {static_cast<KeymasterTzUtils::tz_key_id_enum>(0), static_cast<KeymasterTzUtils::tz_key_id_enum>(3)}) {
    EXPECT_EQ(tz.tzServiceWrite(id, &byte, 1), -38);
    EXPECT_EQ(tz.tzServiceRead(id, &byte, &len), -38);
    EXPECT_EQ(tz.tzServiceDelete(id), -38);
  }
  EXPECT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS, &byte, 0), -38);

  // An application that is not running and has no image: -32 comes before the id check.
  platform::testing::TempRoot root;
  SimTz::get().reset();
  SimTz::get().setAppRunning(false);
  const int liveBefore = SimTz::get().liveObjects();
  KeymasterTzUtils unloaded;
  EXPECT_EQ(unloaded.tzServiceDelete(static_cast<KeymasterTzUtils::tz_key_id_enum>(0)), -32);
  EXPECT_EQ(unloaded.tzServiceLoad(), -1000);
  EXPECT_FALSE(unloaded.isInitialized());
  EXPECT_EQ(SimTz::get().liveObjects(), liveBefore) << "a failed load releases every object";
}

TEST_F(TzUtils, LoadUsesTheRunningAppOrTheImage) {
  KeymasterTzUtils running;
  ASSERT_EQ(running.init(), 0);
  EXPECT_TRUE(running.isInitialized());
  for (const auto& inv : SimTz::get().invocations()) EXPECT_NE(inv.object, "loader");
  EXPECT_TRUE(SimTz::get().loadedImage().empty());

  platform::testing::TempRoot root;
  root.writeFile("/vendor/firmware_mnt/image/secproc_service.img", "IMAGE");
  SimTz::get().reset();
  SimTz::get().setAppRunning(false);
  KeymasterTzUtils fromImage;
  ASSERT_EQ(fromImage.tzServiceLoad(), 0);
  EXPECT_EQ(SimTz::get().loadedImage(), (std::vector<uint8_t>{'I', 'M', 'A', 'G', 'E'}));
  EXPECT_EQ(fromImage.tzServiceLock(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS), 0);
  EXPECT_TRUE(SimTz::get().locked(kDeviceIdsTag));
  fromImage.tzServiceUnload();
  EXPECT_FALSE(fromImage.isInitialized());
}

// An image that is empty or missing is a failed load: nothing of the application is
// called, every object is released again, and the operations report that it is not loaded.
TEST_F(TzUtils, EmptyOrMissingImageIsAFailedLoad) {
  constexpr char kImage[] = "/vendor/firmware_mnt/image/secproc_service.img";
  struct Case {
    const char* what;
    const char* content;  // nullptr: no image file
    int load;
  };
  for (const Case& c : {Case{"empty image", "", -1000}, Case{"no image", nullptr, -1000},
                        Case{"an image", "IMAGE", 0}}) {
    SCOPED_TRACE(c.what);
    platform::testing::TempRoot root;
    if (c.content != nullptr) root.writeFile(kImage, c.content);
    SimTz::get().reset();
    SimTz::get().setAppRunning(false);
    const int liveBefore = SimTz::get().liveObjects();
    {
      KeymasterTzUtils tz;
      ASSERT_EQ(tz.tzServiceLoad(), c.load);
      EXPECT_EQ(tz.isInitialized(), c.load == 0);
      if (c.load != 0) {
        EXPECT_EQ(SimTz::get().liveObjects(), liveBefore) << "a failed load releases every object";
        EXPECT_EQ(tz.tzServiceDelete(KeymasterTzUtils::TZ_KEY_ID_DEVICE_IDS), -32);
        bool release = true;
        EXPECT_EQ(tz.tzSecProcKmPrepare(5, &release), -32);
        EXPECT_EQ(lastAppOp(), -1) << "the application was never called";
      } else {
        EXPECT_EQ(SimTz::get().loadedImage(), (std::vector<uint8_t>{'I', 'M', 'A', 'G', 'E'}));
      }
    }
    EXPECT_EQ(SimTz::get().liveObjects(), liveBefore);
  }
}

TEST_F(TzUtils, PrepareAndProvisioningResults) {
  KeymasterTzUtils tz;
  bool release = true;
  EXPECT_EQ(tz.tzSecProcKmPrepare(-1, &release), -38);
  EXPECT_FALSE(release);
  SimTz::get().setResult(12, 0x10000);
  ASSERT_EQ(tz.tzSecProcKmPrepare(9, &release), 0);
  EXPECT_TRUE(release);
  EXPECT_EQ(SimTz::get().lastPreparedFd(), 9);
  SimTz::get().setResult(12, 3);
  EXPECT_EQ(tz.tzSecProcKmPrepare(9, &release), -1000);

  struct Case {
    int32_t answer;
    int deviceId;
    int attestation;
  };
  const uint8_t data[4] = {1, 2, 3, 4};
  for (Case c : {Case{0, 0, 0}, Case{15, -10005, -10004}, Case{12, -10009, -10009}, Case{5, -1000, -1000}}) {
    SimTz::get().setResult(7, c.answer);
    SimTz::get().setResult(8, c.answer);
    EXPECT_EQ(tz.tzSecProcKmProvisionDeviceId(data, 4), c.deviceId) << c.answer;
    EXPECT_EQ(tz.tzSecProcKmProvisionAttestationKeys(data, 4), c.attestation) << c.answer;
  }
  EXPECT_EQ(SimTz::get().lastProvisioned(8).size(), 4u);
}

TEST_F(TzUtils, SharedMemoryFailuresAreReportedNotUsed) {
  KeymasterTzUtils tz;
  std::vector<uint8_t> data(1000, 1);
  platform::dmabuf::setCreateAllocatorFails(true);
  EXPECT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_ATTESTATION, data.data(), data.size()), -41);
  platform::dmabuf::setCreateAllocatorFails(false);
  platform::dmabuf::failNextAllocation(ENOMEM);
  EXPECT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_ATTESTATION, data.data(), data.size()), -41);
  platform::dmabuf::failNextSync(EIO);
  EXPECT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_ATTESTATION, data.data(), data.size()), -41);
  SimTz::get().setFdObjectFails(true);
  EXPECT_EQ(tz.tzServiceWrite(KeymasterTzUtils::TZ_KEY_ID_ATTESTATION, data.data(), data.size()), -1000);
  SimTz::get().setFdObjectFails(false);
  EXPECT_TRUE(SimTz::get().storage().empty());
}

}  // namespace
}  // namespace secproc_test
