#pragma once
// The simulated touch driver behind "/dev/tamrel-touch": a platform::sim::Device that
// answers the 'T' ioctls 0 to 6, maps its frame ring, raw-copy ring and report page, and
// signals frames (POLLPRI) and command blocks (POLLIN | POLLRDNORM) through poll.
//
// Production code reaches it only through platform/devio.h. Tests and the demo drive the
// driver side through the TamrelTouchDevice test API below.
#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common_data.h"
#include "hal_module.h"
#include "platform/simdev.h"

namespace platform::sim {

// Request fields of the Linux _IOC encoding, as the driver decodes them.
struct TouchIoctlRequest {
  uint32_t nr = 0;
  uint32_t type = 0;
  uint32_t size = 0;
  uint32_t dir = 0;  // _IOC_WRITE 1, _IOC_READ 2 (bits 30..31)
  static TouchIoctlRequest decode(unsigned long request);
};

struct TamrelTouchConfig {
  TouchPanelInfo panel{};            // returned by ioctl nr 1 (size and counts below win)
  uint32_t frame_buffer_pages = 1;   // pages (4096 bytes) per frame buffer
  uint32_t frame_buffer_count = 4;   // buffers in the driver's frame ring
  uint32_t raw_buffer_pages = 1;
  uint32_t raw_buffer_count = 2;
  std::set<uint8_t> accepted_touch_ids{0, 1};
};

class TamrelTouchDevice : public Device {
 public:
  static constexpr const char* kPath = "/dev/tamrel-touch";
  static constexpr size_t kPageSize = 4096;
  static constexpr uint32_t kBufferFrameRing = 1;
  static constexpr uint32_t kBufferRawRing = 2;
  static constexpr uint32_t kBufferReportPage = 4;

  explicit TamrelTouchDevice(TamrelTouchConfig config = {});

  // Makes a device and registers it at kPath; null when registration fails.
  static std::shared_ptr<TamrelTouchDevice> create(TamrelTouchConfig config = {});

  // --- driver side (test API) -------------------------------------------------------
  // Writes bytes (at most one buffer) into the next slot of the frame ring and queues its
  // index for ioctl nr 4. When every slot holds an unread frame the oldest queued index is
  // forgotten, as a driver overwriting its ring would. Returns the slot index used.
  int pushFrame(const std::vector<uint8_t>& slot_bytes);
  // Waits until every queued frame index has been asked for (nr 4). False on time-out.
  bool waitFramesTaken(std::chrono::milliseconds timeout);
  // Queues one 1032-byte block for pread; wakes POLLRDNORM readers.
  void pushCommand(const common_data& block);
  bool waitCommandsTaken(std::chrono::milliseconds timeout);
  // Fills the raw-copy ring buffer at index and queues the index for the read form of nr 5.
  void pushRawCopy(uint32_t index, const std::vector<uint8_t>& bytes);
  // While set, every frame-index query (nr 4) answers `index` and the ring stays readable
  // (POLLPRI), as a driver stuck on one slot would; nullopt ends it.
  void setStuckFrameIndex(std::optional<int> index);
  // The next answers of ioctl nr 0 read / read-write.
  void setReadBackBlock(const common_data& block);
  // The next n binds (nr 3) or panel-information reads (nr 1) fail with -EIO.
  void failNextBinds(int n);
  void failNextPanelInfo(int n);
  // The next n mmaps fail with -ENOMEM.
  void failNextMmaps(int n);

  // What the module did.
  std::vector<common_data> writtenCommonData() const;       // nr 0, write and read-write
  std::vector<int> boundTouchIds() const;                   // nr 3, accepted and refused
  std::vector<uint32_t> bufferSelections() const;           // nr 2
  std::vector<uint32_t> reportedPointCounts() const;        // nr 6
  uint32_t rawCopyWrites() const;                           // nr 5, write form
  uint32_t newestIndexQueries() const;                      // nr 4
  uint32_t mapCount() const;                                // successful mmaps
  uint32_t openCount() const;                               // opens so far
  uint32_t openFiles() const;                               // opens not yet released
  std::vector<uint8_t> reportPage() const;
  const TamrelTouchConfig& config() const { return config_; }

  // --- Device ---------------------------------------------------------------------------
  int open(File& file) override;
  void release(File& file) override;
  ssize_t pread(File& file, void* buf, size_t count, off_t offset) override;
  int ioctl(File& file, unsigned long request, void* arg) override;
  int mmap(File& file, size_t len, off_t off, int prot, MapSource* source) override;
  void munmap(File& file, void* addr, size_t len) override;
  short pollMask(File& file) override;

 private:
  struct OpenState {
    uint32_t selected_buffer = 0;
    std::optional<uint8_t> touch_id;
  };
  static OpenState& stateOf(File& file);
  size_t frameBufferSize() const { return config_.frame_buffer_pages * kPageSize; }
  size_t rawBufferSize() const { return config_.raw_buffer_pages * kPageSize; }
  int ioctlLocked(File& file, const TouchIoctlRequest& req, void* arg);

  TamrelTouchConfig config_;
  mutable std::mutex lock_;            // guards everything below
  std::condition_variable changed_;    // queues drained
  // The driver's pages, mapped by the module as the driver allows (the frame ring read-only).
  std::shared_ptr<SharedMemory> frame_ring_;
  std::shared_ptr<SharedMemory> raw_ring_;
  std::shared_ptr<SharedMemory> report_page_;
  uint32_t next_slot_ = 0;
  std::deque<int> frame_queue_;
  std::optional<int> stuck_index_;
  std::deque<common_data> command_queue_;
  std::deque<int> raw_queue_;
  std::optional<common_data> read_back_;
  int fail_binds_ = 0;
  int fail_panel_ = 0;
  int fail_mmaps_ = 0;
  std::vector<common_data> written_;
  std::vector<int> bound_ids_;
  std::vector<uint32_t> selections_;
  std::vector<uint32_t> point_counts_;
  uint32_t raw_writes_ = 0;
  uint32_t newest_queries_ = 0;
  uint32_t maps_ = 0;
  uint32_t opens_ = 0;
  uint32_t open_files_ = 0;
};

}  // namespace platform::sim
