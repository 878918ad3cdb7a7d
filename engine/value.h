// A field value: null, integer, double, text, date, time, date-time, boolean or bytes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace tablorix {

// Days are counted in the proleptic Gregorian calendar with 0001-01-01 as day 1.
struct CivilDate {
  int year = 1;
  int month = 1;
  int day = 1;
};
int32_t DayNumberFromCivil(int year, int month, int day);
CivilDate CivilFromDayNumber(int32_t day_number);
constexpr int64_t kMsPerDay = 86'400'000;

// ISO text of dates and times: "YYYY-MM-DD", "HH:MM:SS" with ".mmm" when the milliseconds are
// not 0, and "YYYY-MM-DDTHH:MM:SS[.mmm]" for milliseconds since the start of day 0.
void AppendIsoDate(int32_t day_number, std::string* out);
void AppendIsoTime(int64_t ms_of_day, std::string* out);
void AppendIsoDateTime(double ms, std::string* out);
// Whether milliseconds since day 0 stay within what a day number can express (a damaged stored
// timestamp can hold any double, infinities and NaN included).
inline bool DateTimeInRange(double ms) { return ms > -1.8e17 && ms < 1.8e17; }
// Text of milliseconds since the start of day 0 by a format of FormatSettings: yyyy (yy: two
// digits) year, MM/M month, dd/d day, HH/H (also hh/h: there is no 12-hour clock) hour, mm/m
// minute, ss/s second, two letters giving two digits; other characters stand for themselves.
void AppendInFormat(double ms, const std::string& format, std::string* out);

class Value {
 public:
  enum class Kind { kNull, kInt, kDouble, kText, kDate, kTime, kDateTime, kBool, kBytes };

  Value() = default;
  static Value Null() { return Value(); }
  static Value Int(int64_t v) { return Value(Kind::kInt, v, 0, {}); }
  static Value Double(double v) { return Value(Kind::kDouble, 0, v, {}); }
  static Value Text(std::string v) { return Value(Kind::kText, 0, 0, std::move(v)); }
  static Value Bytes(std::string v) { return Value(Kind::kBytes, 0, 0, std::move(v)); }
  static Value Bool(bool v) { return Value(Kind::kBool, v ? 1 : 0, 0, {}); }
  // Day number (see above).
  static Value Date(int32_t day_number) { return Value(Kind::kDate, day_number, 0, {}); }
  // Milliseconds since midnight.
  static Value Time(int32_t ms) { return Value(Kind::kTime, ms, 0, {}); }
  // Milliseconds since the start of day 0 (day_number * kMsPerDay + ms of the day).
  static Value DateTime(double ms) { return Value(Kind::kDateTime, 0, ms, {}); }

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::kNull; }
  int64_t as_int() const { return i_; }
  double as_double() const { return d_; }
  bool as_bool() const { return i_ != 0; }
  const std::string& as_string() const { return s_; }  // text (Windows-1250) or bytes

  bool operator==(const Value& o) const {
    return kind_ == o.kind_ && i_ == o.i_ && (d_ == o.d_ || (d_ != d_ && o.d_ != o.d_)) &&
           s_ == o.s_;
  }

 private:
  Value(Kind k, int64_t i, double d, std::string s) : kind_(k), i_(i), d_(d), s_(std::move(s)) {}
  Kind kind_ = Kind::kNull;
  int64_t i_ = 0;
  double d_ = 0;
  std::string s_;
};

}  // namespace tablorix
