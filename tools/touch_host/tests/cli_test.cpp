// The touch_host program as a user runs it: configuration files, recorded frames and the
// algorithm A configuration that ships with it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "touch_host/ferrant_road.h"
#include "touch_host/frames_file.h"
#include "touch_host/luma_road.h"

namespace touch_host {
namespace {

const std::string kShipped = std::string(TOUCH_HOST_CONFIGS) + "/ferrant_16x30.bin";

std::string plugin(const char *name) { return std::string(VENDOR_PLUGIN_DIR) + "/" + name + ".so"; }

struct CliRun {
  int status = -1;
  std::string out;  // stdout and stderr
};

// Runs touch_host with ARGUMENTS; its standard error goes to STDERR_TO (by default with its
// standard output).
CliRun run(const std::string &arguments, const std::string &stderr_to = "&1") {
  CliRun r;
  FILE *pipe = popen((std::string(TOUCH_HOST_CLI) + " " + arguments + " 2>" + stderr_to).c_str(), "r");
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
  EXPECT_EQ(shipped, testsupport::ferrant_road::alg_config_file(100, 120));
  PanelSize panel;
  ASSERT_TRUE(ferrant_config_panel(shipped, &panel));
  EXPECT_EQ(panel.rows, testsupport::ferrant_road::kDrive);
  EXPECT_EQ(panel.columns, testsupport::ferrant_road::kSense);
}

// One reported point as touch_host prints it, with the frame it came in.
struct Printed {
  long frame;
  int id;
  std::string action;
  int x, y;
};

std::vector<Printed> printed_points(const std::string &out) {
  std::vector<Printed> points;
  std::istringstream in(out);
  std::string line;
  long frame = -1;
  while (std::getline(in, line)) {
    long f = 0;
    int id = 0, x = 0, y = 0;
    char action[16] = {};
    if (std::sscanf(line.c_str(), "frame %ld:", &f) == 1) frame = f;
    if (std::sscanf(line.c_str(), "  id %d %15s at (%d, %d)", &id, action, &x, &y) == 4)
      points.push_back({frame, id, action, x, y});
  }
  return points;
}

std::string csv_line(const std::vector<int16_t> &values) {
  std::string line;
  for (size_t i = 0; i < values.size(); ++i) line += (i ? "," : "") + std::to_string(values[i]);
  return line + "\n";
}

// A recorded swipe: UNTOUCHED frames, then one finger over MOVES frames, then lifted for
// three frames. FINGER(k) gives the raw map of the k-th touched frame.
template <typename Finger>
std::string swipe_file(int untouched, int moves, const std::vector<int16_t> &idle, Finger finger) {
  std::string frames = "# a swipe\n";
  for (int k = 0; k < untouched; ++k) frames += csv_line(idle);
  for (int k = 0; k < moves; ++k) frames += csv_line(finger(k));
  for (int k = 0; k < 3; ++k) frames += csv_line(idle);
  return frames;
}

// The points of a swipe: one id from down to up, one point per report while the finger is
// on, each within half a node of the finger (POSITION(point, k) gives the error in nodes
// for the k-th touched frame, FIRST the first touched frame's place in the file).
template <typename Error>
void expect_swipe(const std::vector<Printed> &points, long first, int moves, Error error) {
  ASSERT_FALSE(points.empty());
  EXPECT_EQ(points.front().action, "down");
  EXPECT_EQ(points.back().action, "up");
  EXPECT_GE(points.back().frame, first + moves) << "the up comes once the finger is lifted";
  size_t moved = 0;
  for (const Printed &p : points) {
    SCOPED_TRACE("frame " + std::to_string(p.frame));
    EXPECT_EQ(p.id, points.front().id);
    if (p.action == "up") continue;
    ASSERT_GE(p.frame, first);
    ASSERT_LT(p.frame, first + moves);
    EXPECT_LE(error(p, static_cast<int>(p.frame - first)), 0.5);
    moved += p.action == "move";
  }
  EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const Printed &p) { return p.action == "down"; }), 1);
  EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const Printed &p) { return p.action == "up"; }), 1);
  EXPECT_GE(moved + 2, static_cast<size_t>(moves) - 2) << "a point in (nearly) every touched frame";
}

// Algorithm A on a recorded swipe with the shipped configuration (its panel is the file's):
// the host gives it the screen-on and answers its reference request, and the points follow
// the finger along its row.
TEST_F(TouchHostCli, AlgorithmAReportsARecordedSwipeWithTheShippedConfiguration) {
  namespace road = testsupport::ferrant_road;
  constexpr double kRow = 7.5;
  auto column = [](int k) { return 4.0 + 0.3 * k; };
  const std::string frames = swipe_file(14, 16, road::raw_with_fingers({}), [&](int k) {
    return road::raw_with_fingers({{kRow, column(k), 500}});
  });
  const CliRun r = run("--alg " + plugin("libtapsense_alg_ferrant") + " --config " + kShipped + " --frames-file " +
                       write("swipe.csv", frames));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frames file: 33 frame(s) of 16x30"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("frames run: 33"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("reference frames sent on request: 1"), std::string::npos) << r.out;
  // The shipped screen is 1080 x 2400 over the 30 x 16 nodes: x along the columns, y along
  // the rows, a node's centre at (n + 0.5) of its share.
  expect_swipe(printed_points(r.out), 14, 16, [&](const Printed &p, int k) {
    const double x = p.x / 36.0 - 0.5;
    const double y = p.y / 150.0 - 0.5;
    return std::max(std::fabs(x - column(k)), std::fabs(y - kRow));
  });
}

// Algorithm B runs its built-in panel without configuration; its first frame is its base.
TEST_F(TouchHostCli, AlgorithmBReportsARecordedSwipeOnItsBuiltInPanel) {
  namespace road = testsupport::luma_road;
  constexpr int kTx = 8;
  auto rx = [](int k) { return 5 + 2 * k; };
  const std::string frames =
      swipe_file(3, 14, road::raw_with_tips({}), [&](int k) { return road::raw_with_tips({{kTx, rx(k)}}); });
  const CliRun r = run("--alg " + plugin("libtapsense_alg") + " --frames-file " + write("swipe.csv", frames));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frames file: 20 frame(s) of 17x38"), std::string::npos) << r.out;
  // Algorithm B's points are 1/100 pixel on an even grid of the panel's pixels (x along the
  // drive lines, y along the sense lines).
  const double per_tx = road::node_x(1) - road::node_x(0);
  const double per_rx = road::node_y(1) - road::node_y(0);
  expect_swipe(printed_points(r.out), 3, 14, [&](const Printed &p, int k) {
    return std::max(std::fabs((p.x - road::node_x(kTx)) / per_tx), std::fabs((p.y - road::node_y(rx(k))) / per_rx));
  });
}

// make_ferrant_config writes algorithm A a configuration for a recorded panel of another
// size and screen: a swipe on algorithm B's 17 x 38 panel through algorithm A, its
// points in that screen (an eighth of 512 units per node); panels past the module's limits
// are refused.
TEST_F(TouchHostCli, AlgorithmARunsAnotherPanelWithAConfigurationMadeForIt) {
  const std::string config = dir_ + "/ferrant_17x38.bin";
  const std::string make = std::string(MAKE_FERRANT_CONFIG) + " ";
  ASSERT_EQ(std::system((make + "--panel 17x38 --screen 2432x1088 " + config).c_str()), 0);
  std::vector<uint8_t> bytes;
  std::string error;
  PanelSize panel;
  ASSERT_TRUE(read_config_file(config, &bytes, &error)) << error;
  ASSERT_TRUE(ferrant_config_panel(bytes, &panel));
  EXPECT_EQ(panel.rows, 17);
  EXPECT_EQ(panel.columns, 38);
  constexpr double kRow = 8.25;
  auto column = [](int k) { return 10.0 + 0.3 * k; };
  const std::string frames = swipe_file(14, 12, testsupport::ferrant_road::raw_with_fingers({}, 17, 38), [&](int k) {
    return testsupport::ferrant_road::raw_with_fingers({{kRow, column(k), 500}}, 17, 38);
  });
  const CliRun r = run("--alg " + plugin("libtapsense_alg_ferrant") + " --config " + config + " --frames-file " +
                       write("swipe.csv", frames));
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frames file: 29 frame(s) of 17x38"), std::string::npos) << r.out;
  expect_swipe(printed_points(r.out), 14, 12, [&](const Printed &p, int k) {
    const double x = (p.x * 8 - 256) / 512.0;
    const double y = (p.y * 8 - 256) / 512.0;
    return std::max(std::fabs(x - column(k)), std::fabs(y - kRow));
  });
  for (const char *bad : {"53x30", "16x57", "0x30", "16", "16x30 --screen 0x100", "16x30 --screen 100"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(WEXITSTATUS(std::system((make + "--panel " + bad + " " + dir_ + "/bad.bin 2>/dev/null").c_str())), 2);
  }
}

// A module that runs one panel takes no frames of another: refused with the panel it runs.
TEST_F(TouchHostCli, PanelTheModuleDoesNotRunIsRefused) {
  const std::string frames = write("frames.csv", std::string(27 * 15 * 2 - 1, ',') + "\n");
  struct Case {
    const char *what;
    std::string arguments;
    const char *message;
  } cases[] = {
      {"algorithm A", "--alg " + plugin("libtapsense_alg_ferrant") + " --config " + kShipped + " --panel 27x15",
       "is not the one the algorithm module runs: its configuration"},
      {"algorithm B", "--alg " + plugin("libtapsense_alg") + " --panel 27x15",
       "is not the one the algorithm module runs: it is built for 17x38"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = run(c.arguments + " --frames-file " + frames);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("the panel 27x15 of " + frames), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames run"), std::string::npos) << r.out;
  }
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
// by the frame's controller index, which counts from 2 as a controller's does after the
// module's start; the points carry the frame's place in the file.
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
  const size_t down = r.out.find("frame 1: 1 point(s)\n  id 0 down at (130, 260)");
  const size_t move = r.out.find("frame 2: 1 point(s)\n  id 0 move at (140, 280)");
  const size_t up = r.out.find("frame 3: 1 point(s)\n  id 0 up at (140, 280)");
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
      {"empty file", alg + " --panel 1x2 --frames-file " + write("f.csv", ""), 1, "f.csv is empty: no frame to run"},
      {"comments only", alg + " --panel 1x2 --frames-file " + write("g.csv", "# 1,2\n\n# 3,4\n"), 1,
       "g.csv holds no frame, only comments and empty lines"},
      {"bad panel", alg + " --panel 0x4 --frames-file " + write("e.csv", "1\n"), 2, "bad panel '0x4'"},
      {"unknown option", alg + " --bogus 1", 2, "unknown option '--bogus'"},
      {"no module", " --frames-file x.csv", 2, "--alg and either --hal or --frames-file are needed"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = run(c.arguments);
    EXPECT_EQ(r.status, c.status) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames run"), std::string::npos) << r.out;
  }
  const CliRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--frames-file FILE"), std::string::npos);
  EXPECT_NE(help.out.find("ferrant_16x30.bin"), std::string::npos);
  // What a frames file must hold for each algorithm.
  EXPECT_NE(help.out.find("Algorithm A (libtapsense_alg_ferrant): needs --config, whose"), std::string::npos);
  EXPECT_NE(help.out.find("Algorithm B (libtapsense_alg): runs only its built-in 17x38"), std::string::npos);
}

// Algorithm A cannot start without its configuration: touch_host says so and how to get one.
// A module of the same call style that needs none still runs without.
TEST_F(TouchHostCli, AlgorithmAWithoutConfigurationIsToldWhatItNeeds) {
  const std::string frames = write("frames.csv", "0,0,0,0,0,0\n");
  const CliRun r = run("--alg " + plugin("libtapsense_alg_ferrant") + " --frames-file " + frames + " --panel 2x3");
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("needs its configuration: give --config FILE"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("tools/touch_host/configs/ferrant_16x30.bin"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("make_ferrant_config --panel DRIVExSENSE --screen XxY FILE"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("frames run"), std::string::npos) << r.out;

  const CliRun other = run("--alg " + plugin("libtouch_test_alg_ferrant") + " --frames-file " + frames + " --panel 2x3");
  EXPECT_EQ(other.status, 0) << other.out;
  EXPECT_NE(other.out.find("frames run: 1"), std::string::npos) << other.out;
  EXPECT_EQ(other.out.find("--config"), std::string::npos) << other.out;
}

// The points are printed on standard output, the modules' log lines go to standard error.
TEST_F(TouchHostCli, PointsGoToStandardOutputAndTheLogToStandardError) {
  const std::string frames = write("touch.csv", "0,0,0,0,0,0\n40,1,2,3,4,5\n");
  const std::string log = dir_ + "/log.txt";
  const CliRun r = run("--alg " + plugin("libtouch_test_alg") + " --frames-file " + frames + " --panel 2x3", log);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("frame 1: 1 point(s)\n  id 0 down at (130, 260)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("[touch_host]"), std::string::npos) << r.out;
  std::ifstream in(log);
  const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(logged.find("[touch_host] host L3: loaded algorithm module"), std::string::npos) << logged;
  EXPECT_EQ(logged.find("point(s)"), std::string::npos) << logged;
}

// --help says in what units and along which axes each algorithm's points are, and where the
// log goes.
TEST_F(TouchHostCli, HelpSaysWhereThePointsAre) {
  const CliRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  // The text as one line: the phrases may wrap anywhere.
  std::string flat;
  for (const char c : help.out) {
    const bool space = c == ' ' || c == '\n';
    if (!space || (!flat.empty() && flat.back() != ' ')) flat += space ? ' ' : c;
  }
  for (const char *text : {"Algorithm A: on the screen of its configuration", "x along the sense lines (columns)",
                           "Algorithm B: in 1/100 pixel of its 1220 x 2712 panel", "x along the 17 drive lines",
                           "go to standard error"}) {
    EXPECT_NE(flat.find(text), std::string::npos) << text << "\n" << help.out;
  }
}

// Fingers as a device's scans see them on algorithm B's panel: each a round blob of PEAK
// raw counts at its centre (spread 0.75 node) taken off the mutual values, and the
// blob's sum along each line added to that line's value in both self scans (a finger
// raises a self line as it lowers the mutual nodes under it).
struct Blob {
  int tx;
  int rx;
};

constexpr int kBlobPeak = 500;
constexpr double kBlobSpread = 0.75;

double blob_signal(const Blob &b, int tx, int rx) {
  const double q = ((tx - b.tx) * (tx - b.tx) + (rx - b.rx) * (rx - b.rx)) / (kBlobSpread * kBlobSpread);
  return kBlobPeak * std::exp(-q / 2);
}

// One frames-file line of frame K: the mutual values, then self set 1 and self set 2 (drive
// lines first, then sense lines), as the road's self scans see the frame.
std::string line_with_blobs(const std::vector<Blob> &blobs, int k) {
  namespace road = testsupport::luma_road;
  std::vector<int16_t> values = road::raw_with_tips({}, k);
  for (int t = 0; t < road::kTx; ++t) {
    for (int r = 0; r < road::kRx; ++r) {
      double signal = 0;
      for (const Blob &b : blobs) signal += blob_signal(b, t, r);
      int16_t &node = values[static_cast<size_t>(t * road::kRx + r)];
      node = static_cast<int16_t>(node - std::lround(signal));
    }
  }
  const std::vector<int16_t> self = road::self_lines(values, k);
  for (int set = 0; set < 2; ++set) values.insert(values.end(), self.begin(), self.end());
  return csv_line(values);
}

// Algorithm B relies on the self lines a device always sends: its water-proof pass drops a
// mutual peak that no self line supports, so these frames with self lines of 0 gave no point
// for five fingers on a drive row or three 4 apart on a sense column. With both self sets in
// the file, each finger is one point where it is, in every frame once its landing has passed
// (a merge of algorithm B's own in the third frame of a landing on one drive row is left
// out: the floating state that it reads waits three frames for the self lines to settle).
TEST_F(TouchHostCli, AlgorithmBFindsFingersInARowWhenTheFramesCarrySelfLines) {
  namespace road = testsupport::luma_road;
  struct Case {
    const char *what;
    std::vector<Blob> blobs;
  } cases[] = {
      {"three on a drive row, 3 apart", {{8, 14}, {8, 17}, {8, 20}}},
      {"three on a drive row, 4 apart", {{8, 12}, {8, 16}, {8, 20}}},
      {"five on a drive row, 4 apart", {{8, 8}, {8, 12}, {8, 16}, {8, 20}, {8, 24}}},
      {"three on a sense column, 3 apart", {{5, 19}, {8, 19}, {11, 19}}},
      {"three on a sense column, 4 apart", {{4, 19}, {8, 19}, {12, 19}}},
  };
  constexpr int kUntouched = 3, kHeld = 12, kLanding = 3;
  const double per_tx = road::node_x(1) - road::node_x(0);
  const double per_rx = road::node_y(1) - road::node_y(0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string frames = "# fingers in a row, with both self sets\n";
    int k = 0;
    for (; k < kUntouched; ++k) frames += line_with_blobs({}, k);
    for (; k < kUntouched + kHeld; ++k) frames += line_with_blobs(c.blobs, k);
    for (; k < kUntouched + kHeld + 3; ++k) frames += line_with_blobs({}, k);
    const CliRun r = run("--alg " + plugin("libtapsense_alg") + " --frames-file " + write("row.csv", frames));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("frames file: 18 frame(s) of 17x38"), std::string::npos) << r.out;
    std::map<long, std::vector<Printed>> by_frame;
    for (const Printed &p : printed_points(r.out))
      if (p.action != "up") by_frame[p.frame].push_back(p);
    for (long f = kUntouched + kLanding; f < kUntouched + kHeld; ++f) {
      SCOPED_TRACE("frame " + std::to_string(f));
      const std::vector<Printed> &points = by_frame[f];
      EXPECT_EQ(points.size(), c.blobs.size()) << r.out;
      for (const Blob &b : c.blobs) {
        EXPECT_EQ(std::count_if(points.begin(), points.end(),
                                [&](const Printed &p) {
                                  return std::fabs((p.x - road::node_x(b.tx)) / per_tx) <= 0.5 &&
                                         std::fabs((p.y - road::node_y(b.rx)) / per_rx) <= 0.5;
                                }),
                  1)
            << "finger at (" << b.tx << ", " << b.rx << ")";
      }
    }
  }
}

// A frames-file line holds the nodes, then optionally self set 1 and self set 2: each
// reaches the algorithm in its own buffer of the decoded frame, in the order of the line
// (drive lines first), and a set the line leaves out is 0.
TEST(FramesFile, SelfSetsReachTheirOwnBuffersOfTheFrame) {
  const PanelSize panel{2, 3};  // 6 nodes, self sets of 5
  struct Case {
    const char *what;
    const char *line;
    std::vector<int16_t> mutual, self1, self2;
  } cases[] = {
      {"nodes only", "1,2,3,4,5,6", {1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}},
      {"nodes and self set 1", "1,2,3,4,5,6,10,11,12,13,14", {1, 2, 3, 4, 5, 6}, {10, 11, 12, 13, 14},
       {0, 0, 0, 0, 0}},
      {"nodes and both self sets", "1,2,3,4,5,6,10,11,12,13,14,-20,21,-22,23,32767", {1, 2, 3, 4, 5, 6},
       {10, 11, 12, 13, 14}, {-20, 21, -22, 23, 32767}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::istringstream in(std::string("# frame\n") + c.line + "\n");
    std::vector<std::vector<int16_t>> lines;
    std::string error;
    ASSERT_TRUE(read_frames(in, panel, &lines, &error)) << error;
    ASSERT_EQ(lines.size(), 1u);
    RecordedFrame frame(lines[0], panel, 7);
    const DecodedFrame *f = frame.frame();
    EXPECT_EQ(f->rows, 2);
    EXPECT_EQ(f->columns, 3);
    EXPECT_EQ(std::vector<int16_t>(f->mutual, f->mutual + 6), c.mutual);
    EXPECT_EQ(std::vector<int16_t>(f->self1, f->self1 + 5), c.self1);
    EXPECT_EQ(std::vector<int16_t>(f->self2, f->self2 + 5), c.self2);
  }
}

// A line whose count is none of nodes, nodes + one self set, nodes + two is refused with
// the counts a line may have; so is a line that runs past the second set.
TEST_F(TouchHostCli, FrameLineWithAnotherCountIsRefusedWithTheCountsItMayHave) {
  const std::string alg = " --alg " + plugin("libtouch_test_alg") + " --panel 2x3 --frames-file ";
  const std::string counts = "a line holds 6 (nodes only), 11 (nodes and self set 1) or 16 (nodes and both self sets)";
  struct Case {
    const char *what;
    std::string lines;
    const char *message;
  } cases[] = {
      {"part of a self set", "1,2,3,4,5,6\n1,2,3,4,5,6,7,8\n", "line 2: 8 values, the 2x3 panel has 6 nodes and self sets of 5"},
      {"one value short of two sets", "1,2,3,4,5,6,1,1,1,1,1,2,2,2,2\n", "line 1: 15 values"},
      {"a value past two sets", "1,2,3,4,5,6,1,1,1,1,1,2,2,2,2,2,9\n", "line 1: 17 values"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun r = run(alg + write("frames.csv", c.lines));
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(counts), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("frames run"), std::string::npos) << r.out;
  }
  // --help says what the self sets are, how a touch moves them and which algorithm reads them.
  const CliRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  for (const char *text : {"then of self set 2, rows + columns values", "the drive lines first, then the sense lines",
                           "raises the self values of its lines", "Self set 1 is the",
                           "self scan guarded against water: it sees fingers, not water",
                           "Self set 2 is the normal self scan"})
    EXPECT_NE(help.out.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace touch_host
