// Root-relative path resolution for every absolute path the system opens.

#define LOG_TAG "platform"

#include "platform/paths.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <list>
#include <mutex>
#include <vector>

#include <log/log.h>

namespace {

// Roots are interned and never freed, so a pointer from plat_root() stays valid after the
// root changes (a test may switch roots while another thread still holds the old one).
struct RootState {
  std::mutex lock;
  std::list<std::string> interned;
  const std::string* current = nullptr;
};

RootState& rootState() {
  static RootState* state = new RootState;
  return *state;
}

std::string cleanRoot(const char* root) {
  if (root == nullptr || root[0] == '\0') return "/";
  std::string r(root);
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

const std::string& setRootLocked(RootState& s, const char* root) {
  s.interned.push_back(cleanRoot(root));
  s.current = &s.interned.back();
  return *s.current;
}

// Copies text into out (with its NUL) or refuses when it does not fit.
int copyOut(const std::string& text, char* out, size_t out_size) {
  if (text.size() >= out_size || text.size() >= PATH_MAX) return -ENAMETOOLONG;
  memcpy(out, text.c_str(), text.size() + 1);
  return 0;
}

// Runs fn with the resolved host path, or fails with errno set and returns fail_value.
template <typename R, typename Fn>
R withResolved(const char* path, R fail_value, Fn fn) {
  char host[PATH_MAX];
  int rc = plat_resolve(path, host, sizeof host);
  if (rc != 0) {
    errno = -rc;
    return fail_value;
  }
  return fn(host);
}

std::string hostOf(const std::string& root, const std::vector<std::string>& parts) {
  std::string host = root == "/" ? std::string() : root;
  for (const std::string& part : parts) host += "/" + part;
  return host.empty() ? std::string("/") : host;
}

std::vector<std::string> splitPath(std::string_view path) {
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < path.size()) {
    size_t next = path.find('/', pos);
    if (next == std::string_view::npos) next = path.size();
    if (next > pos) parts.emplace_back(path.substr(pos, next - pos));
    pos = next + 1;
  }
  return parts;
}

// Walks an absolute path as the kernel does, under the root: repeated slashes and "." go,
// and ".." steps back from the directory actually reached. So a ".." after a missing
// directory fails with ENOENT, one after a file with ENOTDIR, and one after a symbolic link
// leaves the link's target (a target outside the root is refused with EXDEV). A ".." at the
// root is refused with EINVAL: paths come from configuration and must not reach outside the
// tree. Paths without ".." are not looked at on disk; the later call fails where the kernel's
// would. *out receives the system view ("/..." without the root).
int walkPath(std::string_view abs_path, const std::string& root, std::string* out) {
  std::vector<std::string> parts;
  for (std::string& part : splitPath(abs_path)) {
    if (part == ".") continue;
    if (part != "..") {
      parts.push_back(std::move(part));
      continue;
    }
    if (parts.empty()) return -EINVAL;
    const std::string host = hostOf(root, parts);
    struct stat st;
    if (stat(host.c_str(), &st) != 0) return -errno;
    if (!S_ISDIR(st.st_mode)) return -ENOTDIR;
    struct stat link;
    if (lstat(host.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
      char real[PATH_MAX];
      char real_root[PATH_MAX];
      if (realpath(host.c_str(), real) == nullptr) return -errno;
      const std::string top = realpath(root.c_str(), real_root) != nullptr ? real_root : root;
      std::string_view inside(real);
      if (top != "/") {
        if (inside.substr(0, top.size()) != top || (inside.size() > top.size() && inside[top.size()] != '/'))
          return -EXDEV;
        inside.remove_prefix(top.size());
      }
      parts = splitPath(inside);
      if (parts.empty()) return -EINVAL;
    }
    parts.pop_back();
  }
  std::string system;
  for (const std::string& part : parts) system += "/" + part;
  *out = system.empty() ? std::string("/") : system;
  return 0;
}

}  // namespace

namespace platform {

std::optional<std::string> normalizePath(std::string_view abs_path) {
  if (abs_path.empty() || abs_path.front() != '/') return std::nullopt;
  std::vector<std::string_view> parts;
  size_t pos = 0;
  while (pos < abs_path.size()) {
    size_t next = abs_path.find('/', pos);
    if (next == std::string_view::npos) next = abs_path.size();
    std::string_view part = abs_path.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  if (parts.empty()) return std::string("/");
  size_t length = 0;
  for (std::string_view part : parts) length += 1 + part.size();
  std::string out(length, '/');
  size_t at = 0;
  for (std::string_view part : parts) {
    part.copy(out.data() + at + 1, part.size());
    at += 1 + part.size();
  }
  return out;
}

}  // namespace platform

extern "C" const char* plat_root(void) {
  RootState& s = rootState();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.current == nullptr) setRootLocked(s, getenv("VENDOR_ROOT"));
  return s.current->c_str();
}

extern "C" void plat_set_root(const char* root) {
  RootState& s = rootState();
  std::lock_guard<std::mutex> guard(s.lock);
  setRootLocked(s, root != nullptr ? root : getenv("VENDOR_ROOT"));
}

extern "C" int plat_resolve(const char* abs_path, char* out, size_t out_size) {
  if (abs_path == nullptr || out == nullptr) return -EINVAL;
  if (abs_path[0] != '/') return copyOut(abs_path, out, out_size);
  if (strnlen(abs_path, PATH_MAX) >= PATH_MAX) return -ENAMETOOLONG;
  const std::string root = plat_root();
  std::string normal;
  const int rc = walkPath(abs_path, root, &normal);
  if (rc == -EINVAL || rc == -EXDEV) ALOGE("refusing path outside the root: %s", abs_path);
  if (rc != 0) return rc;
  if (root == "/") return copyOut(normal, out, out_size);
  if (normal == "/") return copyOut(root, out, out_size);
  return copyOut(root + normal, out, out_size);
}

std::string plat_path(std::string_view path) {
  std::string in(path);
  char host[PATH_MAX];
  if (plat_resolve(in.c_str(), host, sizeof host) != 0) return std::string();
  return host;
}

extern "C" FILE* plat_fopen(const char* path, const char* mode) {
  return withResolved(path, static_cast<FILE*>(nullptr),
                      [&](const char* host) { return fopen(host, mode); });
}

extern "C" int plat_access(const char* path, int mode) {
  return withResolved(path, -1, [&](const char* host) { return access(host, mode); });
}

extern "C" int plat_stat(const char* path, struct stat* st) {
  return withResolved(path, -1, [&](const char* host) { return stat(host, st); });
}

extern "C" int plat_lstat(const char* path, struct stat* st) {
  return withResolved(path, -1, [&](const char* host) { return lstat(host, st); });
}

extern "C" int plat_mkdir(const char* path, mode_t mode) {
  return withResolved(path, -1, [&](const char* host) { return mkdir(host, mode); });
}

extern "C" int plat_mkdir_p(const char* path, mode_t mode) {
  return withResolved(path, -1, [&](const char* host) {
    std::string partial;
    std::string_view rest(host);
    // Walk the host path one component at a time; the root itself may have to be made too.
    size_t pos = 0;
    while (pos <= rest.size()) {
      size_t next = rest.find('/', pos);
      if (next == std::string_view::npos) next = rest.size();
      partial.assign(rest.substr(0, next));
      pos = next + 1;
      if (partial.empty() || partial.back() == '/') continue;
      if (mkdir(partial.c_str(), mode) == 0 || errno == EEXIST) {
        struct stat st;
        if (stat(partial.c_str(), &st) != 0) return -1;
        if (!S_ISDIR(st.st_mode)) {
          errno = ENOTDIR;
          return -1;
        }
        continue;
      }
      return -1;
    }
    return 0;
  });
}

extern "C" int plat_rmdir(const char* path) {
  return withResolved(path, -1, [&](const char* host) { return rmdir(host); });
}

extern "C" DIR* plat_opendir(const char* path) {
  return withResolved(path, static_cast<DIR*>(nullptr),
                      [&](const char* host) { return opendir(host); });
}

extern "C" int plat_unlink(const char* path) {
  return withResolved(path, -1, [&](const char* host) { return unlink(host); });
}

extern "C" int plat_rename(const char* old_path, const char* new_path) {
  return withResolved(old_path, -1, [&](const char* old_host) {
    return withResolved(new_path, -1,
                        [&](const char* new_host) { return rename(old_host, new_host); });
  });
}

extern "C" char* plat_realpath(const char* path, char* resolved) {
  return withResolved(path, static_cast<char*>(nullptr), [&](const char* host) -> char* {
    char real[PATH_MAX];
    if (realpath(host, real) == nullptr) return nullptr;
    // Compare against the canonical root: the root itself may sit behind a symbolic link.
    char real_root[PATH_MAX];
    std::string root = realpath(plat_root(), real_root) != nullptr ? real_root : plat_root();
    std::string logical;
    if (root == "/") {
      logical = real;
    } else if (strncmp(real, root.c_str(), root.size()) == 0 &&
               (real[root.size()] == '/' || real[root.size()] == '\0')) {
      logical = real[root.size()] == '\0' ? "/" : real + root.size();
    } else {
      ALOGE("path leaves the root: %s", path);
      errno = EXDEV;
      return nullptr;
    }
    if (resolved == nullptr) return strdup(logical.c_str());
    memcpy(resolved, logical.c_str(), logical.size() + 1);  // fits: shorter than real[]
    return resolved;
  });
}
