// The error report: catches whatever a command throws.
#include "common/ui/error_report.h"

#include <exception>

#include "common/ui/encoding.h"
#include "common/ui/message_boxes.h"

namespace tablorix::ui {

bool RunReported(QWidget* owner, const std::function<void()>& command) {
  try {
    command();
    return true;
  } catch (const std::exception& e) {
    ShowReport(FromWin1250(e.what()), owner);
  } catch (...) {
    ShowReport(QStringLiteral("Ismeretlen hiba"), owner);
  }
  return false;
}

}  // namespace tablorix::ui
