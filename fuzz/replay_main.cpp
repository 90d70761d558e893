// Replays a seed corpus through a fuzz entry point without libFuzzer, so that the
// ordinary test build (gcc, sanitizers on) runs every seed on every change.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  // A corpus that cannot be read is reported, not thrown out of main.
  std::vector<std::filesystem::path> seeds;
  std::error_code ec;
  std::filesystem::recursive_directory_iterator it(argv[1], ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file(ec)) seeds.push_back(it->path());
  }
  if (ec) {
    std::fprintf(stderr, "%s: cannot read corpus %s: %s\n", argv[0], argv[1], ec.message().c_str());
    return 1;
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "no seeds in %s\n", argv[1]);
    return 1;
  }
  for (const auto& path : seeds) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot read seed %s\n", argv[0], path.c_str());
      return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // An empty vector's data() may be null; fuzzers are handed a valid pointer.
    static const uint8_t kEmpty = 0;
    LLVMFuzzerTestOneInput(bytes.empty() ? &kEmpty : bytes.data(), bytes.size());
  }
  std::printf("replayed %zu seeds from %s\n", seeds.size(), argv[1]);
  return 0;
}
