// Windows-1250 <-> QString through the engine's code-page tables.
#include "common/ui/encoding.h"

#include <QByteArray>
#include <QFile>

#include "engine/paradox/codepage.h"

namespace tablorix::ui {

QString FromWin1250(std::string_view text) {
  std::string utf8 = paradox::Win1250ToUtf8(text);
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToWin1250(const QString& text) {
  QByteArray utf8 = text.toUtf8();
  return paradox::Utf8ToWin1250(std::string_view(utf8.constData(), utf8.size()));
}

QString FromLocalPath(std::string_view path) {
  return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace tablorix::ui
