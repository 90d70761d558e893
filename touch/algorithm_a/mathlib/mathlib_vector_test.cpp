// Vector members: statistics record contracts, element-wise results and their statistics,
// the one-dimensional out-parameter members and the memory members.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "mathlib.h"

namespace {

// The record as a value, with a recognisable sentinel to see which fields a call wrote.
struct Snapshot {
  uint32_t acc;
  uint16_t min, max;
  void *minAt, *maxAt;
  bool operator==(const Snapshot&) const = default;
};
Snapshot Take() {
  return {gstVpuStatistic.ulAcc, gstVpuStatistic.uwMinData, gstVpuStatistic.uwMaxData, gstVpuStatistic.pMinDataAddr,
          gstVpuStatistic.pMaxDataAddr};
}
int gSentinelCell;
void Poison() {
  gstVpuStatistic = VpuStatistic{0xDEADBEEF, 0x1111, &gSentinelCell, 0x2222, &gSentinelCell};
}

TEST(VpuStatistic, U16FirstOccurrences) {
  const uint16_t v[5] = {5, 9, 9, 2, 2};
  EXPECT_EQ(LibVpuStatisticU16(v, 5), 0u);
  EXPECT_EQ(Take(), (Snapshot{27, 2, 9, (void*)&v[3], (void*)&v[1]}));

  const uint16_t zeros[3] = {0, 0, 0};
  LibVpuStatisticU16(zeros, 3);
  EXPECT_EQ(Take(), (Snapshot{0, 0, 0, (void*)&zeros[0], (void*)&zeros[0]}));
  const uint16_t full[2] = {65535, 65535};
  LibVpuStatisticU16(full, 2);
  EXPECT_EQ(Take(), (Snapshot{131070, 65535, 65535, (void*)&full[0], (void*)&full[0]}));

  Poison();
  const Snapshot before = Take();
  EXPECT_EQ(LibVpuStatisticU16(v, 0), 1u);
  EXPECT_EQ(Take(), before);
}

TEST(VpuStatistic, SignedAndStridedMembers) {
  const int16_t s[4] = {-5, 3, -7, 3};
  LibVpuStatisticS16(s, 4, 0, 1);
  EXPECT_EQ(Take(), (Snapshot{0xFFFFFFFAu, static_cast<uint16_t>(-7), 3, (void*)&s[2], (void*)&s[1]}));
  LibVpuStatisticS16(s, 4, 0, 0);
  EXPECT_EQ(Take(), (Snapshot{0xFFFFFFFAu, static_cast<uint16_t>(-7), 3, (void*)&s[0], (void*)&s[0]}));
  // All positive: the signed members must not report a minimum below the data.
  const int16_t pos[2] = {4, 6};
  LibVpuStatisticS16Tiny(pos, 2);
  EXPECT_EQ(Take(), (Snapshot{10, 4, 6, (void*)&pos[0], (void*)&pos[1]}));

  // Interleaved records: every other u16 (gap 2 bytes).
  const uint16_t inter[6] = {7, 1000, 3, 1000, 9, 1000};
  LibVpuStatisticOffsetU16(inter, 3, 2);
  EXPECT_EQ(Take(), (Snapshot{19, 3, 9, (void*)&inter[2], (void*)&inter[4]}));
  const int16_t sint[6] = {-7, 1000, 3, 1000, -9, 1000};
  LibVpuStatisticOffsetS16(sint, 3, 2);
  EXPECT_EQ(Take(), (Snapshot{static_cast<uint32_t>(-13), static_cast<uint16_t>(-9), 3, (void*)&sint[4], (void*)&sint[2]}));
  const uint8_t b[3] = {200, 100, 250};
  LibVpuStatisticU8(b, 3);
  EXPECT_EQ(Take(), (Snapshot{550, 100, 250, (void*)&b[1], (void*)&b[2]}));
}

TEST(VpuQsub, WrapsAndPointsAtTheResult) {
  const int16_t a[3] = {0, 100, -32768};
  const int16_t b[3] = {1, -50, 1};
  int16_t out[3];
  EXPECT_EQ(LibVpuQsubS16(a, b, out, 1), 0u);
  EXPECT_EQ(static_cast<uint16_t>(out[0]), 65535);
  EXPECT_EQ(Take(), (Snapshot{0xFFFFFFFFu, 0xFFFF, 0xFFFF, (void*)out, (void*)out}));
  EXPECT_EQ(LibVpuQsubS16Tiny(a, b, out, 3), 0u);
  EXPECT_EQ(out[2], 32767);  // wraps, no saturation
  EXPECT_EQ(Take(), (Snapshot{static_cast<uint32_t>(-1 + 150 + 32767), 0xFFFF, 32767, (void*)out, (void*)out}));
  Poison();
  const Snapshot before = Take();
  EXPECT_EQ(LibVpuQsubS16(a, b, out, 0), 1u);
  EXPECT_EQ(Take(), before);
}

// Which statistics an element-wise member leaves: none, the sum only, or all five.
enum class Writes { kNone, kSum, kAll };

TEST(VpuElementWise, ResultsAndTheirStatistics) {
  const uint16_t ua[3] = {10, 65535, 300};
  const uint16_t ub[3] = {20, 1, 300};
  const int16_t sa[3] = {10, -32768, 300};
  const int16_t sb[3] = {20, 1, -300};
  uint16_t uo[3];
  int16_t so[3];
  uint8_t bo[3];
  const uint8_t b8a[3] = {0xF0, 0x0F, 0xFF};
  const uint8_t b8b[3] = {0x3C, 0x3C, 0x00};
  struct Case {
    const char* name;
    std::function<uint32_t(uint16_t)> call;
    std::function<std::vector<int>()> out;
    std::vector<int> expected;
    Writes writes;
    int min = 0, max = 0;  // when all are written (as stored, 16-bit)
  };
  const auto u = [&] { return std::vector<int>(uo, uo + 3); };
  const auto s = [&] { return std::vector<int>(so, so + 3); };
  const auto b = [&] { return std::vector<int>(bo, bo + 3); };
  const std::vector<Case> cases = {
      {"AddU16", [&](uint16_t n) { return LibVpuAddU16(ua, ub, uo, n); }, u, {30, 0, 600}, Writes::kSum},
      {"AddS16", [&](uint16_t n) { return LibVpuAddS16(sa, sb, so, n); }, s, {30, -32767, 0}, Writes::kSum},
      {"AddConstU16", [&](uint16_t n) { return LibVpuAddConstU16(ua, 5, uo, n); }, u, {15, 4, 305}, Writes::kAll, 4, 305},
      {"AddConstS16", [&](uint16_t n) { return LibVpuAddConstS16(sa, -5, so, n); }, s, {5, 32763, 295}, Writes::kSum},
      {"SubU16", [&](uint16_t n) { return LibVpuSubU16(ua, ub, uo, n); }, u, {65526, 65534, 0}, Writes::kSum},
      {"SubS16", [&](uint16_t n) { return LibVpuSubS16(sa, sb, so, n); }, s, {-10, 32767, 600}, Writes::kSum},
      {"SubConstU16", [&](uint16_t n) { return LibVpuSubConstU16(ua, 20, uo, n); }, u, {65526, 65515, 280}, Writes::kSum},
      {"SubConstS16", [&](uint16_t n) { return LibVpuSubConstS16(sa, 20, so, n); }, s, {-10, 32748, 280}, Writes::kAll,
       -10, 32748},
      {"QaddU16", [&](uint16_t n) { return LibVpuQaddU16(ua, ub, uo, n); }, u, {30, 0, 600}, Writes::kAll, 0, 600},
      {"QaddS16", [&](uint16_t n) { return LibVpuQaddS16(sa, sb, so, n); }, s, {30, -32767, 0}, Writes::kSum},
      {"QaddConstU16", [&](uint16_t n) { return LibVpuQaddConstU16(ua, 1, uo, n); }, u, {11, 0, 301}, Writes::kAll, 0, 301},
      {"QsubU16", [&](uint16_t n) { return LibVpuQsubU16(ua, ub, uo, n); }, u, {65526, 65534, 0}, Writes::kSum},
      {"QsubConstS16", [&](uint16_t n) { return LibVpuQsubConstS16(sa, 1, so, n); }, s, {9, 32767, 299}, Writes::kSum},
      {"AndU16", [&](uint16_t n) { return LibVpuAndU16(ua, ub, uo, n); }, u, {0, 1, 300}, Writes::kAll, 0, 300},
      {"OrU16", [&](uint16_t n) { return LibVpuOrU16(ua, ub, uo, n); }, u, {30, 65535, 300}, Writes::kAll, 30, 65535},
      {"AndConstU16", [&](uint16_t n) { return LibVpuAndConstU16(ua, 0xFF, uo, n); }, u, {10, 255, 44}, Writes::kAll, 10,
       255},
      {"OrConstU16", [&](uint16_t n) { return LibVpuOrConstU16(ua, 1, uo, n); }, u, {11, 65535, 301}, Writes::kAll, 11,
       65535},
      {"AndU8", [&](uint16_t n) { return LibVpuAndU8(b8a, b8b, bo, n); }, b, {0x30, 0x0C, 0}, Writes::kAll, 0, 0x30},
      {"OrU8", [&](uint16_t n) { return LibVpuOrU8(b8a, b8b, bo, n); }, b, {0xFC, 0x3F, 0xFF}, Writes::kAll, 0x3F, 0xFF},
      {"XorU8", [&](uint16_t n) { return LibVpuXorU8(b8a, b8b, bo, n); }, b, {0xCC, 0x33, 0xFF}, Writes::kAll, 0x33, 0xFF},
      {"AndConstU8", [&](uint16_t n) { return LibVpuAndConstU8(b8a, 0x18, bo, n); }, b, {0x10, 0x08, 0x18}, Writes::kAll,
       0x08, 0x18},
      {"OrConstU8", [&](uint16_t n) { return LibVpuOrConstU8(b8a, 0x01, bo, n); }, b, {0xF1, 0x0F, 0xFF}, Writes::kAll,
       0x0F, 0xFF},
      {"EqU16", [&](uint16_t n) { return LibVpuEqU16(ua, ub, bo, n); }, b, {0, 0, 1}, Writes::kNone},
      {"EqConstU16", [&](uint16_t n) { return LibVpuEqConstU16(ua, 10, bo, n); }, b, {1, 0, 0}, Writes::kNone},
      {"GtU16", [&](uint16_t n) { return LibVpuGtU16(ua, ub, bo, n); }, b, {0, 1, 0}, Writes::kNone},
      {"GtS16", [&](uint16_t n) { return LibVpuGtS16(sa, sb, bo, n); }, b, {0, 0, 1}, Writes::kNone},
      {"GtConstU16", [&](uint16_t n) { return LibVpuGtConstU16(ua, 10, bo, n); }, b, {0, 1, 1}, Writes::kNone},
      {"GtConstS16", [&](uint16_t n) { return LibVpuGtConstS16(sa, 9, bo, n); }, b, {1, 0, 1}, Writes::kSum},
      {"RightShiftU16", [&](uint16_t n) { return LibVpuRightShiftU16(ua, 2, uo, n); }, u, {2, 16383, 75}, Writes::kNone},
      {"RightShiftS16", [&](uint16_t n) { return LibVpuRightShiftS16(sa, 2, so, n); }, s, {2, -8192, 75}, Writes::kNone},
      {"U16ToU8", [&](uint16_t n) { return LibVpuU16ToU8(ua, bo, n); }, b, {10, 255, 255}, Writes::kNone},
      {"S16ToU8", [&](uint16_t n) { return LibVpuS16ToU8(sa, bo, n); }, b, {10, 0, 255}, Writes::kNone},
      {"S16ToU16", [&](uint16_t n) { return LibVpuS16ToU16(sa, uo, n); }, u, {10, 0, 300}, Writes::kNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Poison();
    const Snapshot poisoned = Take();
    EXPECT_EQ(c.call(0), 1u);
    EXPECT_EQ(Take(), poisoned);
    EXPECT_EQ(c.call(3), 0u);
    const std::vector<int> got = c.out();
    EXPECT_EQ(got, c.expected);
    const Snapshot after = Take();
    int sum = 0;
    for (int v : got) sum += v;
    switch (c.writes) {
      case Writes::kNone:
        EXPECT_EQ(after, poisoned);
        break;
      case Writes::kSum:
        EXPECT_EQ(after.acc, static_cast<uint32_t>(sum));
        EXPECT_EQ(after.min, poisoned.min);
        EXPECT_EQ(after.maxAt, poisoned.maxAt);
        break;
      case Writes::kAll:
        EXPECT_EQ(after.acc, static_cast<uint32_t>(sum));
        EXPECT_EQ(after.min, static_cast<uint16_t>(c.min));
        EXPECT_EQ(after.max, static_cast<uint16_t>(c.max));
        EXPECT_NE(after.minAt, poisoned.minAt);
        break;
    }
  }
}

int gDoneCalls;
void CountDone() { ++gDoneCalls; }

TEST(VpuElementWise, SaturatingMembersReportClamping) {
  const int16_t a[3] = {32000, -32000, 5};
  int16_t out[3];
  gDoneCalls = 0;
  EXPECT_EQ(LibVpuQaddConstS16(a, 1000, out, 3, CountDone), 3u);
  EXPECT_EQ(std::vector<int16_t>(out, out + 3), (std::vector<int16_t>{32767, -31000, 1005}));
  EXPECT_EQ(gDoneCalls, 1);
  EXPECT_EQ(Take(), (Snapshot{static_cast<uint32_t>(32767 - 31000 + 1005), static_cast<uint16_t>(-31000), 32767,
                              (void*)&out[1], (void*)&out[0]}));
  EXPECT_EQ(LibVpuQaddConstS16(a, -32000, out, 3), 3u);
  EXPECT_EQ(out[1], -32768);
  EXPECT_EQ(LibVpuQaddConstS16(a, 1, out, 3), 0u);

  const uint16_t ua[3] = {0, 65535, 100};
  EXPECT_EQ(LibVpuQsubConstU16(ua, 100, out, 3, CountDone), 3u);
  EXPECT_EQ(std::vector<int16_t>(out, out + 3), (std::vector<int16_t>{-100, 32767, 0}));
  EXPECT_EQ(gDoneCalls, 2);
  EXPECT_EQ(static_cast<int16_t>(LibVpuGetMinData()), -100);
  EXPECT_EQ(LibVpuQsubConstU16(ua, 0, out, 1), 0u);
}

TEST(VpuElementWise, MultiplyAccumulateSearchSelect) {
  const uint16_t ua[4] = {3, 65535, 7, 9};
  const uint16_t ub[4] = {4, 65535, 7, 1};
  uint32_t uacc[4] = {1, 1, 1, 1};
  EXPECT_EQ(LibVpuMacU16(ua, ub, uacc, 4), 0u);
  EXPECT_EQ(std::vector<uint32_t>(uacc, uacc + 4), (std::vector<uint32_t>{13, 65535u * 65535u + 1, 50, 10}));
  const int16_t sa[2] = {-300, 200};
  int32_t sout[2];
  LibVpuMulConstS16(sa, -300, sout, 2);
  EXPECT_EQ(sout[0], 90000);
  EXPECT_EQ(sout[1], -60000);
  LibVpuMacConstS16(sa, 2, sout, 2);
  EXPECT_EQ(sout[0], 89400);

  uintptr_t at = 0;
  LibVpuSrchEqU16(ua, ub, &at, 4);
  EXPECT_EQ(at, reinterpret_cast<uintptr_t>(&ua[1]));
  LibVpuSrchGtConstU16(ua, 65535, &at, 4);
  EXPECT_EQ(at, reinterpret_cast<uintptr_t>(ua + 4));  // none: just past the end
  gDoneCalls = 0;
  LibVpuSrchGtU16(ua, ub, &at, 4, CountDone);
  EXPECT_EQ(at, reinterpret_cast<uintptr_t>(&ua[3]));
  EXPECT_EQ(gDoneCalls, 1);

  const uint8_t flags[4] = {0, 3, 0, 1};
  uint16_t list[4] = {};
  EXPECT_EQ(LibVpuListNzU16(ua, flags, list, 4), 0u);
  EXPECT_EQ(list[0], 65535);
  EXPECT_EQ(list[1], 9);
  EXPECT_EQ(Take(), (Snapshot{65544, 9, 65535, (void*)&list[1], (void*)&list[0]}));
  uint16_t kept[4] = {100, 100, 100, 100};
  LibVpuIfZU16(ua, flags, kept, 4);
  EXPECT_EQ(std::vector<uint16_t>(kept, kept + 4), (std::vector<uint16_t>{3, 100, 7, 100}));
  EXPECT_EQ(LibVpuGetAcc(), 210u);
  EXPECT_EQ(LibVpuGetMinData(), 3);
}

TEST(Vpu2, MaxMinWritesValuesAndTruncatedAddresses) {
  const uint16_t u[5] = {4, 9, 1, 9, 1};
  uint16_t out[4];
  EXPECT_EQ(LibVpu2MaxMinU16(u, 5, out), 0u);
  EXPECT_EQ(out[0], 9);
  EXPECT_EQ(out[1], static_cast<uint16_t>(reinterpret_cast<uintptr_t>(&u[1])));
  EXPECT_EQ(out[2], 1);
  EXPECT_EQ(out[3], static_cast<uint16_t>(reinterpret_cast<uintptr_t>(&u[2])));
  const int32_t s[3] = {INT32_MIN, -5, INT32_MIN};
  int32_t sout[4];
  LibVpu2MaxMinS32(s, 3, sout);
  EXPECT_EQ(sout[0], -5);
  EXPECT_EQ(sout[2], INT32_MIN);
  EXPECT_EQ(sout[3], static_cast<int32_t>(reinterpret_cast<uintptr_t>(&s[0])));
  EXPECT_EQ(LibVpu2MaxMinU16(u, 0, out), 1u);
}

TEST(Vpu2, SumsMeansAndSubtractions) {
  const int16_t s[3] = {-3, -4, 1};
  uint32_t sum = 0;
  EXPECT_EQ(LibVpu2SumS16(s, 3, &sum), 0u);
  EXPECT_EQ(sum, static_cast<uint32_t>(-6));
  int16_t ave = 0;
  LibVpu2AveS16(s, 2, &ave);
  EXPECT_EQ(ave, -3);  // truncates towards zero
  const uint32_t u[2] = {0xFFFFFFFFu, 3};
  uint32_t uave = 0;
  LibVpu2AveU32(u, 2, &uave);
  EXPECT_EQ(uave, 1u);  // the 32-bit sum wraps to 2
  EXPECT_EQ(LibVpu2SumU16(nullptr, 0, &sum), 1u);

  uint16_t d[2];
  const uint16_t a[2] = {5, 0};
  LibVpu2SubConstU16(a, 6, d, 2);
  EXPECT_EQ(d[0], 65535);
  EXPECT_EQ(d[1], 65530);

  // 32-bit elements 8 bytes apart in, 12 bytes apart out.
  uint8_t in[16] = {};
  uint8_t out[24] = {};
  const int32_t values[2] = {100, -7};
  memcpy(in, &values[0], 4);
  memcpy(in + 8, &values[1], 4);
  EXPECT_EQ(LibVpu2SubConstOffsetS32(in, 10, out, 2, 4, 8), 0u);
  int32_t got[2];
  memcpy(&got[0], out, 4);
  memcpy(&got[1], out + 12, 4);
  EXPECT_EQ(got[0], 90);
  EXPECT_EQ(got[1], -17);
}

TEST(Vpu2, GathersAndLists) {
  // Elements 6 bytes apart (gap 2), gathered into a packed vector.
  uint16_t rec[9] = {1, 0xAAAA, 0xAAAA, 2, 0xAAAA, 0xAAAA, 3, 0xAAAA, 0xAAAA};
  uint16_t packed[3];
  LibVpu2CopyOffsetU16(rec, packed, 3, 2);
  EXPECT_EQ(std::vector<uint16_t>(packed, packed + 3), (std::vector<uint16_t>{1, 2, 3}));
  // Within one buffer, destination above the source: the backward walk reads each element
  // before it is overwritten.
  uint16_t buf[12] = {10, 0, 11, 0, 12, 0, 13, 0, 0, 0, 0, 0};
  LibVpu2CopyOffsetU16(buf, buf + 3, 4, 0);
  EXPECT_EQ(std::vector<uint16_t>(buf + 3, buf + 7), (std::vector<uint16_t>{10, 11, 12, 13}));

  const int32_t v[4] = {5, -6, 7, -8};
  const uint8_t flags[4] = {1, 0, 1, 2};
  int32_t list[8] = {};
  uint16_t count = 2;  // appends after what is there
  LibVpu2ListZeroS32(v, flags, list, &count, 4);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(list[2], -6);
  uint16_t ulist[4] = {};
  const uint16_t uv[4] = {5, 6, 7, 8};
  uint16_t ucount = 0;
  LibVpu2ListOneU16(uv, flags, ulist, &ucount, 4);
  EXPECT_EQ(ucount, 2);
  EXPECT_EQ(ulist[0], 5);
  EXPECT_EQ(ulist[1], 7);
}

TEST(LibMem, CopyFillSum) {
  uint8_t bytes[300];
  EXPECT_EQ(LibMemSetU8(bytes, 255, 300), bytes);
  EXPECT_EQ(LibMemSumU8(bytes, 300), static_cast<uint16_t>(300 * 255));  // modulo 65536
  uint32_t words[3];
  EXPECT_EQ(LibMemSetU32Tiny(words, 0x80000000u, 3), words);
  EXPECT_EQ(LibMemSumU32(words, 3), 0x80000000u);
  uint16_t src[3] = {1, 2, 3};
  uint16_t dst[3] = {};
  LibMemCpyU16(dst, src, 3);
  EXPECT_EQ(LibMemSumU16Tiny(dst, 3), 6u);
  EXPECT_EQ(LibMemSumU16(dst, 0), 0u);
}

TEST(LibCheckSum, EmptyRecordSumsToZeroWhateverTheStatisticsHold) {
  // A checksum taken over a record with no words must be 0, not the sum some earlier
  // statistics call left in the shared record.
  const uint16_t words[2] = {0x1234, 0x0F00};
  LibVpuStatisticU16(words, 2);
  ASSERT_EQ(LibVpuGetAcc(), 0x2134u);
  EXPECT_EQ(LibCheckSumU16(words, 0), 0u);
  EXPECT_EQ(LibCheckSumU16(words, 2), 0x2134u);
}

}  // namespace
