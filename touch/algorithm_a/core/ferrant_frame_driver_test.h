#pragma once
// Drives algorithm A through its host operations, the way the host does every frame
// (update frame data, then update diff data), on a panel of any size the module accepts:
// configuration file and information block built by the test encoders, init, resume, the
// reference frame, then finger frames. Shared by the per-frame allocation test and the
// frame benchmark; reaches module records directly only to stand in for the stages whose
// bodies land later (the power-on reference and the coordinate result).
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>

#include "coord_records.h"
#include "decoded_frame_bytes_test.h"
#include "tsa_common.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"

namespace fxtest {

class FrameDriver {
 public:
  // Brings the module up on a DRV x SEN panel; false when a step fails.
  bool Start(uint8_t drv, uint8_t sen) {
    frames_ = std::make_unique<FingerFrames>(drv, sen, kFreqNum);
    TsaModuleResetForTest();
    AlgHostCallbacks host{};
    host.report_points = &FrameDriver::OnPoints;
    host_ = host;
    register_alg_module(&host_);
    IcInfoDesc ic;
    ic.drv = drv;
    ic.sen = sen;
    const Bytes file = BuildConfigFile(PanelConfigBlob(kFreqNum), BuildIcInfoBlock(ic));
    const int fd = memfd_create("ferrant-config", 0);
    if (fd < 0) return false;
    const bool written = write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()) &&
                         lseek(fd, 0, SEEK_SET) == 0;
    if (written) ferx_alg_read_config_param(0, 0, 0, fd);
    close(fd);
    if (!written || ferx_alg_module_init() != 0) return false;
    ferx_alg_update_suspend_status(0);
    Frame(kFlagsReference);
    // What the power-on reference stage reports once the reference is built.
    gstCommon.ubPowerOnRefReady = 1;
    return true;
  }
  void Stop() {
    ferx_alg_module_exit();
    TsaModuleResetForTest();
  }

  // The coordinate result of the next frames: one touch in slot 0 at (x, y), or none.
  static void Touch(bool down, uint16_t x = 0, uint16_t y = 0) {
    gpuwNewPointX[0] = x;
    gpuwNewPointY[0] = y;
    gpuwNewWeight[0] = down ? 300 : 0;
  }

  // One frame through both per-frame operations.
  void Frame(uint8_t flags = kFlagsFinger) {
    frame_ = frames_->Next(flags, index_);
    index_ = static_cast<uint16_t>(index_ == 0xFFFF ? 2 : index_ + 1);
    ferx_alg_update_frame_data(&frame_);
    ferx_alg_update_diff_data(0, &frame_);
  }

  uint32_t reports() const { return reports_; }

 private:
  static constexpr uint8_t kFlagsFinger = 0x00;
  static constexpr uint8_t kFlagsReference = 0x01;
  static constexpr uint8_t kFreqNum = 4;

  static void OnPoints(AlgTouchPoint*, uint8_t) { ++reports_; }

  static inline uint32_t reports_ = 0;
  AlgHostCallbacks host_{};
  uint16_t index_ = 2;
  std::unique_ptr<FingerFrames> frames_;
  DecodedFrame frame_{};
};

}  // namespace fxtest
