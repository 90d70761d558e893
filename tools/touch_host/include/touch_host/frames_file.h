#pragma once
// Recorded frames for touch_host --frames-file, and the checks of --config.
//
// A frames file holds one frame per line, comma-separated integers (-32768 to 32767): the
// panel's raw mutual node values, rows then columns (row 0 from column 0, then row 1, ...),
// optionally followed by the raw values of self set 1 and then of self set 2, rows +
// columns values each (the drive lines first, then the sense lines). Self set 1 is the
// frame's first self line (DecodedFrame::self1), the scan guarded against water that both
// algorithms read; self set 2 the second (self2), the normal scan, which sees water too and
// which only algorithm B reads. A touch lowers the mutual values under it and raises the
// self values of its lines. Empty lines and lines starting with '#' are skipped. Every frame
// line holds rows x columns values, that plus rows + columns, or that plus twice rows +
// columns.
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
  int self_nodes() const { return rows + columns; }  // values of one self line
};

// "ROWSxCOLUMNS" (for instance "16x30"), each 1 to 255.
bool parse_panel_size(const std::string &text, PanelSize *out);

// Every frame of the stream, each as its line's values (nodes, then any self sets); false
// with "line N: ..." in *error at the first bad line.
bool read_frames(std::istream &in, PanelSize panel, std::vector<std::vector<int16_t>> *frames, std::string *error);

// One recorded frame as the HAL's decoder hands a controller frame to the algorithm: the
// record marked valid, a normal frame (data type 4) scanned continuously (state 4) at
// frequency index 0, the controller's frame index and count INDEX (frames come every
// 8 ms), the panel's rows and columns, and behind it the mutual map and both self lines
// (rows + columns values each) of LINE, a frames-file line as read_frames gives it; a self
// set the line does not hold is 0. REFERENCE marks it as the controller's reference frame,
// the answer to algorithm A's reference request.
class RecordedFrame {
 public:
  RecordedFrame(const std::vector<int16_t> &line, PanelSize panel, uint16_t index, bool reference = false);
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
