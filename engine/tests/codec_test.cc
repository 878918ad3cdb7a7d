// Field codecs both ways: known bytes from real files and from an independent writer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/paradox/codec.h"
#include "engine/paradox/crypt.h"
#include "engine/paradox/format.h"

using namespace tablorix;
using namespace tablorix::paradox;

namespace {

std::vector<uint8_t> Hex(const std::string& s) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(uint8_t(std::stoi(s.substr(i, 2), nullptr, 16)));
    i += 2;
  }
  return out;
}

struct Case {
  uint8_t type;
  uint8_t size;
  Value value;
  std::string bytes;  // hex
};

std::string Z(int n) { return std::string(size_t(n) * 2, '0'); }

const Case kCases[] = {
    {kShort, 2, Value::Int(1), "8001"},
    {kShort, 2, Value::Int(-1), "7fff"},
    {kShort, 2, Value::Int(2017), "87e1"},
    {kShort, 2, Value::Int(-16295), "4059"},
    {kShort, 2, Value::Int(0), "8000"},
    {kShort, 2, Value::Int(32767), "ffff"},
    {kShort, 2, Value::Null(), "0000"},
    {kLong, 4, Value::Int(256), "80000100"},
    {kLong, 4, Value::Int(-256), "7fffff00"},
    {kLong, 4, Value::Int(-2), "7ffffffe"},
    {kLong, 4, Value::Int(-2147483647), "00000001"},
    {kAutoInc, 4, Value::Int(1), "80000001"},
    {kNumber, 8, Value::Double(100.5), "c059200000000000"},
    {kNumber, 8, Value::Double(-40), "3fbbffffffffffff"},
    {kNumber, 8, Value::Double(0.0), "8000000000000000"},
    {kNumber, 8, Value::Double(-1.0), "400fffffffffffff"},
    {kNumber, 8, Value::Null(), "0000000000000000"},
    {kCurrency, 8, Value::Double(12.34), "c028ae147ae147ae"},
    {kCurrency, 8, Value::Double(-12.34), "3fd751eb851eb851"},
    {kLogical, 1, Value::Bool(false), "80"},
    {kLogical, 1, Value::Bool(true), "81"},
    {kLogical, 1, Value::Null(), "00"},
    {kDate, 4, Value::Date(DayNumberFromCivil(2018, 1, 1)), "800b3db7"},
    {kDate, 4, Value::Date(DayNumberFromCivil(1996, 5, 4)), "800b1ecf"},
    {kDate, 4, Value::Date(DayNumberFromCivil(2024, 2, 29)), "800b4681"},
    {kDate, 4, Value::Date(DayNumberFromCivil(1, 1, 1)), "80000001"},
    {kDate, 4, Value::Date(-366), "7ffffe92"},
    {kDate, 4, Value::Null(), "00000000"},
    {kTime, 4, Value::Time(36000000), "82255100"},
    {kTime, 4, Value::Time(3601000), "8036f268"},
    {kTime, 4, Value::Time((13 * 3600 + 14 * 60 + 15) * 1000 + 16), "82d72868"},
    {kTime, 4, Value::Time(0), "80000000"},
    {kTimestamp, 8, Value::DateTime(63716202001000.0), "c2ccf98acb193400"},
    {kTimestamp, 8, Value::DateTime(-1.0), "400fffffffffffff"},
    {kTimestamp, 8, Value::Null(), "0000000000000000"},
    {kBcd, 2, Value::Double(1.23), "c2" + Z(14) + "0123"},
    {kBcd, 2, Value::Double(-1.23), "42" + std::string(28, 'f') + "fedc"},
    {kBcd, 0, Value::Double(1), "c0" + Z(15) + "01"},
    {kBcd, 0, Value::Double(-1), "40" + std::string(30, 'f') + "fe"},
    {kBcd, 2, Value::Double(123.45), "c2" + Z(13) + "012345"},
    {kBcd, 2, Value::Double(0), "c2" + Z(16)},
    {kBcd, 0, Value::Null(), Z(17)},
    {kAlpha, 5, Value::Text("abc"), "6162630000"},
    {kAlpha, 3, Value::Text("xyz"), "78797a"},
    {kAlpha, 3, Value::Null(), "000000"},
    {kBytes, 4, Value::Bytes(std::string("\x01\x00\x02\x00", 4)), "01000200"},
    {kBytes, 2, Value::Null(), "0000"},
};

TEST(Codec, DecodesAndEncodesKnownBytes) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(FieldCodeName(c.type)) + " " + c.bytes);
    std::vector<uint8_t> bytes = Hex(c.bytes);
    ASSERT_EQ(int(bytes.size()), FieldLength(c.type, c.size));
    Value decoded = DecodeField(c.type, c.size, bytes.data());
    if (c.value.kind() == Value::Kind::kDouble)
      EXPECT_DOUBLE_EQ(decoded.as_double(), c.value.as_double());
    else
      EXPECT_EQ(decoded, c.value);
    std::vector<uint8_t> encoded(bytes.size(), 0xAA);
    EncodeField(c.type, c.size, c.value, encoded.data());
    EXPECT_EQ(encoded, bytes);
  }
}

TEST(Codec, BcdFromDoubleConversionsStopAtJunkNibbles) {
  // Written by another engine from the double 0.123: junk nibbles after ~19 digits.
  auto b = Hex("e0 12 29 99 99 99 99 99 99 98 0b 00 e0 00 00 bf 4a");
  std::string text;
  ASSERT_TRUE(DecodeBcdText(b.data(), 32, &text));
  EXPECT_EQ(text.substr(0, 21), "0.1229999999999999980");
  double v;
  ASSERT_TRUE(DecodeBcd(b.data(), 32, &v));
  EXPECT_NEAR(v, 0.123, 1e-12);
  // Bit 6 clear is null even when other bits are set.
  auto null_variant = Hex("06" + Z(16));
  EXPECT_TRUE(DecodeField(kBcd, 6, null_variant.data()).is_null());
}

TEST(Codec, RefusesValuesTheFieldCannotHold) {
  uint8_t buf[32];
  EXPECT_THROW(EncodeField(kShort, 2, Value::Int(-32768), buf), EngineError);  // would be null
  EXPECT_THROW(EncodeField(kShort, 2, Value::Int(40000), buf), EngineError);
  EXPECT_THROW(EncodeField(kLong, 4, Value::Double(1.5), buf), EngineError);
  EXPECT_THROW(EncodeField(kAlpha, 3, Value::Text("abcd"), buf), EngineError);
  EXPECT_THROW(EncodeField(kBcd, 30, Value::Double(12345.0), buf), EngineError);
  EXPECT_THROW(EncodeField(kTime, 4, Value::Time(86400000), buf), EngineError);
  EXPECT_THROW(EncodeField(kDate, 4, Value::Text("2020-01-01"), buf), EngineError);
}

TEST(Codec, StoredNumbersCompareInNumericOrder) {
  const double values[] = {-1e300, -40, -1, -0.5, 0, 1e-300, 0.5, 1, 100.5, 1e300};
  std::vector<std::vector<uint8_t>> enc;
  for (double v : values) {
    std::vector<uint8_t> b(8);
    EncodeDouble(v, b.data());
    enc.push_back(b);
  }
  for (size_t i = 1; i < enc.size(); ++i) EXPECT_LT(enc[i - 1], enc[i]) << values[i];
}

TEST(Calendar, DayNumbersRoundTrip) {
  for (int32_t d : {-800000, -366, 0, 1, 2, 59, 60, 736695, 738945, 3652059}) {
    CivilDate c = CivilFromDayNumber(d);
    EXPECT_EQ(DayNumberFromCivil(c.year, c.month, c.day), d);
  }
  CivilDate c = CivilFromDayNumber(1);
  EXPECT_EQ(c.year, 1);
  EXPECT_EQ(c.month, 1);
  EXPECT_EQ(c.day, 1);
  EXPECT_EQ(DayNumberFromCivil(2018, 1, 1), 736695);
}

TEST(Crypt, ChunkTransformIsInvertible) {
  uint8_t block[2048], copy[2048];
  for (int i = 0; i < 2048; ++i) block[i] = uint8_t(i * 7 + 3);
  std::memcpy(copy, block, sizeof block);
  EncryptBlock(block, sizeof block, 0x0A25E09A, 5);
  EXPECT_NE(0, std::memcmp(block, copy, sizeof block));
  DecryptBlock(block, sizeof block, 0x0A25E09A, 5);
  EXPECT_EQ(0, std::memcmp(block, copy, sizeof block));
}

}  // namespace
