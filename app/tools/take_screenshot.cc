// Draws the main window on the demo database with an SQL window and its result, and saves a
// picture of it: the README's screenshot, taken on a real X server (Xvfb).
// usage: tablorix_screenshot DIR OUT.png
#include <QApplication>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "app/Main.h"
#include "common/core/Seged.h"
#include "workspace/ui/ChildWin.h"

namespace {

void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tablorix_screenshot DIR OUT.png\n");
    return 2;
  }
  tablorix::common::InitSharedPaths();
  QApplication app(argc, argv);
  tablorix::app::TfrmMain w;
  w.SetSplashEnabled(false);
  w.resize(1180, 720);
  w.move(0, 0);
  w.show();
  Settle(300);
  w.OpenDatabasePath(argv[1]);
  w.SelectTableNamed("VEVOK");
  auto* area = w.findChild<QMdiArea*>();
  if (!area || !w.sql()) {
    std::fprintf(stderr, "tablorix_screenshot: no database open\n");
    return 1;
  }
  // "SELECT v.NEV, v.VAROS, COUNT(*) ..." in Windows-1250.
  const std::string text =
      "SELECT v.NEV, v.VAROS, COUNT(*) AS RENDELESEK, SUM(r.OSSZEG) AS OSSZEG\r\n"
      "FROM VEVOK v JOIN RENDELES r ON r.VEVO = v.AZON\r\n"
      "WHERE v.VAROS = 'P\xE9"
      "cs'\r\n"
      "GROUP BY v.NEV, v.VAROS\r\n"
      "ORDER BY RENDELESEK DESC\r\n";
  auto* child = tablorix::workspace::OpenSqlWindow(area, "Noname1.sql", text);
  if (auto* sub = area->activeSubWindow()) sub->setGeometry(0, 0, 860, 560);
  tablorix::workspace::RunSqlInWindow(child, *w.sql(), [&] { w.RefreshLists(); });
  Settle(800);
  const QPixmap shot = w.screen()->grabWindow(w.winId());
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "tablorix_screenshot: cannot save %s\n", argv[2]);
    return 1;
  }
  std::printf("%s: %dx%d\n", argv[2], shot.width(), shot.height());
  return 0;
}
