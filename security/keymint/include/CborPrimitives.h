#pragma once
// Exported helpers for walking CBOR messages item by item with a sticky error, and for
// opening containers in an encoder.
#include <cbor/cbor.h>

#include <cstdint>

#include "vendor_export.h"

// The caller owns the record and the decoder it points to.
struct CborReader {
  vcbor::Decoder* ctx;  // initialised by the caller on the message
  vcbor::Item item;     // the container an enter function entered (its count is here)
  int32_t error;        // 0 while all reads succeed; the first failure's code after that
  uint8_t reserved[12];
};

VENDOR_EXPORT bool CR_ARRAY_ENTER(CborReader* reader);
VENDOR_EXPORT bool CR_ARRAY_LABEL_ENTER(CborReader* reader, uint64_t label);
VENDOR_EXPORT bool CR_MAP_ENTER(CborReader* reader);
VENDOR_EXPORT bool CR_MAP_LABEL_ENTER(CborReader* reader, uint64_t label);

VENDOR_EXPORT void CRGetBool(CborReader* reader, uint8_t* out);
VENDOR_EXPORT void CRGetBoolFromMapWithUint64Label(CborReader* reader, uint64_t label, uint8_t* out);
VENDOR_EXPORT void CRGetBoolFromMapWithStringLabel(CborReader* reader, const char* label, uint8_t* out);
VENDOR_EXPORT void CRGetUint64(CborReader* reader, uint64_t* out);
VENDOR_EXPORT void CRGetUint64FromMapWithUint64Label(CborReader* reader, uint64_t label, uint64_t* out);
VENDOR_EXPORT void CRGetUint64FromMapWithStringLabel(CborReader* reader, const char* label, uint64_t* out);
VENDOR_EXPORT void CRGetInt64(CborReader* reader, int64_t* out);
VENDOR_EXPORT void CRGetInt64FromMapWithUint64Label(CborReader* reader, uint64_t label, int64_t* out);
VENDOR_EXPORT void CRGetInt64FromMapWithStringLabel(CborReader* reader, const char* label, int64_t* out);
VENDOR_EXPORT void CRGetUint32(CborReader* reader, uint32_t* out);
VENDOR_EXPORT void CRGetUint32FromMapWithUint64Label(CborReader* reader, uint64_t label, uint32_t* out);
VENDOR_EXPORT void CRGetUint32FromMapWithStringLabel(CborReader* reader, const char* label, uint32_t* out);
VENDOR_EXPORT void CRGetInt32(CborReader* reader, int32_t* out);
VENDOR_EXPORT void CRGetInt32FromMapWithUint64Label(CborReader* reader, uint64_t label, int32_t* out);
VENDOR_EXPORT void CRGetInt32FromMapWithStringLabel(CborReader* reader, const char* label, int32_t* out);
VENDOR_EXPORT void CRGetBytesOrString(CborReader* reader, uint8_t type, UsefulBufC* out);
VENDOR_EXPORT void CRGetBytesOrStringFromMapWithUint64Label(CborReader* reader, uint64_t label,
                                                            uint8_t type, UsefulBufC* out);
VENDOR_EXPORT void CRGetBytesOrStringFromMapWithStringLabel(CborReader* reader, const char* label,
                                                            uint8_t type, UsefulBufC* out);
VENDOR_EXPORT void CRGetUint8(CborReader* reader, uint8_t* out);
VENDOR_EXPORT void CRGetUint8FromMapWithUint64Label(CborReader* reader, uint64_t label, uint8_t* out);
VENDOR_EXPORT void CRGetUint8FromMapWithStringLabel(CborReader* reader, const char* label, uint8_t* out);

VENDOR_EXPORT bool CW_ARRAY_ENTER(vcbor::Encoder* enc);
VENDOR_EXPORT bool CW_ARRAY_LABEL_ENTER(vcbor::Encoder* enc, int64_t label);
VENDOR_EXPORT bool CW_MAP_ENTER(vcbor::Encoder* enc);
VENDOR_EXPORT bool CW_MAP_LABEL_ENTER(vcbor::Encoder* enc, int64_t label);
