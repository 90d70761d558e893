// Recorded frames and configuration files for the touch_host program.
#include "touch_host/frames_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace touch_host {

namespace {
constexpr int kMaxLines = 255;
// Algorithm A's configuration file: the controller information block starts at byte 4097
// (behind the marker byte and the 4096-byte blob); its drive and sense counts are bytes 28
// and 29 of the block.
constexpr size_t kFerrantInfoBlock = 4097;
constexpr size_t kFerrantDriveAt = kFerrantInfoBlock + 28;
constexpr size_t kFerrantSenseAt = kFerrantInfoBlock + 29;
constexpr off_t kMaxConfigBytes = 1 << 20;
// A recorded frame as the controller sends them: every 8 ms, scanned continuously (the
// state both algorithms take for a normal scan: algorithm A's scan mode 4, not algorithm
// B's controller idle 2).
constexpr uint64_t kFramePeriodNs = 8000000;
constexpr uint8_t kScanContinuous = 4;
constexpr int kLumaDrive = 17;
constexpr int kLumaSense = 38;
// Controller packets: {0, 0, length, command, parameter, ...}.
constexpr size_t kPacketCommandAt = 3;
constexpr size_t kPacketParamAt = 4;
constexpr uint8_t kRefRequest = 0xD1;

bool parse_int(const std::string &text, long lo, long hi, long *out) {
  size_t begin = text.find_first_not_of(" \t\r");
  size_t end = text.find_last_not_of(" \t\r");
  if (begin == std::string::npos) return false;
  const std::string digits = text.substr(begin, end - begin + 1);
  char *stop = nullptr;
  errno = 0;
  const long value = std::strtol(digits.c_str(), &stop, 10);
  if (errno != 0 || stop == digits.c_str() || *stop != '\0' || value < lo || value > hi) return false;
  *out = value;
  return true;
}
}  // namespace

bool parse_panel_size(const std::string &text, PanelSize *out) {
  const size_t x = text.find('x');
  long rows = 0;
  long columns = 0;
  if (x == std::string::npos || !parse_int(text.substr(0, x), 1, kMaxLines, &rows) ||
      !parse_int(text.substr(x + 1), 1, kMaxLines, &columns))
    return false;
  out->rows = static_cast<int>(rows);
  out->columns = static_cast<int>(columns);
  return true;
}

bool read_frames(std::istream &in, PanelSize panel, std::vector<std::vector<int16_t>> *frames, std::string *error) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::vector<int16_t> values;
    values.reserve(static_cast<size_t>(panel.nodes()));
    size_t pos = 0;
    for (;;) {
      const size_t comma = line.find(',', pos);
      long value = 0;
      const std::string field = line.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
      if (!parse_int(field, INT16_MIN, INT16_MAX, &value)) {
        *error = "line " + std::to_string(number) + ": value " + std::to_string(values.size() + 1) + " '" + field +
                 "' is not an integer from -32768 to 32767";
        return false;
      }
      values.push_back(static_cast<int16_t>(value));
      if (comma == std::string::npos) break;
      pos = comma + 1;
    }
    const int count = static_cast<int>(values.size());
    if (count != panel.nodes() && count != panel.nodes() + panel.self_nodes() &&
        count != panel.nodes() + 2 * panel.self_nodes()) {
      *error = "line " + std::to_string(number) + ": " + std::to_string(count) + " values, the " +
               std::to_string(panel.rows) + "x" + std::to_string(panel.columns) + " panel has " +
               std::to_string(panel.nodes()) + " nodes and self sets of " + std::to_string(panel.self_nodes()) +
               ": a line holds " + std::to_string(panel.nodes()) + " (nodes only), " +
               std::to_string(panel.nodes() + panel.self_nodes()) + " (nodes and self set 1) or " +
               std::to_string(panel.nodes() + 2 * panel.self_nodes()) + " (nodes and both self sets)";
      return false;
    }
    frames->push_back(std::move(values));
  }
  if (in.bad()) {
    *error = "read error";
    return false;
  }
  return true;
}

RecordedFrame::RecordedFrame(const std::vector<int16_t> &line, PanelSize panel, uint16_t index, bool reference)
    : mutual_(static_cast<size_t>(panel.nodes()), 0),
      self1_(static_cast<size_t>(panel.self_nodes()), 0),
      self2_(static_cast<size_t>(panel.self_nodes()), 0) {
  // The line's values in turn: the nodes, then self set 1, then self set 2; a set the line
  // does not hold stays 0, as the buffer of a self line the controller does not scan.
  auto next = line.begin();
  for (std::vector<int16_t> *part : {&mutual_, &self1_, &self2_}) {
    const auto take = std::min<ptrdiff_t>(line.end() - next, static_cast<ptrdiff_t>(part->size()));
    std::copy_n(next, take, part->begin());
    next += take;
  }
  record_.valid_mark = DECODED_FRAME_VALID_MARK;
  record_.frame_index = index;
  record_.ic_frame_count = index;
  record_.frame_count = index;
  record_.frame_time_ns = uint64_t{index} * kFramePeriodNs;
  record_.ic_time_ms = static_cast<uint16_t>(index * kFramePeriodNs / 1000000u);
  record_.rows = static_cast<uint8_t>(panel.rows);
  record_.columns = static_cast<uint8_t>(panel.columns);
  record_.frame_type = DECODED_FRAME_TYPE_NORMAL;
  record_.state_code = kScanContinuous;
  record_.frame_flags = reference ? DECODED_FRAME_FLAG_REFERENCE : 0;
  record_.mutual = mutual_.data();
  record_.self1 = self1_.data();
  record_.self2 = self2_.data();
}

bool builtin_panel(const std::string &alg_version, PanelSize *out) {
  if (alg_version.rfind("Luma-", 0) != 0) return false;
  *out = {kLumaDrive, kLumaSense};
  return true;
}

bool asks_for_reference(const std::vector<uint8_t> &packet) {
  return packet.size() > kPacketParamAt && packet[kPacketCommandAt] == kRefRequest && packet[kPacketParamAt] == 1;
}

int open_config_file(const std::string &path, std::string *error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0) {
    *error = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *error = S_ISDIR(st.st_mode) ? "is a directory, not a configuration file" : "is not a regular file";
  } else if (st.st_size == 0) {
    *error = "is empty";
  } else if (st.st_size > kMaxConfigBytes) {
    *error = "is larger than 1 MiB: not a configuration file";
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

bool read_config_file(const std::string &path, std::vector<uint8_t> *bytes, std::string *error) {
  const int fd = open_config_file(path, error);
  if (fd < 0) return false;
  bytes->clear();
  uint8_t chunk[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = std::strerror(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  close(fd);
  return ok;
}

bool ferrant_config_panel(const std::vector<uint8_t> &config, PanelSize *out) {
  if (config.size() <= kFerrantSenseAt || config[kFerrantDriveAt] == 0 || config[kFerrantSenseAt] == 0) return false;
  out->rows = config[kFerrantDriveAt];
  out->columns = config[kFerrantSenseAt];
  return true;
}

}  // namespace touch_host
