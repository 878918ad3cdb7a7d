// The single factory of the program's commands.
#include "common/ui/actions.h"

namespace tablorix::ui {

QAction* MakeAction(QObject* owner, const char* object_name, const QString& text,
                    const QKeySequence& shortcut) {
  auto* action = new QAction(text, owner);
  action->setObjectName(QString::fromLatin1(object_name));
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  action->setStatusTip(text);
  action->setToolTip(text);
  return action;
}

}  // namespace tablorix::ui
