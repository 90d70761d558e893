#pragma once
// Framework-local log sink. The host OS layer owns the real log path (host slot 6 with
// "[ferx]: " and the system log with tag "[ferx_tsa]"); until the framework is pointed at
// it, framework messages go through this one function so that switching is one edit.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace ferrant_fw {

// Level 1 = error, 3 = information, as the module's log levels.
__attribute__((format(printf, 3, 4))) inline void FwLog(uint8_t ubLevel, const char* pcFunc,
                                                        const char* pcFmt, ...) {
  char acText[256];
  va_list ap;
  va_start(ap, pcFmt);
  vsnprintf(acText, sizeof(acText), pcFmt, ap);
  va_end(ap);
  fprintf(stderr, "[ferx_tsa] %s(%u): %s\n", pcFunc, static_cast<unsigned>(ubLevel), acText);
}

}  // namespace ferrant_fw
