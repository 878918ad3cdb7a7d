// The desktop program's entry: the shared paths first, then the main window.
#include <QApplication>

#include "app/Main.h"
#include "app/PrgConst.h"
#include "common/core/Seged.h"

int main(int argc, char** argv) {
  tablorix::common::InitSharedPaths();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(tablorix::app::kAppTitle));
  QApplication::setApplicationDisplayName(QString::fromLatin1(tablorix::app::kAppTitle));
  tablorix::app::TfrmMain main_window;
  main_window.SetCommandLine(QApplication::arguments().mid(1));
  main_window.show();
  return QApplication::exec();
}
