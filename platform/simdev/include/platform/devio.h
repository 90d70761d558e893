#pragma once
// Descriptor I/O of production code. The calls have the libc signatures and errno
// conventions. A path registered as a simulated device (platform/simdev.h) opens that
// device in-process; any other path is resolved under the root (platform/paths.h) and opened
// for real. Descriptors of both kinds are real, unique fd numbers and work with every call
// here, including a plat_poll over a mix of them.

#include <poll.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

int plat_open(const char* path, int flags, ...);  // mode_t third argument with O_CREAT
int plat_close(int fd);
ssize_t plat_read(int fd, void* buf, size_t count);
ssize_t plat_write(int fd, const void* buf, size_t count);
ssize_t plat_pread(int fd, void* buf, size_t count, off_t offset);
ssize_t plat_pwrite(int fd, const void* buf, size_t count, off_t offset);
// One optional argument, a pointer or an integer by value.
int plat_ioctl(int fd, unsigned long request, ...);
void* plat_mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
int plat_munmap(void* addr, size_t length);
int plat_poll(struct pollfd* fds, nfds_t nfds, int timeout_ms);

#ifdef __cplusplus
}
#endif
