// Decoded frames of arbitrary content through the module, interleaved with what the host
// sends between frames: mode commands (orientation, game mode, fingerprint area and the
// rest of the command table), edge-zone blocks, arbitrary command blocks, suspend and
// resume, and the doze timers firing. The input is a sequence of steps, each an opcode
// byte and its payload; a frame takes its header, tail, matrix, self lines, host parameter
// block and the two extra arrays from the input, each buffer exactly as long as the frame
// says (the buffer pointers are ours).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "luma_core.h"
#include "luma_frame.h"
#include "luma_util.h"

namespace {

void FrameTaken(DecodedFrame *) {}
void Report(AlgTouchPoint *, uint8_t) {}
void Log(int32_t, const char *, ...) {}
void Fingerprint(uint8_t) {}
void StateChange(uint8_t) {}
int32_t Request(uint32_t, uint32_t *, uint32_t) { return 0; }
int32_t TimerStart(timer_tool *, int32_t) { return 0; }
int32_t TimerStop(timer_tool *) { return 0; }
int32_t RegisterTimer(timer_tool *timer, timer_tool_handler) {
  timer->start = TimerStart;
  timer->stop = TimerStop;
  return 0;
}

// The modes the command table knows, so that most mode commands reach a handler.
constexpr uint16_t kModes[] = {0, 1, 4, 5, 6, 7, 8, 10, 18, 25, 26, 28, 203, 206, 1010, 1094};
// The host parameter block is 255 bytes long in every decoded frame.
constexpr size_t kParameterBlock = 255;

class Input {
 public:
  Input(const uint8_t *data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return used_ >= size_; }
  // Up to n bytes into dst; what the input no longer holds stays as it was.
  void take(void *dst, size_t n) {
    const size_t k = used_ < size_ ? (size_ - used_ < n ? size_ - used_ : n) : 0;
    if (k != 0) std::memcpy(dst, data_ + used_, k);
    used_ += k;
  }
  uint8_t byte() {
    uint8_t v = 0;
    take(&v, 1);
    return v;
  }
  uint16_t word() {
    uint16_t v = 0;
    take(&v, 2);
    return v;
  }
  uint32_t value() {
    uint32_t v = 0;
    take(&v, 4);
    return v;
  }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t used_ = 0;
};

void Frame(Input &in) {
  LumaFrame f;
  in.take(f.bytes.data() + 36, 124 - 36);    // driver slot and controller header
  in.take(f.bytes.data() + 168, 209 - 168);  // tail bytes
  in.take(f.mutual.data(), sizeof(f.mutual));
  in.take(f.self1.data(), sizeof(f.self1));
  in.take(f.self2.data(), sizeof(f.self2));
  const uint8_t parts = in.byte();
  std::vector<uint8_t> parameters;
  if ((parts & 1) != 0) {
    parameters.resize(kParameterBlock);
    in.take(parameters.data(), parameters.size());
    f.frame()->reserved_block = parameters.data();
    f.frame()->reserved_block_len = static_cast<uint8_t>(kParameterBlock);
  }
  // The two extra arrays: their counts from the input, buffers of exactly that size.
  std::vector<int16_t> extra1(in.word() % 512);
  in.take(extra1.data(), extra1.size() * sizeof(int16_t));
  f.frame()->extra1 = extra1.empty() ? nullptr : extra1.data();
  f.frame()->extra1_len = static_cast<int16_t>(extra1.size() * sizeof(int16_t));
  std::vector<int16_t> extra2(in.byte() % 80);
  in.take(extra2.data(), extra2.size() * sizeof(int16_t));
  f.frame()->extra2 = extra2.empty() ? nullptr : extra2.data();
  f.frame()->extra2_count = static_cast<uint16_t>(extra2.size());
  // The buffers are the panel's, so the frame says so: a frame of another geometry is
  // refused at entry before anything else is read.
  f.frame()->rows = LumaFrame::kTx;
  f.frame()->columns = LumaFrame::kRx;
  update_frame_data(f.frame());
  update_diff_data(f.frame());
}

void Command(uint8_t cmd, uint16_t mode, Input &in, uint16_t count) {
  common_data block{};
  block.cmd = cmd;
  block.mode = mode;
  block.count = count;
  in.take(block.values, std::min<size_t>(count, COMMON_DATA_VALUE_COUNT) * sizeof(uint32_t));
  uint32_t result = 0;
  alg_receive_common_data(&block, &result);
}

void OneValue(uint16_t mode, uint32_t value) {
  common_data block{};
  block.mode = mode;
  block.count = 1;
  block.values[0] = value;
  uint32_t result = 0;
  alg_receive_common_data(&block, &result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static AlgHostCallbacks host{};
  host.frame_processed = FrameTaken;
  host.report_points = Report;
  host.log = Log;
  host.fingerprint_area = Fingerprint;
  host.state_change = StateChange;
  host.driver_request.luma = Request;
  host.register_timer = RegisterTimer;
  register_alg_module(&host);
  // Every input starts from an initialised, resumed module at the default log level.
  g_log_level = LMX_LOG_INFO;
  alg_module_init();
  alg_update_suspend_status(false);

  Input in(data, size);
  // Two frames at least, so that an input without steps still gets a base and a diff.
  Frame(in);
  Frame(in);
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    switch (in.byte() % 10) {
      case 0:
      case 1: Frame(in); break;
      case 2: OneValue(8, in.byte() % 4); break;  // display orientation
      case 3:                                      // game mode on or off
        if ((in.byte() & 1) != 0) {
          OneValue(0, 0);
        } else {
          Command(6, 0, in, 0);
        }
        break;
      case 4: OneValue(10, in.byte() % 4); break;  // fingerprint area
      case 5: alg_update_suspend_status((in.byte() & 1) != 0); break;
      case 6: {  // edge zones: whole records of eight words
        const auto records = static_cast<uint16_t>(in.byte() % 9);
        Command(7, 15, in, static_cast<uint16_t>(records * 8));
        break;
      }
      case 7: {  // a mode the table knows, with any value
        const uint16_t mode = kModes[in.byte() % (sizeof(kModes) / sizeof(kModes[0]))];
        OneValue(mode, in.value());
        break;
      }
      case 8: {  // any block at all, its count included
        const uint8_t cmd = in.byte();
        const uint16_t mode = in.word();
        Command(cmd, mode, in, in.word());
        break;
      }
      default:
        doze_check();
        if ((in.byte() & 1) != 0) {
          doze_timer_handler(&doze_timer);
        } else {
          idle_baseline_timer_handler(&idle_baseline_timer);
        }
        break;
    }
  }
  return 0;
}
