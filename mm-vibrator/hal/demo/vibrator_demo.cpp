// vibrator-demo: plays an HE effect through the vibrator service on a simulated phone and
// writes what reached the PCM output to a WAV file (24000 Hz, mono, 16-bit).
//
//   vibrator-demo [OUTPUT.wav]
#include <stdio.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <aidl/android/hardware/vibrator/IVibrator.h>
#include <aidl/vendor/hardware/vibratorfeature/IVibratorExt.h>
#include <android/binder_manager.h>
#include <platform_binder_test.h>
#include <platform_tinyalsa_test.h>

#include "ServiceFixture.h"
#include "TrackTuning.h"
#include "VibratorService.h"

namespace vib = aidl::android::hardware::vibrator;
using aidl::vendor::hardware::vibratorfeature::IVibratorExt;

namespace {

// An HE 2.0 list: a transient click, then a 300 ms continuous buzz that swells and fades
// while its frequency rises, then a second click.
std::vector<int32_t> demoEffect() {
  std::vector<int32_t> list = {0, 1, 100, 40, 0, 3};
  list.insert(list.end(), {0, 0, 90, 60, 0, 0});
  list.insert(list.end(), {1, 80, 100, 30, 300, 2});
  list.insert(list.end(), {0, 0, 4, 0, 0, 60, 100, 240, 100, 300, 0});
  list.insert(list.end(), {1, 0, 4, 0, 0, 60, 20, 240, 40, 300, 40});
  list.insert(list.end(), {0, 450, 100, 80, 0, 0});
  list[0] = static_cast<int32_t>(list.size());
  return list;
}

// The files a device ships and calibrates, which the service reads at start: the LED node,
// the calibration flag, the effect directory (no prebaked effects in this demo), a flat sine
// gain table (an uncorrected actuator) and ten short decaying 170 Hz prebaked waveforms.
void addDeviceData(vibrator_test::ServiceRoot& phone) {
  phone.addLedNode();
  phone.root.writeFile("/mnt/vendor/persist/haptics/nv_flag", "0\n");
  plat_mkdir_p("/odm/firmware", 0755);
  std::string gains;
  for (int32_t hz = kSineMinHz; hz <= kSineMaxHz; ++hz) gains += "1.0\n";
  phone.root.writeFile(kSineGainTablePath, gains);
  std::string waveforms;
  for (int32_t length : kPrebakedLengths) {
    for (int32_t i = 0; i < length; ++i) {
      const double t = static_cast<double>(i) / 24000.0;
      const double v = 100.0 * std::exp(-8.0 * i / length) * std::sin(2 * M_PI * 170.0 * t);
      waveforms += static_cast<char>(static_cast<int8_t>(std::lround(v)));
    }
  }
  phone.root.writeFile(kPrebakedWaveformsPath, waveforms);
}

void usage(FILE* out) {
  fprintf(out,
          "usage: vibrator-demo [OUTPUT.wav]\n"
          "Plays an HE effect through the vibrator service on a simulated phone and writes what\n"
          "reached the PCM output to OUTPUT.wav (default vibrator-demo.wav; 24000 Hz, mono, 16-bit).\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string output = "vibrator-demo.wav";
  if (argc > 2) {
    fprintf(stderr, "vibrator-demo: one output file at most\n");
    usage(stderr);
    return 2;
  }
  if (argc == 2) {
    const std::string arg = argv[1];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (arg.empty() || arg[0] == '-') {  // an option this program does not have, not a file name
      fprintf(stderr, "vibrator-demo: unknown option '%s'\n", arg.c_str());
      usage(stderr);
      return 2;
    }
    output = arg;
  }
  vibrator_test::ServiceRoot phone;
  phone.addForceFeedback();
  addDeviceData(phone);
  phone.setProperty("ro.odm.mm.vibrator.device_type", "led");  // the PCM output
  if (!phone.installLibrary("libbraxhaptics")) {
    fprintf(stderr, "vibrator-demo: libbraxhaptics.so not found in %s\n", VENDOR_PLUGIN_DIR);
    return 1;
  }
  platform_tinyalsa_test::useRecordingSink();

  std::thread service([] { vib::runVibratorService(); });
  const std::string instance = std::string(vib::IVibrator::descriptor) + vib::kInstanceSuffix;
  platform_binder_test::setWaitForServiceTimeout(std::chrono::seconds(10));
  ndk::SpAIBinder binder(AServiceManager_waitForService(instance.c_str()));
  AIBinder* extBinder = nullptr;
  if (binder.get() == nullptr || AIBinder_getExtension(binder.get(), &extBinder) != STATUS_OK ||
      extBinder == nullptr) {
    fprintf(stderr, "vibrator-demo: the service did not come up\n");
    platform_binder_test::stopProcess();
    service.join();
    return 1;
  }
  auto ext = IVibratorExt::fromBinder(ndk::SpAIBinder(extBinder));
  platform_tinyalsa_test::clearRecording();
  ndk::ScopedAStatus status = ext->play(demoEffect(), 0, 0, 100);

  // The stream ends with one silent period; wait until nothing new arrives.
  size_t seen = 0;
  for (int quiet = 0; status.isOk() && quiet < 5;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const size_t now = platform_tinyalsa_test::periods().size();
    quiet = (now == seen && now > 0) ? quiet + 1 : 0;
    seen = now;
  }
  const std::vector<uint8_t> bytes = platform_tinyalsa_test::recordedBytes();
  ext.reset();
  binder = ndk::SpAIBinder();
  platform_binder_test::stopProcess();
  service.join();
  platform_binder_test::resetServiceManager();

  if (!status.isOk()) {
    fprintf(stderr, "vibrator-demo: the service refused the effect\n");
    return 1;
  }
  if (!platform_tinyalsa_test::writeWav(output, 24000, 1, 16, bytes)) {
    fprintf(stderr, "vibrator-demo: cannot write %s\n", output.c_str());
    return 1;
  }
  printf("vibrator-demo: %zu samples (%.1f ms) written to %s\n", bytes.size() / 2,
         static_cast<double>(bytes.size()) / 2 / 24.0, output.c_str());
  return 0;
}
