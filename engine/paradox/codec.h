// Field values to and from their record bytes (big-endian, order-preserving, all zero = null).
#pragma once

#include <cstdint>
#include <string>

#include "engine/types.h"
#include "engine/value.h"

namespace tablorix::paradox {

constexpr int kBcdLength = 17;

// Bytes the field occupies in a record; 0 when the descriptor is not valid.
int FieldLength(uint8_t type, uint8_t size);
bool IsBlobType(uint8_t type);
TFieldType MapFieldType(uint8_t type);
const char* FieldCodeName(uint8_t type);  // "Alpha", "Date" ... "Bytes"; "Unknown"

// Raw decoders: false when the stored value is null.
bool DecodeInt16(const uint8_t* p, int16_t* out);
bool DecodeInt32(const uint8_t* p, int32_t* out);
bool DecodeDouble(const uint8_t* p, double* out);
bool DecodeLogical(const uint8_t* p, bool* out);
// BCD: `text` gets the decimal digits up to the first nibble that is no digit ("-12.30").
bool DecodeBcdText(const uint8_t* p, int decimals, std::string* text);
bool DecodeBcd(const uint8_t* p, int decimals, double* out);

void EncodeInt16(int16_t v, uint8_t* p);
void EncodeInt32(int32_t v, uint8_t* p);
void EncodeDouble(double v, uint8_t* p);
void EncodeLogical(bool v, uint8_t* p);
// Throws EngineError when the value does not fit into 32 digits with these decimals.
void EncodeBcd(double v, int decimals, uint8_t* p);

// A whole non-blob field. Text stays in the table's code page; Alpha ends at its first NUL.
// Blob fields are not decoded here (see BlobReader).
Value DecodeField(uint8_t type, uint8_t size, const uint8_t* p);
// Writes FieldLength(type, size) bytes; a null value writes zeros. Throws EngineError when the
// value cannot be stored in the field (wrong kind, out of range, text too long).
void EncodeField(uint8_t type, uint8_t size, const Value& value, uint8_t* p);

}  // namespace tablorix::paradox
