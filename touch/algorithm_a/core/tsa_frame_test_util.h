#pragma once
// Test helpers of the frame entry, module commands, state machine and packet tests: the
// request ring as bytes, a hopping table and a reset of the records these modules use.
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_debug.h"
#include "tsa_frame_links.h"

namespace frame_test {

// The queued requests' bytes, one vector of 40 bytes per request.
inline std::vector<std::vector<uint8_t>> QueuedRequests() {
  std::vector<std::vector<uint8_t>> v;
  for (uint32_t i = 0; i < tsa_request_num && i < TSA_REQUEST_MAX; ++i) {
    const uint8_t* p = &tsa_request_ring[i * TSA_REQUEST_BYTES];
    v.emplace_back(p, p + TSA_REQUEST_BYTES);
  }
  return v;
}

// The packet bytes of a queued request: type, length, then the packet from byte 6 with
// its checksum (length - 6 + 6 bytes).
inline std::vector<uint8_t> RequestHead(const std::vector<uint8_t>& r) {
  const uint16_t uwLen = static_cast<uint16_t>(r[4] | (r[5] << 8));
  return std::vector<uint8_t>(r.begin(), r.begin() + 6 + (uwLen > 34 ? 34 : uwLen));
}

// A hopping table of the given frequencies (option byte 0xAB for every one, second value
// 100 + index).
inline void SetFreqTable(const std::vector<uint16_t>& freqs) {
  memset(&gstFreqHopCfg, 0, sizeof(gstFreqHopCfg));
  gstFreqHopCfg.aubData[1] = static_cast<uint8_t>(freqs.size());
  for (size_t i = 0; i < freqs.size(); ++i) {
    gstFreqHopCfg.aubData[2 + 2 * i] = static_cast<uint8_t>(freqs[i] & 0xFF);
    gstFreqHopCfg.aubData[3 + 2 * i] = static_cast<uint8_t>(freqs[i] >> 8);
    gstFreqHopCfg.aubData[34 + i] = 0xAB;
    gstFreqHopCfg.aubData[42 + 2 * i] = static_cast<uint8_t>(100 + i);
    gstFreqHopCfg.aubData[43 + 2 * i] = 0;
  }
}

// A cleared common record for a small panel whose maps live in the test's own arrays,
// with a two-frequency hopping table; the first frame index after it is 2.
inline void BindSmallPanel(uint8_t ubDrv, uint8_t ubSen, uint16_t* puwRaw, uint16_t* puwRef,
                           int16_t* pswDiff, uint16_t* puwSelfRaw, uint16_t* puwIm) {
  memset(&gstCommon, 0, sizeof(gstCommon));
  gstCommon.ubDrvNum = ubDrv;
  gstCommon.ubSenNum = ubSen;
  gstCommon.uwNodeNum = static_cast<uint16_t>(ubDrv * ubSen);
  gstCommon.uwLastFrameIndex = 1;
  gstCommon.stData.puwRawData = puwRaw;
  gstCommon.stData.puwRefData = puwRef;
  gstCommon.stData.pswDiffData = pswDiff;
  gstCommon.stData.puwSelfRawData = puwSelfRaw;
  gstCommon.puwImNoiseData = puwIm;
  SetFreqTable({1000, 2000});
  memset(&gstFreqHop, 0, sizeof(gstFreqHop));
}

}  // namespace frame_test
