#pragma once
// Log sink of the touch report, module API and customer debug modules. The host OS layer
// owns the real log path (host slot 6 with "[ferx]: " and the system log with tag
// "[ferx_tsa]"); until these modules are pointed at it their lines go through this one
// function, so that switching is one edit.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace ferrant_report {

inline constexpr uint8_t kLogErr = 1;
inline constexpr uint8_t kLogInfo = 3;

__attribute__((format(printf, 3, 4))) inline void ReportLog(uint8_t ubLevel, const char* pcTag, const char* pcFmt,
                                                            ...) {
  char acText[256];
  va_list ap;
  va_start(ap, pcFmt);
  vsnprintf(acText, sizeof(acText), pcFmt, ap);
  va_end(ap);
  fprintf(stderr, "[ferx_tsa][%s](%u): %s\n", pcTag, static_cast<unsigned>(ubLevel), acText);
}

}  // namespace ferrant_report
