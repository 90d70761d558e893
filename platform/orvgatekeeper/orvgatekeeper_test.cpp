#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "gatekeeper/GateKeeperService.h"

namespace {

TEST(OrvGatekeeper, RecordsArgvAndReturnsTheConfiguredStatus) {
  std::string record = ::testing::TempDir() + "gk_record_unit.txt";
  std::remove(record.c_str());
  setenv("VENDOR_GATEKEEPER_RECORD", record.c_str(), 1);
  setenv("VENDOR_GATEKEEPER_STATUS", "7", 1);
  char a0[] = "prog", a1[] = "--x";
  char* argv[] = {a0, a1, nullptr};
  EXPECT_EQ(aidl::android::hardware::gatekeeper::initAidlService(argv), 7);
  unsetenv("VENDOR_GATEKEEPER_STATUS");
  EXPECT_EQ(aidl::android::hardware::gatekeeper::initAidlService(argv), 0);
  std::ifstream in(record);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "prog\n--x\n--\nprog\n--x\n--\n");
  unsetenv("VENDOR_GATEKEEPER_RECORD");
  std::remove(record.c_str());
}

}  // namespace
