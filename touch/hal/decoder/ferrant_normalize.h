#pragma once
// Ferrant first generation: the per-frequency normalisation table from the CSV files under
// /odm/firmware or /vendor/firmware (chosen by the panel's lockdown information).
#include <stddef.h>
#include <stdint.h>

#include <string>

namespace hal_decoder {

// Parses the CSV text into a zero-filled table of freqs x columns x rows values
// (frequency-major), allocated with malloc (its new owner frees it). Missing labels or
// short rows leave their blocks at zero and are logged. `source` names the file in logs.
int32_t *parse_normalize_table(const std::string &text, const char *source, uint8_t freqs, uint8_t columns,
                               uint8_t rows);

// Reads the lockdown node, picks and reads the CSV file (empty text when none opens) and
// hands the parsed table with its size in bytes to `deliver`. False when no table could be
// allocated.
bool load_normalize_table(uint8_t freqs, uint8_t columns, uint8_t rows,
                          void (*deliver)(int32_t *table, uint32_t size_bytes));

}  // namespace hal_decoder
