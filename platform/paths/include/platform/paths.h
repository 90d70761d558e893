#pragma once
// Every absolute path the system opens resolves under one root directory, named by the
// environment variable VENDOR_ROOT (unset or empty: the real root "/"). Tests point it at a
// temporary directory so the code under test sees its own /dev, /sys, /odm, /data, ...
//
// The wrappers keep the libc signatures and errno conventions. A path whose ".." components
// would climb above the root is refused with EINVAL: paths are built from configuration
// files and must not reach outside the tree. Otherwise ".." means what it means to the
// kernel: the parent of the directory reached so far, which must exist.

#include <dirent.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// The current root, without a trailing slash ("/" for the real root). Read from the
// environment at first use. The pointer stays valid for the life of the process.
const char* plat_root(void);

// Overrides the root in this process; NULL reads VENDOR_ROOT from the environment again.
void plat_set_root(const char* root);

// Writes the host path of abs_path into out. Relative paths are copied unchanged. ".." is
// resolved as the kernel walks it: from the directory actually reached, so a path through a
// missing directory fails. Returns 0, -EINVAL (NULL argument, or ".." above the root),
// -ENOENT or -ENOTDIR (a ".." after a missing directory or a file), -EXDEV (a ".." after a
// symbolic link leading out of the root) or -ENAMETOOLONG.
int plat_resolve(const char* abs_path, char* out, size_t out_size);

FILE* plat_fopen(const char* path, const char* mode);
int plat_access(const char* path, int mode);
int plat_stat(const char* path, struct stat* st);
int plat_lstat(const char* path, struct stat* st);
int plat_mkdir(const char* path, mode_t mode);
// Creates every missing directory of path (an existing directory is success).
int plat_mkdir_p(const char* path, mode_t mode);
int plat_rmdir(const char* path);
DIR* plat_opendir(const char* path);
int plat_unlink(const char* path);
int plat_rename(const char* old_path, const char* new_path);
// Canonical form of path as the system sees it (without the root prefix). With a NULL
// resolved buffer the result is malloc'ed, as with realpath(3). A result outside the root
// (a symbolic link leading out of the tree) is refused with EXDEV.
char* plat_realpath(const char* path, char* resolved);

#ifdef __cplusplus
}  // extern "C"

#include <optional>
#include <string>
#include <string_view>

// Host path of an absolute (or relative) path; an empty string when it cannot be resolved,
// so that a following open fails with ENOENT.
std::string plat_path(std::string_view path);

namespace platform {
// Lexical normal form of an absolute path: repeated '/' and "." removed, ".." applied as
// text (a name for lookups, such as a simulated device's path; files are reached through
// plat_resolve). nullopt for a relative path or one that climbs above "/".
std::optional<std::string> normalizePath(std::string_view abs_path);
}  // namespace platform
#endif
