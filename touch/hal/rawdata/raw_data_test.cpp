// The raw-data interface over the simulated driver's raw-copy ring, and the capture files.
#include "rawdata/raw_data.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/test_host.h"
#include "hotarea/hot_area.h"
#include "platform/devio.h"
#include "platform/paths.h"

namespace {

constexpr uint32_t kRawPages = 2;

template <typename T>
T at(const uint8_t *p, size_t offset) {
  T v;
  memcpy(&v, p + offset, sizeof v);
  return v;
}

template <typename T>
void put(std::vector<uint8_t> &d, size_t offset, T v) {
  memcpy(d.data() + offset, &v, sizeof v);
}

class RawData : public hal_test::ModuleFixture {
 protected:
  void SetUp() override {
    adjustDriver = [](platform::sim::TamrelTouchConfig &c) {
      c.raw_buffer_pages = kRawPages;
      c.raw_buffer_count = 3;
    };
    start("");
    mutual_.resize(kMutual);
    self_.resize(kSelf);
    for (size_t i = 0; i < mutual_.size(); ++i) mutual_[i] = static_cast<int16_t>(i - 300);
    for (size_t i = 0; i < self_.size(); ++i) self_[i] = static_cast<int16_t>(1000 + i);
    output_.mutual = mutual_.data();
    output_.self = self_.data();
  }
  void TearDown() override {
    if (ring_ != nullptr) plat_munmap(ring_, kRawPages * 4096 * 3);
    if (fd_ >= 0) plat_close(fd_);
    ModuleFixture::TearDown();
  }
  // The raw-copy ring as a tool reading the driver sees it.
  const uint8_t *ring() {
    if (ring_ != nullptr) return ring_;
    fd_ = plat_open("/dev/tamrel-touch", O_RDWR);
    EXPECT_GE(plat_ioctl(fd_, tamrel_touch_request(TOUCH_IOC_SELECT_BUFFER, 0, TOUCH_IOC_DIR_WRITE), TOUCH_BUFFER_RAW_RING), 0);
    void *p = plat_mmap(nullptr, kRawPages * 4096 * 3, PROT_READ, MAP_SHARED, fd_, 0);
    EXPECT_NE(p, MAP_FAILED);
    ring_ = static_cast<uint8_t *>(p);
    return ring_;
  }
  void rawChannel(uint32_t v) {
    common_data b{};
    b.mode = COMMON_DATA_MODE_RAW_CAPTURE;
    b.count = 1;
    b.values[0] = v;
    int32_t pass = 1;
    module_->receive_common_data(&b, &pass);
  }

  static constexpr size_t kMutual = 17 * 38;
  static constexpr size_t kSelf = 17 + 38;
  std::vector<int16_t> mutual_, self_;
  HalAlgOutput output_{};
  int fd_ = -1;
  uint8_t *ring_ = nullptr;
};

TEST_F(RawData, ClosedChannelStillFeedsTheHotAreaButCopiesNothing) {
  const uint32_t writes = device_->rawCopyWrites();
  output_.water = 1;
  output_.glove = 1;
  EXPECT_EQ(module_->raw_data_process(&output_), 0);
  EXPECT_EQ(hot_area.water, 1);
  EXPECT_EQ(hot_area.glove, 1);
  EXPECT_EQ(hot_area.no_finger, 0);
  EXPECT_EQ(device_->rawCopyWrites(), writes);
  EXPECT_EQ(hal_raw_ring_index(), 0u);
}

TEST_F(RawData, OpenChannelCopiesTheFrameAndTheDebugImage) {
  // The debug record: marked, with values at the positions the image takes them from.
  std::vector<uint8_t> debug(800, 0);
  for (size_t i = 0; i < HAL_RAW_DEBUG_RECORD_BYTES; ++i) debug[i] = static_cast<uint8_t>(i * 7);
  std::vector<int16_t> a(kMutual, 11), b(kSelf, 22), c(kMutual, 33), d(kSelf, 44);
  put<uint32_t>(debug, HAL_DBG_MARK, HAL_RAW_DEBUG_MARK);
  put<uint32_t>(debug, HAL_DBG_WORD8, 0x08080808);
  put<uint32_t>(debug, HAL_DBG_WORD492, 492);
  put<uint64_t>(debug, HAL_DBG_TIME532, 0x1122334455667788ull);
  put<uint32_t>(debug, HAL_DBG_WORD560, 560);
  put<uint32_t>(debug, HAL_DBG_WORD632, 632);
  put<uint32_t>(debug, HAL_DBG_KIND, 9);  // kind 9 takes its second pair from 704 and 736
  put<const int16_t *>(debug, HAL_DBG_PTR664, a.data());
  put<const int16_t *>(debug, HAL_DBG_PTR672, b.data());
  put<const int16_t *>(debug, HAL_DBG_PTR704, c.data());
  put<const int16_t *>(debug, HAL_DBG_PTR736, d.data());
  output_.debug = debug.data();
  for (int i = 0; i < 16; ++i) output_.image_head[i] = static_cast<uint8_t>(0xA0 + i);
  output_.image_word0 = 72;
  output_.image_word1 = 74;

  rawChannel(2);
  const uint32_t writes = device_->rawCopyWrites();
  ASSERT_EQ(module_->raw_data_process(&output_), 0);
  EXPECT_EQ(device_->rawCopyWrites(), writes + 1);
  EXPECT_EQ(hal_raw_ring_index(), 1u);

  const uint8_t *buf = ring();
  EXPECT_EQ(memcmp(buf, mutual_.data(), kMutual * 2), 0);
  EXPECT_EQ(memcmp(buf + kMutual * 2, self_.data(), kSelf * 2), 0);
  const size_t B = (kMutual + kSelf) * 2;
  EXPECT_EQ(memcmp(buf + B, output_.image_head, 16), 0);
  EXPECT_EQ(at<uint16_t>(buf, B + 16), 72);
  EXPECT_EQ(at<uint16_t>(buf, B + 18), 74);
  EXPECT_EQ(at<uint32_t>(buf, B + 20), 0x08080808u);
  EXPECT_EQ(at<uint32_t>(buf, B + 24), 492u);
  EXPECT_EQ(at<uint64_t>(buf, B + 28), 0x1122334455667788ull);
  EXPECT_EQ(at<uint32_t>(buf, B + 36), 1u);  // first copy since start
  EXPECT_EQ(at<uint32_t>(buf, B + 40), 560u);
  EXPECT_EQ(at<uint32_t>(buf, B + 44), B + 120 + 4 * kMutual + 4 * kSelf + 744);
  EXPECT_EQ(at<uint32_t>(buf, B + 48), kRawPages * 4096);
  EXPECT_EQ(memcmp(buf + B + 52, debug.data() + 564, 64), 0);
  EXPECT_EQ(at<uint32_t>(buf, B + 116), 632u);
  size_t off = B + 120;
  EXPECT_EQ(at<int16_t>(buf, off), 11);
  off += 2 * kMutual;
  EXPECT_EQ(at<int16_t>(buf, off), 22);
  off += 2 * kSelf;
  EXPECT_EQ(at<int16_t>(buf, off), 33);
  off += 2 * kMutual;
  EXPECT_EQ(at<int16_t>(buf, off + 2 * kSelf - 2), 44);
  off += 2 * kSelf;
  EXPECT_EQ(memcmp(buf + off, debug.data(), 744), 0);

  // A second frame goes to the next buffer, the copy count goes on.
  ASSERT_EQ(module_->raw_data_process(&output_), 0);
  EXPECT_EQ(at<uint32_t>(buf + kRawPages * 4096, B + 36), 2u);
  rawChannel(3);
  ASSERT_EQ(module_->raw_data_process(&output_), 0);
  EXPECT_EQ(hal_raw_ring_index(), 2u);  // closed again: the ring stays where it was
}

class RawDataSmallRing : public RawData {
 protected:
  void SetUp() override {
    adjustDriver = [](platform::sim::TamrelTouchConfig &c) {
      c.panel.rx_count = 60;  // 60 x 60 nodes need 7320 bytes: more than one page
      c.panel.tx_count = 60;
      c.raw_buffer_pages = 1;
    };
    start("");
  }
};

TEST_F(RawDataSmallRing, AFrameLargerThanTheBufferIsRefusedNotWrittenPast) {
  std::vector<int16_t> big(3600, 7), self(120, 7);
  HalAlgOutput out{};
  out.mutual = big.data();
  out.self = self.data();
  rawChannel(2);
  const uint32_t writes = device_->rawCopyWrites();
  EXPECT_EQ(module_->raw_data_process(&out), 0);
  EXPECT_EQ(device_->rawCopyWrites(), writes);
  EXPECT_EQ(host_.count("cannot hold the frame"), 1u);
}

TEST_F(RawData, RawModeFileMovesToItsStampedNameWhenClosedAndAfterTheSizeLimit) {
  const uint8_t header[4] = {'H', 'D', 'R', '1'};
  const uint8_t frame[3] = {1, 2, 3};
  thp_raw_frame_save(HAL_RAW_MODE_RAW, header, frame, 4, 3);
  thp_raw_frame_save(HAL_RAW_MODE_RAW, header, frame, 4, 3);
  EXPECT_TRUE(hal_raw_file_open(HAL_RAW_MODE_RAW));
  thp_save_raw_dump_close(HAL_RAW_MODE_RAW);
  EXPECT_FALSE(hal_raw_file_open(HAL_RAW_MODE_RAW));
  EXPECT_EQ(plat_access(HAL_RAW_LIVE_FILE, F_OK), -1);
  std::vector<std::string> names;
  DIR *dir = plat_opendir(HAL_RAW_DIR);
  ASSERT_NE(dir, nullptr);
  while (struct dirent *e = readdir(dir))
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(dir);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_NE(names[0].find("_raw.dat"), std::string::npos);
  EXPECT_EQ(root_.readFile(std::string(HAL_RAW_DIR) + names[0]), std::string("HDR1\1\2\3\1\2\3", 10));
  struct stat st{};
  ASSERT_EQ(stat(plat_path(std::string(HAL_RAW_DIR) + names[0]).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0007, 0u);

  // A file past the limit is closed after the next write.
  std::vector<uint8_t> huge(HAL_RAW_FILE_LIMIT + 1, 0);
  thp_raw_frame_save(HAL_RAW_MODE_TEST, header, huge.data(), 4, static_cast<uint32_t>(huge.size()));
  EXPECT_TRUE(hal_raw_file_open(HAL_RAW_MODE_TEST));
  thp_raw_frame_save(HAL_RAW_MODE_TEST, header, frame, 4, 3);
  EXPECT_FALSE(hal_raw_file_open(HAL_RAW_MODE_TEST));
  thp_raw_frame_save(HAL_RAW_MODE_TRIGGER, header, frame, 4, 3);
  EXPECT_TRUE(hal_raw_file_open(HAL_RAW_MODE_TRIGGER));
  thp_raw_frame_save(1234, header, frame, 4, 3);  // no file of its own
  thp_save_raw_dump_close(HAL_RAW_MODE_TRIGGER);
}

TEST_F(RawData, SingleFrameTextHasOneLabelledLinePerRow) {
  std::vector<int16_t> filtered(6), raw(6);
  for (int i = 0; i < 6; ++i) {
    filtered[i] = static_cast<int16_t>(i);
    raw[i] = static_cast<int16_t>(100 + i);
  }
  ASSERT_EQ(thp_save_single_frame(filtered.data(), raw.data(), 3, 2, "snap_raw.txt"), 0);
  const std::string text = root_.readFile(std::string(HAL_RAW_DIR) + "snap_raw.txt");
  EXPECT_LT(text.find("before filter"), text.find("after filter"));
  EXPECT_NE(text.find("RX0      100   101   102\n"), std::string::npos) << text;
  EXPECT_NE(text.find("RX1        3     4     5\n"), std::string::npos) << text;
  EXPECT_EQ(thp_save_single_frame(filtered.data(), raw.data(), 0, 2, "x"), -1);
}

}  // namespace
