// Field codecs. Numbers are stored big-endian with the sign bit flipped so that bytes compare in
// numeric order and all-zero bytes can mean null.
#include "engine/paradox/codec.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/paradox/format.h"

namespace tablorix::paradox {

int FieldLength(uint8_t type, uint8_t size) {
  switch (type) {
    case kAlpha:
    case kBytes:
      return size >= 1 ? size : 0;
    case kDate:
    case kLong:
    case kTime:
    case kAutoInc:
      return 4;
    case kShort:
      return 2;
    case kCurrency:
    case kNumber:
    case kTimestamp:
      return 8;
    case kLogical:
      return 1;
    case kMemo:
    case kBlob:
    case kFmtMemo:
    case kOle:
    case kGraphic:
      return size >= kBlobDescriptorSize ? size : 0;
    case kBcd:
      return size <= 32 ? kBcdLength : 0;
    default:
      return 0;
  }
}

bool IsBlobType(uint8_t type) {
  return type == kMemo || type == kBlob || type == kFmtMemo || type == kOle || type == kGraphic;
}

TFieldType MapFieldType(uint8_t type) {
  switch (type) {
    case kAlpha:
      return TFieldType::ftString;
    case kDate:
      return TFieldType::ftDate;
    case kShort:
      return TFieldType::ftSmallint;
    case kLong:
      return TFieldType::ftInteger;
    case kCurrency:
      return TFieldType::ftCurrency;
    case kNumber:
      return TFieldType::ftFloat;
    case kLogical:
      return TFieldType::ftBoolean;
    case kMemo:
      return TFieldType::ftMemo;
    case kBlob:
      return TFieldType::ftBlob;
    case kFmtMemo:
      return TFieldType::ftFmtMemo;
    case kOle:
      return TFieldType::ftParadoxOle;
    case kGraphic:
      return TFieldType::ftGraphic;
    case kTime:
      return TFieldType::ftTime;
    case kTimestamp:
      return TFieldType::ftDateTime;
    case kAutoInc:
      return TFieldType::ftAutoInc;
    case kBcd:
      return TFieldType::ftFloat;  // the session runs with BCD support off
    case kBytes:
      return TFieldType::ftBytes;
    default:
      return TFieldType::ftUnknown;
  }
}

const char* FieldCodeName(uint8_t type) {
  switch (type) {
    case kAlpha:
      return "Alpha";
    case kDate:
      return "Date";
    case kShort:
      return "Short";
    case kLong:
      return "Long";
    case kCurrency:
      return "Currency";
    case kNumber:
      return "Number";
    case kLogical:
      return "Logical";
    case kMemo:
      return "Memo";
    case kBlob:
      return "Blob";
    case kFmtMemo:
      return "FmtMemo";
    case kOle:
      return "OLE";
    case kGraphic:
      return "Graphic";
    case kTime:
      return "Time";
    case kTimestamp:
      return "Timestamp";
    case kAutoInc:
      return "AutoInc";
    case kBcd:
      return "BCD";
    case kBytes:
      return "Bytes";
    default:
      return "Unknown";
  }
}

static bool AllZero(const uint8_t* p, int n) {
  for (int i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

bool DecodeInt16(const uint8_t* p, int16_t* out) {
  uint16_t u = uint16_t((p[0] << 8) | p[1]);
  if (u == 0) return false;
  *out = int16_t(u ^ 0x8000u);
  return true;
}

bool DecodeInt32(const uint8_t* p, int32_t* out) {
  uint32_t u = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  if (u == 0) return false;
  *out = int32_t(u ^ 0x80000000u);
  return true;
}

bool DecodeDouble(const uint8_t* p, double* out) {
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u = (u << 8) | p[i];
  if (u == 0) return false;
  if (u & 0x8000000000000000ull)
    u &= 0x7FFFFFFFFFFFFFFFull;
  else
    u = ~u;
  *out = std::bit_cast<double>(u);
  return true;
}

bool DecodeLogical(const uint8_t* p, bool* out) {
  if (p[0] == 0) return false;
  *out = (p[0] & 0x7F) != 0;
  return true;
}

bool DecodeBcdText(const uint8_t* p, int decimals, std::string* text) {
  if ((p[0] & 0x40) == 0) return false;  // bit 6 marks every stored value
  const bool negative = (p[0] & 0x80) == 0;
  if (decimals > 32) decimals = 32;
  char digits[33];
  int n = 0;
  for (int i = 0; i < 32; ++i) {
    int nibble = (p[1 + i / 2] >> ((i % 2) ? 0 : 4)) & 0x0F;
    if (negative) nibble = 15 - nibble;
    if (nibble > 9) break;  // engines converting from doubles leave junk past ~19 digits
    digits[n++] = char('0' + nibble);
  }
  // Digits that were cut off count as zeros.
  while (n < 32) digits[n++] = '0';
  const int int_digits = 32 - decimals;
  std::string s;
  int first = 0;
  while (first < int_digits - 1 && digits[first] == '0') ++first;
  if (int_digits == 0)
    s = "0";
  else
    s.assign(digits + first, digits + int_digits);
  if (decimals > 0) {
    s.push_back('.');
    s.append(digits + int_digits, digits + 32);
  }
  bool nonzero = false;
  for (char c : s) nonzero |= (c >= '1' && c <= '9');
  if (negative && nonzero) s.insert(s.begin(), '-');
  *text = std::move(s);
  return true;
}

bool DecodeBcd(const uint8_t* p, int decimals, double* out) {
  std::string text;
  if (!DecodeBcdText(p, decimals, &text)) return false;
  *out = std::strtod(text.c_str(), nullptr);
  return true;
}

void EncodeInt16(int16_t v, uint8_t* p) {
  uint16_t u = uint16_t(v) ^ 0x8000u;
  p[0] = uint8_t(u >> 8);
  p[1] = uint8_t(u);
}

void EncodeInt32(int32_t v, uint8_t* p) {
  uint32_t u = uint32_t(v) ^ 0x80000000u;
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (24 - 8 * i));
}

void EncodeDouble(double v, uint8_t* p) {
  uint64_t u = std::bit_cast<uint64_t>(v);
  if (u & 0x8000000000000000ull)
    u = ~u;
  else
    u |= 0x8000000000000000ull;
  for (int i = 0; i < 8; ++i) p[i] = uint8_t(u >> (56 - 8 * i));
}

void EncodeLogical(bool v, uint8_t* p) { p[0] = v ? 0x81 : 0x80; }

void EncodeBcd(double v, int decimals, uint8_t* p) {
  if (decimals < 0 || decimals > 32) throw EngineError("BCD field with more than 32 decimals");
  if (!std::isfinite(v)) throw EngineError("BCD value is not a finite number");
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, std::fabs(v));
  std::string s(buf);
  const size_t dot = s.find('.');
  std::string int_part = s.substr(0, dot);
  std::string frac_part = dot == std::string::npos ? "" : s.substr(dot + 1);
  const int int_digits = 32 - decimals;
  while (int_part.size() > 1 && int_part[0] == '0') int_part.erase(0, 1);
  if (int(int_part.size()) > int_digits && !(int_digits == 0 && int_part == "0"))
    throw EngineError("Value does not fit into the BCD field");
  std::string digits(32, '0');
  if (int_digits > 0 && int_part != "0")
    digits.replace(size_t(int_digits) - int_part.size(), int_part.size(), int_part);
  digits.replace(size_t(int_digits), frac_part.size(), frac_part);
  bool nonzero = false;
  for (char c : digits) nonzero |= c != '0';
  const bool negative = std::signbit(v) && nonzero;
  p[0] = uint8_t((negative ? 0x00 : 0x80) | 0x40 | decimals);
  for (int i = 0; i < 16; ++i) {
    int hi = digits[2 * i] - '0', lo = digits[2 * i + 1] - '0';
    uint8_t b = uint8_t((hi << 4) | lo);
    p[1 + i] = negative ? uint8_t(~b) : b;
  }
}

Value DecodeField(uint8_t type, uint8_t size, const uint8_t* p) {
  switch (type) {
    case kAlpha: {
      const void* nul = std::memchr(p, 0, size);
      size_t n = nul ? size_t(static_cast<const uint8_t*>(nul) - p) : size;
      if (n == 0) return Value::Null();
      return Value::Text(std::string(reinterpret_cast<const char*>(p), n));
    }
    case kBytes:
      if (AllZero(p, size)) return Value::Null();
      return Value::Bytes(std::string(reinterpret_cast<const char*>(p), size));
    case kShort: {
      int16_t v;
      return DecodeInt16(p, &v) ? Value::Int(v) : Value::Null();
    }
    case kLong:
    case kAutoInc: {
      int32_t v;
      return DecodeInt32(p, &v) ? Value::Int(v) : Value::Null();
    }
    case kDate: {
      int32_t v;
      return DecodeInt32(p, &v) ? Value::Date(v) : Value::Null();
    }
    case kTime: {
      int32_t v;
      return DecodeInt32(p, &v) ? Value::Time(v) : Value::Null();
    }
    case kCurrency:
    case kNumber: {
      double v;
      return DecodeDouble(p, &v) ? Value::Double(v) : Value::Null();
    }
    case kTimestamp: {
      double v;
      return DecodeDouble(p, &v) ? Value::DateTime(v) : Value::Null();
    }
    case kLogical: {
      bool v;
      return DecodeLogical(p, &v) ? Value::Bool(v) : Value::Null();
    }
    case kBcd: {
      double v;
      return DecodeBcd(p, size, &v) ? Value::Double(v) : Value::Null();
    }
    default:
      return Value::Null();
  }
}

static int64_t NeedInteger(const Value& v, int64_t lo, int64_t hi) {
  int64_t i;
  if (v.kind() == Value::Kind::kInt || v.kind() == Value::Kind::kBool) {
    i = v.as_int();
  } else if (v.kind() == Value::Kind::kDouble && std::nearbyint(v.as_double()) == v.as_double() &&
             std::fabs(v.as_double()) < 9.2e18) {
    i = int64_t(v.as_double());
  } else {
    throw EngineError("Value is not an integer");
  }
  if (i < lo || i > hi) throw EngineError("Value out of range: " + std::to_string(i));
  return i;
}

static double NeedNumber(const Value& v) {
  switch (v.kind()) {
    case Value::Kind::kInt:
    case Value::Kind::kBool:
      return double(v.as_int());
    case Value::Kind::kDouble:
    case Value::Kind::kDateTime:
      return v.as_double();
    default:
      throw EngineError("Value is not a number");
  }
}

void EncodeField(uint8_t type, uint8_t size, const Value& value, uint8_t* p) {
  const int len = FieldLength(type, size);
  if (len == 0) throw EngineError("Invalid field descriptor");
  std::memset(p, 0, size_t(len));
  if (value.is_null()) return;
  switch (type) {
    case kAlpha:
    case kBytes: {
      const std::string& s = value.as_string();
      if (value.kind() != Value::Kind::kText && value.kind() != Value::Kind::kBytes)
        throw EngineError("Value is not text");
      if (s.size() > size_t(size))
        throw EngineError("Text longer than the field (" + std::to_string(size) + ")");
      std::memcpy(p, s.data(), s.size());
      return;
    }
    case kShort:
      EncodeInt16(int16_t(NeedInteger(value, -32767, 32767)), p);
      return;
    case kLong:
    case kAutoInc:
      EncodeInt32(int32_t(NeedInteger(value, -2147483647LL, 2147483647LL)), p);
      return;
    case kDate:
      if (value.kind() != Value::Kind::kDate) throw EngineError("Value is not a date");
      EncodeInt32(int32_t(value.as_int()), p);
      return;
    case kTime:
      if (value.kind() != Value::Kind::kTime) throw EngineError("Value is not a time");
      if (value.as_int() < 0 || value.as_int() >= kMsPerDay) throw EngineError("Time out of range");
      EncodeInt32(int32_t(value.as_int()), p);
      return;
    case kTimestamp:
      if (value.kind() != Value::Kind::kDateTime) throw EngineError("Value is not a timestamp");
      EncodeDouble(value.as_double(), p);
      return;
    case kCurrency:
    case kNumber:
      EncodeDouble(NeedNumber(value), p);
      return;
    case kLogical:
      if (value.kind() != Value::Kind::kBool && value.kind() != Value::Kind::kInt)
        throw EngineError("Value is not a logical");
      EncodeLogical(value.as_int() != 0, p);
      return;
    case kBcd:
      EncodeBcd(NeedNumber(value), size, p);
      return;
    default:
      throw EngineError(std::string("Cannot store a value in a ") + FieldCodeName(type) +
                        " field here");
  }
}

}  // namespace tablorix::paradox
