// Linked into the libFuzzer binaries and the benchmark programs only (vendor_quiet_logs):
// the parsers log every input they refuse and the secure libraries every session, which
// under fuzzing is millions of lines a minute and in a benchmark run hundreds of thousands,
// and hides the program's own report. The test build and the products keep their logs.
#include <android/log.h>

namespace {

[[gnu::constructor]] void SilenceSystemLog() { __android_log_set_minimum_priority(ANDROID_LOG_SILENT); }

}  // namespace
