// The locale settings text of values is read and written in (Hungarian defaults).
#pragma once

#include <string>

namespace tablorix {

struct FormatSettings {
  char decimal_separator = ',';
  // Letters: yyyy/yy year, MM/M month, dd/d day; H/HH hour, mm/m minute, ss/s second. Other
  // characters stand for themselves.
  std::string short_date_format = "yyyy. MM. dd.";
  std::string long_time_format = "H:mm:ss";
};

}  // namespace tablorix
