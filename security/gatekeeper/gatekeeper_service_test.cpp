// Runs the real gatekeeper-service program and checks what reached the library's entry.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

int runService(const std::vector<std::string>& args, const std::string& record, const char* status) {
  std::string program = std::string(VENDOR_BIN_DIR) + "/gatekeeper-service";
  std::vector<char*> argv;
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  setenv("VENDOR_GATEKEEPER_RECORD", record.c_str(), 1);
  if (status != nullptr) {
    setenv("VENDOR_GATEKEEPER_STATUS", status, 1);
  } else {
    unsetenv("VENDOR_GATEKEEPER_STATUS");
  }
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1000;
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  unsetenv("VENDOR_GATEKEEPER_RECORD");
  unsetenv("VENDOR_GATEKEEPER_STATUS");
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -2000;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(GatekeeperService, HandsArgvToTheLibraryAndExitsWithItsStatus) {
  const std::string record = ::testing::TempDir() + "gk_service_record.txt";
  std::remove(record.c_str());
  EXPECT_EQ(runService({"--flag", "value"}, record, "3"), 3);
  const std::string program = std::string(VENDOR_BIN_DIR) + "/gatekeeper-service";
  EXPECT_EQ(readAll(record), program + "\n--flag\nvalue\n--\n");
  EXPECT_EQ(runService({}, record, nullptr), 0);
  EXPECT_EQ(readAll(record), program + "\n--flag\nvalue\n--\n" + program + "\n--\n");
  std::remove(record.c_str());
}

}  // namespace
