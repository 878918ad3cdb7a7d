// The one boundary between the core's Windows-1250 text and Qt's QString: every conversion in the
// Qt layer goes through these two functions.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tablorix::ui {

QString FromWin1250(std::string_view text);
// Characters the code page has no place for become "?".
std::string ToWin1250(const QString& text);

// File and folder names stay in the file system's own encoding (UTF-8 here), not Windows-1250.
QString FromLocalPath(std::string_view path);
std::string ToLocalPath(const QString& path);

}  // namespace tablorix::ui
