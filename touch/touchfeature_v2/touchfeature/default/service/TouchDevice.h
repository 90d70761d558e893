#pragma once
// The service's access to the touch driver: command blocks to the host and then the
// driver, blocks the driver pushes back (the poll thread), abnormal-event records, and the
// touch-event socket.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "common_data.h"

namespace touchfeature {

inline constexpr const char* kTouchNode = "/dev/tamrel-touch";
inline constexpr const char* kAbnormalEventNode = "/sys/class/touch/touch_dev/abnormal_event";
inline constexpr const char* kTouchEventSocket = "touchevent";
inline constexpr int kMaxTouchId = 2;
inline constexpr size_t kSocketMessageBytes = 1032;

int tamrel_touch_ioctl(int id, int cmd, int mode, int count, uint32_t* values);
// The id's touch node, opened and bound on first use; -1 for a bad id or an unopenable node.
int touch_node(int id);
// The block to the driver only (the common-data ioctl): its result, or -1 without a node.
int driver_common_data(int id, common_data* block);
int write_touch_device(int id, int mode, int value);
int get_touch_device(int id, int cmd, int mode);
int get_mode_value(int id, int mode, int32_t out4[4]);
int send_stylus_pressure_to_thp(int id, int count, const uint32_t* values);
int send_stylus_fw_version_to_thp(int id, int length, const char* text);
int write_abnormal_event(int type, int mode, int value);
// Package-level text (command 10) to the host only.
int send_package_data_to_thp(int id, int mode, const std::string& text);

// The poll thread: started once; a block with mode 10001 calls onFirstFrame.
bool start_poll_thread(std::function<void()> onFirstFrame);
void stop_poll_thread();
// How the poll thread waits after a failed poll or read before it tries again (a failing
// poll answers at once, so trying again at once would spin a core). Tests put in a wait of
// their own; null restores the real sleep.
using PollRetryPause = std::function<void(std::chrono::milliseconds)>;
void set_poll_retry_pause(PollRetryPause pause);
// Closes both touch nodes and the abnormal-event node.
void close_touch_nodes();

int connect_server(const char* name);
int get_sockfd();
void close_socket();

// The touch-event socket's abstract name and the bounds of one exchange: the whole of it
// (request and every reply) ends within `wait`, after at most `replies` replies and `bytes`
// bytes of text. Tests set a name of their own, so that test processes running side by side
// do not meet on one name.
struct TouchEventChannel {
  std::string name = kTouchEventSocket;
  std::chrono::milliseconds wait{1000};
  size_t replies = 64;
  size_t bytes = 64 * 1024;
};
void set_touch_event_channel(const TouchEventChannel& channel);
TouchEventChannel touch_event_channel();
// Collects the touch-event text into *text ("" when no peer listens). 0, or -ETIMEDOUT when
// the peer did not end its answer in time, -EMSGSIZE when it answered beyond the bounds.
int read_touch_events(std::string* text);

}  // namespace touchfeature
