#pragma once
// Shared body of the decoder fuzz entry points: every input is one driver slot, decoded by
// the family's tables over records prepared with a small fixed panel (the seed corpora
// are built for the same panel by hal_decoder_corpus).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "frame_decoder.h"

namespace decoder_fuzz {

// 4 x 3 panel, 12 mutual, 7 self and 8 extra nodes, three frequencies; normalisation,
// dump copy and stylus buffers on so that every path of the decoders is reachable.
inline DecoderConfig fuzz_config() {
  DecoderConfig c{};
  decoder_config_defaults(&c);
  c.columns = 4;
  c.rows = 3;
  c.node_count = 12;
  c.snode_count = 7;
  c.nnode_count = 8;
  c.scan_freq_num = 3;
  c.kb_raw_normalize = 1;
  c.save_tic_dump = 1;
  c.stylus_en = 1;
  c.stylus_col1 = 2;
  c.stylus_row1 = 3;
  c.stylus_col2 = 4;
  c.stylus_row2 = 1;
  return c;
}

// Decodes the input twice (repeat-frame paths) with each table; the slot is copied to a
// buffer of exactly its size so that any read past it is caught.
inline int decode_with(const device_operation *const *tables, size_t count, const uint8_t *data, size_t size) {
  const DecoderConfig config = fuzz_config();
  std::vector<uint8_t> slot(data, data + size);
  for (size_t t = 0; t < count; ++t) {
    std::vector<DecodedFrame> records(2);
    if (tables[t]->init(records.data(), &config, 2) != 0) continue;
    PanelGeometry geometry{};
    decoder_geometry_from_config(&config, &geometry);
    for (int pass = 0; pass < 2; ++pass)
      tables[t]->decode(&records[static_cast<size_t>(pass)], slot.empty() ? nullptr : slot.data(),
                        static_cast<uint32_t>(slot.size()), &geometry);
    tables[t]->release(records.data(), 2);
  }
  return 0;
}

}  // namespace decoder_fuzz
