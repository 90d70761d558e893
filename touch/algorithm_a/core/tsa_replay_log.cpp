#include "tsa_replay_log.h"

#include <cstdarg>
#include <cstdio>

#include "tsa_os.h"

namespace {
ReplayLogSink gpfnReplayLogSink = nullptr;
}

extern "C" void ReplayLog(int level, const char* tag, const char* fmt, ...) {
  char text[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);
  if (gpfnReplayLogSink != nullptr) {
    gpfnReplayLogSink(level, tag, text);
    return;
  }
  FerxLogPrint(tag, static_cast<uint8_t>(level), "%s", text);
}

extern "C" void ReplayLogSetSinkForTest(ReplayLogSink sink) { gpfnReplayLogSink = sink; }
