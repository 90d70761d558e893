#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tsa_scramble.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The word order of a scrambled block, as the controller firmware lays it out: output word
// i is input word kOrder[i].
const uint32_t kOrder[16] = {5, 0, 15, 6, 1, 8, 9, 14, 13, 2, 7, 4, 3, 10, 11, 12};
const uint32_t kMask = (uint32_t{FERX_SCRAMBLE_MASK_HIGH} << 16) | FERX_SCRAMBLE_MASK_LOW;

uint32_t Word(const Bytes& b, size_t i) {
  return uint32_t(b[4 * i]) | uint32_t(b[4 * i + 1]) << 8 | uint32_t(b[4 * i + 2]) << 16 |
         uint32_t(b[4 * i + 3]) << 24;
}

Bytes Sample(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 37 + 11);
  return b;
}

TEST(BlockScrambler, OneBlockByHand) {
  Bytes plain(64);
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t w = 0x01010101u * i + 0x10203000u;
    std::memcpy(&plain[4 * i], &w, 4);
  }
  Bytes scrambled(64);
  ferx_encrypt(plain.data(), scrambled.data(), 64);
  for (uint32_t i = 0; i < 16; ++i) {
    EXPECT_EQ(Word(scrambled, i), (0x01010101u * kOrder[i] + 0x10203000u) ^ kMask) << "word " << i;
  }
  Bytes back(64);
  ferx_decrypt(scrambled.data(), back.data(), 64);
  EXPECT_EQ(back, plain);
}

TEST(BlockScrambler, DecryptUndoesEncryptForEveryLength) {
  for (uint32_t n : {0u, 1u, 63u, 64u, 65u, 70u, 127u, 128u, 130u, 200u, 256u}) {
    const Bytes plain = Sample(n);
    Bytes scrambled(n), back(n);
    ferx_encrypt(plain.data(), scrambled.data(), n);
    ferx_decrypt(scrambled.data(), back.data(), n);
    EXPECT_EQ(back, plain) << n;
    Bytes inPlace = plain;
    ferx_encrypt(inPlace.data(), inPlace.data(), n);
    EXPECT_EQ(inPlace, scrambled) << n << ": in place gives the same bytes";
    ferx_decrypt(inPlace.data(), inPlace.data(), n);
    EXPECT_EQ(inPlace, plain) << n;
  }
}

TEST(BlockScrambler, OnlyWholeBlocksChange) {
  const Bytes plain = Sample(70);
  Bytes out(70);
  ferx_decrypt(plain.data(), out.data(), 70);
  EXPECT_EQ(Bytes(out.begin() + 64, out.end()), Bytes(plain.begin() + 64, plain.end()));
  for (uint32_t i = 0; i < 16; ++i) EXPECT_NE(Word(out, i), Word(plain, i)) << i;

  const Bytes short63 = Sample(63);
  Bytes copy(63);
  ferx_decrypt(short63.data(), copy.data(), 63);
  EXPECT_EQ(copy, short63);
}

TEST(BlockScrambler, NullBuffersDoNothing) {
  Bytes out(64, 0xEE);
  ferx_encrypt(nullptr, out.data(), 64);
  ferx_decrypt(nullptr, out.data(), 64);
  EXPECT_EQ(out, Bytes(64, 0xEE));
  const Bytes in = Sample(64);
  ferx_decrypt(in.data(), nullptr, 64);
}

}  // namespace
