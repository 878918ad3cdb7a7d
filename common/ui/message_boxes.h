// The program's message boxes: ShowError ("Hiba"), ShowInfo ("Üzenet"), ShowQuestion, and the box
// of the top-level error report ("Vintrel"). A test installs a MessageSink so that no box blocks.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

namespace tablorix::ui {

enum class MessageKind { kError, kInfo, kQuestion, kReport };

struct ShownMessage {
  MessageKind kind;
  QString caption;
  QString text;
  QWidget* owner;
};

// Receives the boxes instead of the screen; its result answers ShowQuestion (true = Yes).
using MessageSink = bool (*)(const ShownMessage& message);
// Returns the sink that was installed before; nullptr shows real boxes.
MessageSink SetMessageSink(MessageSink sink);

// Error icon, OK, caption "Hiba"; the window active before the box is active again after it.
void ShowError(const QString& message, QWidget* owner);
// Information icon, OK, caption "Üzenet".
void ShowInfo(const QString& message, QWidget* owner);
// Question icon, Yes and No; true for Yes. Restores the active window as ShowError does.
bool ShowQuestion(const QString& message, const QString& caption, QWidget* owner);
// Question icon, Yes, No and Cancel (an unsaved text about to be closed).
enum class Answer { kYes, kNo, kCancel };
Answer ShowYesNoCancel(const QString& message, const QString& caption, QWidget* owner);
// The error report's box: error icon, OK, caption "Vintrel" (the application's title).
void ShowReport(const QString& message, QWidget* owner);

// While alive, every box is recorded in `messages` instead of being shown, and questions get
// `answer` (a Yes/No/Cancel question gets Cancel while `cancel` is set). Not nestable across
// threads; tests use one at a time.
class MessageRecorder {
 public:
  explicit MessageRecorder(bool answer = true);
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<ShownMessage> messages;
  bool answer;
  bool cancel = false;

 private:
  MessageSink previous_;
  MessageRecorder* previous_recorder_;
};

}  // namespace tablorix::ui
