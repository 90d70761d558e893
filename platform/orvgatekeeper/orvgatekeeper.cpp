#include <cstdio>
#include <cstdlib>

#include "gatekeeper/GateKeeperService.h"

namespace aidl::android::hardware::gatekeeper {

int initAidlService(char** argv) {
  if (const char* record = std::getenv("VENDOR_GATEKEEPER_RECORD")) {
    if (FILE* f = std::fopen(record, "a")) {
      for (char** a = argv; a != nullptr && *a != nullptr; ++a) std::fprintf(f, "%s\n", *a);
      std::fprintf(f, "--\n");
      std::fclose(f);
    }
  }
  const char* status = std::getenv("VENDOR_GATEKEEPER_STATUS");
  return status != nullptr ? std::atoi(status) : 0;
}

}  // namespace aidl::android::hardware::gatekeeper
