// Every command of the program is a QAction made here, its object name the command's fixed name
// (aRun, aOpenDB ...), so menus, toolbars and tests all find the same object.
#pragma once

#include <QAction>
#include <QKeySequence>
#include <QString>

namespace tablorix::ui {

// The action's hint (status tip) is its text; set another with setStatusTip afterwards.
QAction* MakeAction(QObject* owner, const char* object_name, const QString& text,
                    const QKeySequence& shortcut = {});

}  // namespace tablorix::ui
