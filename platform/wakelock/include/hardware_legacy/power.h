#pragma once
// Stand-in of the legacy wake-lock calls. A lock is named; acquiring a held name again
// keeps it held, releasing drops it. 0 on success; -1 with errno set on failure.
#ifdef __cplusplus
extern "C" {
#endif

enum {
  PARTIAL_WAKE_LOCK = 1,
  FULL_WAKE_LOCK = 2,
};

int acquire_wake_lock(int lock, const char* id);
int release_wake_lock(const char* id);

#ifdef __cplusplus
}
#endif
