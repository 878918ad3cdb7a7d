// Window placement and the screen font for Qt windows: the settings-file routines of Seged applied
// to a QWidget, the work area from the screen, and the ScreenFontSize the main window read.
#pragma once

#include <QWidget>
#include <optional>
#include <string_view>

#include "common/core/Seged.h"

namespace tablorix::ui {

// The available geometry of the primary screen (right and bottom edges), or the override.
common::WorkAreaRect WorkArea();
// Tests fix the work area with this; std::nullopt goes back to the screen's.
void SetWorkAreaOverride(std::optional<common::WorkAreaRect> area);

// Over common::IniFileName(). Left and top are the frame's position, width and height the
// window's own size. The Store functions throw SettingsFileError when the file cannot be written.
void RestoreFormPos(QWidget* window, std::string_view section);
void StoreFormPos(const QWidget* window, std::string_view section);
// Missing width and height keep the window's current size; the result is clamped to WorkArea().
void RestoreFormBounds(QWidget* window, std::string_view section);
void StoreFormBounds(const QWidget* window, std::string_view section);

// The font size of the SQL windows, table browsers and dialogs (TBeall::ScreenFontSize); set by
// the main window when it reads its settings.
int ScreenFontSize();
void SetScreenFontSize(int points);
// Gives the window the screen font size, keeping its family.
void ApplyScreenFont(QWidget* window);

}  // namespace tablorix::ui
