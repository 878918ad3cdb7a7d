// The top-level error report every command runs through: an exception ends the command, never the
// program, and its message is shown in a box captioned "Vintrel".
#pragma once

#include <QWidget>
#include <functional>

namespace tablorix::ui {

// Runs `command`; a std::exception (its what() read as Windows-1250, the engine's text) or any
// other exception is shown with ShowReport. Returns true when the command ended normally.
bool RunReported(QWidget* owner, const std::function<void()>& command);

}  // namespace tablorix::ui
