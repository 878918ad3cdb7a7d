// Calendar arithmetic for day numbers (proleptic Gregorian, 0001-01-01 = day 1).
#include "engine/value.h"

#include <cmath>

#include "engine/types.h"

namespace tablorix {

namespace {
// Days since 1970-01-01 of a civil date; the usual era-based computation.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}
constexpr int64_t kDay1From1970 = -719162;  // 0001-01-01
}  // namespace

int32_t DayNumberFromCivil(int year, int month, int day) {
  return int32_t(DaysFromCivil(year, unsigned(month), unsigned(day)) - kDay1From1970 + 1);
}

CivilDate CivilFromDayNumber(int32_t day_number) {
  int64_t z = int64_t(day_number) - 1 + kDay1From1970 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = int64_t(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return CivilDate{int(y + (m <= 2)), int(m), int(d)};
}

static void Append2(int v, std::string* out) {
  out->push_back(char('0' + v / 10 % 10));
  out->push_back(char('0' + v % 10));
}

void AppendIsoDate(int32_t day, std::string* out) {
  CivilDate c = CivilFromDayNumber(day);
  if (c.year >= 0 && c.year <= 9999) {
    Append2(c.year / 100, out);
    Append2(c.year % 100, out);
  } else {
    out->append(std::to_string(c.year));
  }
  out->push_back('-');
  Append2(c.month, out);
  out->push_back('-');
  Append2(c.day, out);
}

void AppendIsoTime(int64_t ms, std::string* out) {
  Append2(int(ms / 3600000), out);
  out->push_back(':');
  Append2(int(ms / 60000 % 60), out);
  out->push_back(':');
  Append2(int(ms / 1000 % 60), out);
  if (ms % 1000) {
    out->push_back('.');
    out->push_back(char('0' + ms % 1000 / 100));
    Append2(int(ms % 100), out);
  }
}

void AppendIsoDateTime(double t, std::string* out) {
  int64_t total = int64_t(std::floor(t));
  int64_t day = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  AppendIsoDate(int32_t(day), out);
  out->push_back('T');
  AppendIsoTime(total - day * kMsPerDay, out);
}

void AppendInFormat(double t, const std::string& format, std::string* out) {
  const int64_t total = int64_t(std::floor(t));
  const int64_t day = total >= 0 ? total / kMsPerDay : -((-total + kMsPerDay - 1) / kMsPerDay);
  const int64_t ms = total - day * kMsPerDay;
  const CivilDate c = CivilFromDayNumber(int32_t(day));
  for (size_t f = 0; f < format.size();) {
    const char letter = format[f];
    size_t run = 1;
    while (f + run < format.size() && format[f + run] == letter) ++run;
    int v = -1;
    switch (letter) {
      case 'y':
        v = run <= 2 ? (c.year % 100 + 100) % 100 : c.year;
        break;
      case 'M':
        v = c.month;
        break;
      case 'd':
        v = c.day;
        break;
      case 'H':
      case 'h':
        v = int(ms / 3600000);
        break;
      case 'm':
        v = int(ms / 60000 % 60);
        break;
      case 's':
        v = int(ms / 1000 % 60);
        break;
      default:
        out->append(format, f, run);
        f += run;
        continue;
    }
    if (letter == 'y' && run > 2 && v >= 0 && v <= 9999) {
      Append2(v / 100, out);
      Append2(v % 100, out);
    } else if (run >= 2 && !(letter == 'y' && run > 2)) {
      Append2(v, out);
    } else {
      out->append(std::to_string(v));
    }
    f += run;
  }
}

const char* FieldTypeName(TFieldType type) {
  switch (type) {
    case TFieldType::ftUnknown:
      return "ftUnknown";
    case TFieldType::ftString:
      return "ftString";
    case TFieldType::ftSmallint:
      return "ftSmallint";
    case TFieldType::ftInteger:
      return "ftInteger";
    case TFieldType::ftWord:
      return "ftWord";
    case TFieldType::ftBoolean:
      return "ftBoolean";
    case TFieldType::ftFloat:
      return "ftFloat";
    case TFieldType::ftCurrency:
      return "ftCurrency";
    case TFieldType::ftBCD:
      return "ftBCD";
    case TFieldType::ftDate:
      return "ftDate";
    case TFieldType::ftTime:
      return "ftTime";
    case TFieldType::ftDateTime:
      return "ftDateTime";
    case TFieldType::ftBytes:
      return "ftBytes";
    case TFieldType::ftVarBytes:
      return "ftVarBytes";
    case TFieldType::ftAutoInc:
      return "ftAutoInc";
    case TFieldType::ftBlob:
      return "ftBlob";
    case TFieldType::ftMemo:
      return "ftMemo";
    case TFieldType::ftGraphic:
      return "ftGraphic";
    case TFieldType::ftFmtMemo:
      return "ftFmtMemo";
    case TFieldType::ftParadoxOle:
      return "ftParadoxOle";
    case TFieldType::ftTypedBinary:
      return "ftTypedBinary";
  }
  return "ftUnknown";
}

}  // namespace tablorix
