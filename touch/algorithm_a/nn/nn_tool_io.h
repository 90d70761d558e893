#pragma once
// File input of the reference-check tools: the whole file as bytes (empty when it cannot be
// read; each tool checks the size it needs).
#include <cstdio>
#include <vector>

inline std::vector<unsigned char> ReadAll(const char* path) {
  std::vector<unsigned char> v;
  FILE* f = fopen(path, "rb");
  if (f == nullptr) return v;
  unsigned char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
  fclose(f);
  return v;
}
