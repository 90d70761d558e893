// Linked into the libFuzzer binaries only: the parsers log every input they refuse, which
// under fuzzing is millions of lines a minute and hides the fuzzer's own report. The
// ordinary build keeps its logs.
#include <android/log.h>

namespace {

[[gnu::constructor]] void SilenceSystemLog() { __android_log_set_minimum_priority(ANDROID_LOG_SILENT); }

}  // namespace
