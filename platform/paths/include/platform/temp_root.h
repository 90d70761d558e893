#pragma once
// Test control for the path layer: a fresh temporary root for the lifetime of the object.
// On construction VENDOR_ROOT-style resolution is pointed at a new directory under $TMPDIR
// (or /tmp); on destruction the tree is removed and the root returns to the environment.

#include <fcntl.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/paths.h"

namespace platform::testing {

class TempRoot {
 public:
  TempRoot() {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") +
                          "/vendor-root-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    plat_set_root(dir_.c_str());
  }
  ~TempRoot() {
    plat_set_root(nullptr);
    nftw(dir_.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& dir() const { return dir_; }

  // Writes a file at a system path (e.g. "/odm/etc/x.json"), creating its directories.
  void writeFile(std::string_view path, std::string_view content) const {
    std::string logical(path);
    std::string parent = logical.substr(0, logical.rfind('/'));
    if (!parent.empty() && plat_mkdir_p(parent.c_str(), 0755) != 0)
      throw std::runtime_error("mkdir_p failed for " + parent);
    std::string host = plat_path(logical);
    int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + host);
    size_t done = 0;
    while (done < content.size()) {
      ssize_t n = ::write(fd, content.data() + done, content.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    if (done != content.size()) throw std::runtime_error("short write to " + host);
  }

  // Whole content of a file at a system path; empty when it cannot be read.
  std::string readFile(std::string_view path) const {
    std::string host = plat_path(path);
    std::string out;
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    ::close(fd);
    return out;
  }

 private:
  static int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
  }
  std::string dir_;
};

}  // namespace platform::testing
