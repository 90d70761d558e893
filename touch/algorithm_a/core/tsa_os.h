#pragma once
// Host OS layer of algorithm A: threads with the fixed real-time policy, thin wrappers
// for mutexes, conditions and counting semaphores, directory creation and a file search
// (exported for the debug daemon, which runs inside the host process and uses these
// instead of the system calls), the microsecond clock and the module's three log paths:
//   log_print     host log callback (slot 6), "[ferx]: " prefix;
//   FerxLogPrint  system log, tag "[ferx_tsa]" followed by "[function]";
//   host_log_print system log, tag "FERRANT".
#include <pthread.h>
#include <semaphore.h>

#include <cstdint>

#include "vendor_export.h"

#define FERX_LOG_ERR 1
#define FERX_LOG_WARN 2
#define FERX_LOG_INFO 3
#define FERX_LOG_DEBUG 4

#define FERX_LOG_MSG_BYTES 400u       // log_print: message before the prefix
#define FERX_LOG_LINE_BYTES 500u      // log_print: "[ferx]: " + message
#define FERX_SYSLOG_TAG_BYTES 50u     // FerxLogPrint: "[ferx_tsa][func]"
#define FERX_SYSLOG_MSG_BYTES 300u    // FerxLogPrint: message
#define FERX_ARRAY_LINE_BYTES 256u    // FerxlogPrintArray: one line
#define FERX_ARRAY_LINE_FLUSH 246u    // a line is written once it holds this many characters
#define FERX_MULTI_DIR_PATH_MAX 200u  // host_create_multi_directory refuses longer paths
#define FERX_THREAD_PRIORITY 50

// Result of find_file.
#define FERX_FIND_NO_DIR (-1)
#define FERX_FIND_NO_MATCH (-2)

// Value kinds of FerxlogPrintArray.
#define FERX_ARRAY_U8 1u
#define FERX_ARRAY_U16 2u
#define FERX_ARRAY_S16 3u

extern "C" {

// Threads and synchronisation: each returns the system call's result unless noted.
VENDOR_EXPORT int host_thread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg);
VENDOR_EXPORT int host_thread_join(pthread_t* thread);
VENDOR_EXPORT int host_mutex_init(pthread_mutex_t* mutex);
VENDOR_EXPORT int host_mutex_lock(pthread_mutex_t* mutex);
VENDOR_EXPORT int host_mutex_trylock(pthread_mutex_t* mutex);
VENDOR_EXPORT int host_mutex_unlock(pthread_mutex_t* mutex);
VENDOR_EXPORT int host_mutex_destroy(pthread_mutex_t* mutex);
VENDOR_EXPORT int host_condition_init(pthread_cond_t* cond);
VENDOR_EXPORT int host_condition_signal(pthread_cond_t* cond);
VENDOR_EXPORT int host_condition_wait(pthread_cond_t* cond, pthread_mutex_t* mutex);
VENDOR_EXPORT int host_condition_destroy(pthread_cond_t* cond);
// A process-private counting semaphore; null when it cannot be made (nothing left allocated).
VENDOR_EXPORT sem_t* host_sem_create(uint32_t value);
VENDOR_EXPORT int host_sem_wait(sem_t* sem);
VENDOR_EXPORT int host_sem_post(sem_t* sem);
VENDOR_EXPORT int host_sem_destroy(sem_t* sem);

// Files. Paths are system paths and resolve through the platform root.
// One directory, mode 0771: 0 on success or when it already exists, else -1.
VENDOR_EXPORT int host_create_directory(const char* path);
// Every missing directory of PATH: 0 on success, -1 for a path above 200 characters or failure.
VENDOR_EXPORT int host_create_multi_directory(const char* path);
// First entry of DIRECTORY (directory order) whose name ends in SUFFIX, case-insensitively;
// OUT receives "directory/name" (at most out_size bytes; a longer path is no match).
// 0 found, -1 the directory cannot be opened, -2 no match.
VENDOR_EXPORT int find_file(const char* directory, const char* suffix, char* out, uint32_t out_size);

// Wall-clock time in microseconds; 0 when the clock cannot be read.
uint64_t FerxGetTimeUsStamp(void);

// Log paths. None fails towards its caller; over-long text is cut at the buffer size.
void log_print(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void FerxLogPrint(const char* function, uint8_t level, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void host_log_print(const char* text);
void FerxlogPrintArray(const char* function, const void* values, uint8_t type, uint32_t count, uint8_t per_line,
                       uint8_t level);

}  // extern "C"
