// A deliverable program whose sources have not landed yet.
#include <cstdio>

int main() {
  std::fprintf(stderr, "%s: not part of this build yet\n", VENDOR_PROGRAM_NAME);
  return 2;
}
