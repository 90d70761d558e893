#pragma once
// Recorded frames for touch_host --frames-file, and the checks of --config.
//
// A frames file holds one frame per line: the panel's node values as comma-separated
// integers (-32768 to 32767), rows then columns (row 0 from column 0, then row 1, ...).
// Empty lines and lines starting with '#' are skipped. Every frame line must hold exactly
// rows x columns values.
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "decoded_frame.h"

namespace touch_host {

struct PanelSize {
  int rows = 0;
  int columns = 0;
  int nodes() const { return rows * columns; }
};

// "ROWSxCOLUMNS" (for instance "16x30"), each 1 to 255.
bool parse_panel_size(const std::string &text, PanelSize *out);

// Every frame of the stream; false with "line N: ..." in *error at the first bad line.
bool read_frames(std::istream &in, PanelSize panel, std::vector<std::vector<int16_t>> *frames, std::string *error);

// One recorded frame as the HAL's decoder hands a controller frame to the algorithm: the
// record marked valid, a normal frame (data type 4) scanned continuously (state 4) at
// frequency index 0, the controller's frame index and count INDEX (frames come every
// 8 ms), the panel's rows and columns, the mutual map behind it, and zeroed self lines
// (rows + columns values each). REFERENCE marks it as the controller's reference frame,
// the answer to algorithm A's reference request.
class RecordedFrame {
 public:
  RecordedFrame(const std::vector<int16_t> &mutual, PanelSize panel, uint16_t index, bool reference = false);
  RecordedFrame(const RecordedFrame &) = delete;
  RecordedFrame &operator=(const RecordedFrame &) = delete;
  DecodedFrame *frame() { return &record_; }

 private:
  std::vector<int16_t> mutual_;
  std::vector<int16_t> self1_;
  std::vector<int16_t> self2_;
  DecodedFrame record_{};
};

// Algorithm B runs the panel built into it (17 drive x 38 sense lines) and takes no
// configuration file; it is known by its version ("Luma-..."). False for any other module.
bool builtin_panel(const std::string &alg_version, PanelSize *out);

// Algorithm A's request for the controller's reference frame: command 0xD1 with
// parameter 1 in a controller packet.
bool asks_for_reference(const std::vector<uint8_t> &packet);

// A configuration file for the algorithm module must be a regular file, not empty and at
// most 1 MiB. open_config_file returns a descriptor at its start (the caller closes it), or
// -1 with the reason in *error; read_config_file returns its bytes.
int open_config_file(const std::string &path, std::string *error);
bool read_config_file(const std::string &path, std::vector<uint8_t> *bytes, std::string *error);

// Algorithm A's configuration file carries the panel: the drive (rows) and sense (columns)
// line counts of its controller information block. False when the file is too short for it
// or a count is 0.
bool ferrant_config_panel(const std::vector<uint8_t> &config, PanelSize *out);

}  // namespace touch_host
