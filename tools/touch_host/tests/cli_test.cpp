// The touch_host program as a user runs it: configuration files, recorded frames and the
// algorithm A configuration that ships with it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "touch_host/ferrant_road.h"
#include "touch_host/frames_file.h"

namespace touch_host {
namespace {

const std::string kShipped = std::string(TOUCH_HOST_CONFIGS) + "/ferrant_16x30.bin";

std::string plugin(const char *name) { return std::string(VENDOR_PLUGIN_DIR) + "/" + name + ".so"; }

struct CliRun {
  int status = -1;
  std::string out;  // stdout and stderr
};

CliRun run(const std::string &arguments) {
  CliRun r;
  FILE *pipe = popen((std::string(TOUCH_HOST_CLI) + " " + arguments + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return r;
  char buffer[512];
  while (fgets(buffer, sizeof buffer, pipe) != nullptr) r.out += buffer;
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

class TouchHostCli : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/touch_host_cliXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { (void)system(("rm -rf " + dir_).c_str()); }
  std::string write(const std::string &name, const std::string &bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string dir_;
};

TEST_F(TouchHostCli, ShippedAlgorithmAConfigurationIsWhatItsEncodersBuild) {
  std::ifstream in(kShipped, std::ios::binary);
  ASSERT_TRUE(in) << kShipped;
  const std::vector<uint8_t> shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(shipped, testsupport::ferrant_road::alg_config_file());
  PanelSize panel;
  ASSERT_TRUE(ferrant_config_panel(shipped, &panel));
  EXPECT_EQ(panel.rows, testsupport::ferrant_road::kDrive);
  EXPECT_EQ(panel.columns, testsupport::ferrant_road::kSense);
}

// Algorithm A takes the shipped configuration; the panel of the frames file comes from it.
TEST_F(TouchHostCli, AlgorithmARunsRecordedFramesWithTheShippedConfiguration) {
  std::string frames;
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < testsupport::ferrant_road::kMutual; ++i) frames += (i ? "," : "") + std::to_string(100 + k);
    frames += "\n";
  }
  const CliRun r = run("--alg " + plugin("libtapsense_alg_ferrant") + " --config " + kShipped + " --frames-file " +
                    write("frames.csv", frames));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frames file: 3 frame(s) of 16x30"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("frames run: 3"), std::string::npos) << r.out;
}

TEST_F(TouchHostCli, ConfigurationThatIsNoneIsRefusedWithItsReason) {
  const std::string frames = write("frames.csv", "1,2\n");
  std::string random(4609, '\0');
  for (size_t i = 0; i < random.size(); ++i) random[i] = static_cast<char>((i * 2654435761u) >> 13);
  struct Case {
    const char *what;
    std::string config;
    const char *alg;
    const char *message;
  } cases[] = {
      {"directory", dir_, "libtouch_test_alg", "is a directory, not a configuration file"},
      {"empty file", write("empty.bin", ""), "libtouch_test_alg", "is empty"},
      {"missing file", dir_ + "/none.bin", "libtouch_test_alg", "No such file or directory"},
      {"random bytes", write("random.bin", random), "libtapsense_alg_ferrant",
       "the algorithm module refused configuration"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = run("--alg " + plugin(c.alg) + " --config " + c.config + " --frames-file " + frames + " --panel 1x2");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames run"), std::string::npos) << r.out;
  }
}

// A small recording: the test algorithm touches while node 0 is positive, at a place named
// by the frame's index.
TEST_F(TouchHostCli, RecordedFramesReachTheAlgorithmAsDecodedFrames) {
  const std::string frames = write("touch.csv",
                                   "# a 2x3 panel, rows then columns\n"
                                   "0,0,0,0,0,0\n"
                                   "\n"
                                   "40,1,2,3,4,5\n"
                                   "35, 1, 2, 3, 4, 5\n"
                                   "-3,0,0,0,0,0\n");
  const CliRun r = run("--alg " + plugin("libtouch_test_alg") + " --frames-file " + frames + " --panel 2x3");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frames file: 4 frame(s) of 2x3"), std::string::npos) << r.out;
  const size_t down = r.out.find("id 0 down at (110, 220)");
  const size_t move = r.out.find("id 0 move at (120, 240)");
  const size_t up = r.out.find("id 0 up at (120, 240)");
  EXPECT_NE(down, std::string::npos) << r.out;
  EXPECT_NE(move, std::string::npos) << r.out;
  EXPECT_NE(up, std::string::npos) << r.out;
  EXPECT_TRUE(down < move && move < up) << r.out;
  EXPECT_NE(r.out.find("frames run: 4, reports: 3"), std::string::npos) << r.out;
}

TEST_F(TouchHostCli, BadFramesFilesAndOptionsAreRefused) {
  const std::string alg = " --alg " + plugin("libtouch_test_alg");
  struct Case {
    const char *what;
    std::string arguments;
    int status;
    const char *message;
  } cases[] = {
      {"short line", alg + " --panel 2x2 --frames-file " + write("a.csv", "1,2,3,4\n1,2,3\n"), 1,
       "line 2: 3 values, the 2x2 panel has 4"},
      {"not a number", alg + " --panel 1x2 --frames-file " + write("b.csv", "1,x\n"), 1, "line 1: value 2 'x'"},
      {"out of range", alg + " --panel 1x2 --frames-file " + write("c.csv", "1,40000\n"), 1, "line 1: value 2"},
      {"missing file", alg + " --panel 1x2 --frames-file " + dir_ + "/none.csv", 1, "cannot read frames file"},
      {"no panel", alg + " --frames-file " + write("d.csv", "1\n"), 1, "give --panel ROWSxCOLUMNS"},
      {"bad panel", alg + " --panel 0x4 --frames-file " + write("e.csv", "1\n"), 2, "bad panel '0x4'"},
      {"unknown option", alg + " --bogus 1", 2, "unknown option '--bogus'"},
      {"no module", " --frames-file x.csv", 2, "--alg and either --hal or --frames-file are needed"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
  }
  const CliRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--frames-file FILE"), std::string::npos);
  EXPECT_NE(help.out.find("ferrant_16x30.bin"), std::string::npos);
}

}  // namespace
}  // namespace touch_host
