#pragma once
// One logging door for the replay, report-packing and scrambler modules. Every line goes
// through ReplayLog so that pointing these modules at the host's log (slot 6, "[ferx]: ")
// and the system log ("[ferx_tsa]") is a change in one place.
#include <cstdint>

#define REPLAY_LOG_ERR 1
#define REPLAY_LOG_INFO 3

extern "C" {

typedef void (*ReplayLogSink)(int level, const char* tag, const char* text);

void ReplayLog(int level, const char* tag, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// Test control: route the lines to SINK instead of standard error (null restores it).
void ReplayLogSetSinkForTest(ReplayLogSink sink);

}  // extern "C"
