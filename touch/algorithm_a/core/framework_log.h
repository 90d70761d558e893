#pragma once
// Framework-local log sink: framework messages go to the module's system log path
// (FerxLogPrint, tag "[ferx_tsa]" with the function name) through this one function.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "tsa_os.h"

namespace ferrant_fw {

// Level 1 = error, 3 = information, as the module's log levels.
__attribute__((format(printf, 3, 4))) inline void FwLog(uint8_t ubLevel, const char* pcFunc,
                                                        const char* pcFmt, ...) {
  char acText[256];
  va_list ap;
  va_start(ap, pcFmt);
  vsnprintf(acText, sizeof(acText), pcFmt, ap);
  va_end(ap);
  FerxLogPrint(pcFunc, ubLevel, "%s", acText);
}

}  // namespace ferrant_fw
