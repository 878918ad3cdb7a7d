// Placement of Qt windows in the settings file.
#include "common/ui/form_placement.h"

#include <QGuiApplication>
#include <QScreen>

#include "common/core/settings.h"

namespace tablorix::ui {
namespace {

std::optional<common::WorkAreaRect> g_work_area_override;
int g_screen_font_size = common::kDefaultScreenFontSize;

}  // namespace

common::WorkAreaRect WorkArea() {
  if (g_work_area_override) return *g_work_area_override;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {1024, 768};
  QRect r = screen->availableGeometry();
  return {r.x() + r.width(), r.y() + r.height()};
}

void SetWorkAreaOverride(std::optional<common::WorkAreaRect> area) { g_work_area_override = area; }

void RestoreFormPos(QWidget* window, std::string_view section) {
  int left = common::kDefaultFormLeft;
  int top = common::kDefaultFormTop;
  common::LoadFormPos(common::IniFileName(), section, &left, &top);
  window->move(left, top);
}

void StoreFormPos(const QWidget* window, std::string_view section) {
  common::SaveFormPos(common::IniFileName(), section, window->x(), window->y());
}

void RestoreFormBounds(QWidget* window, std::string_view section) {
  common::FormBounds current{window->x(), window->y(), window->width(), window->height()};
  common::FormBounds b =
      common::LoadFormBounds(common::IniFileName(), section, current, WorkArea());
  window->resize(b.width, b.height);
  window->move(b.left, b.top);
}

void StoreFormBounds(const QWidget* window, std::string_view section) {
  common::SaveFormBounds(common::IniFileName(), section,
                         {window->x(), window->y(), window->width(), window->height()});
}

int ScreenFontSize() { return g_screen_font_size; }
void SetScreenFontSize(int points) { g_screen_font_size = points; }

void ApplyScreenFont(QWidget* window) {
  if (g_screen_font_size <= 0) return;
  QFont font = window->font();
  font.setPointSize(g_screen_font_size);
  window->setFont(font);
}

}  // namespace tablorix::ui
