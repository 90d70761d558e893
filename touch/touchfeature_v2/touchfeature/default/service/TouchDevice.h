#pragma once
// The service's access to the touch driver: command blocks to the host and then the
// driver, blocks the driver pushes back (the poll thread), abnormal-event records, and the
// touch-event socket.
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
// Closes both touch nodes and the abnormal-event node.
void close_touch_nodes();

int connect_server(const char* name);
int get_sockfd();
void close_socket();
// The collected touch-event text ("" when no peer answers).
std::string read_touch_events();

}  // namespace touchfeature
