// Message boxes over QMessageBox, or over the installed sink.
#include "common/ui/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace tablorix::ui {
namespace {

MessageSink g_sink = nullptr;
MessageRecorder* g_recorder = nullptr;

bool RecordToCurrent(const ShownMessage& message) {
  if (g_recorder == nullptr) return false;
  g_recorder->messages.push_back(message);
  return g_recorder->answer;
}

QMessageBox::StandardButton Show(MessageKind kind, const QString& caption, const QString& text,
                                 QWidget* owner, bool restore_active) {
  if (g_sink != nullptr) {
    return g_sink({kind, caption, text, owner}) ? QMessageBox::Yes : QMessageBox::No;
  }
  QPointer<QWidget> active = restore_active ? QApplication::activeWindow() : nullptr;
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  switch (kind) {
    case MessageKind::kQuestion:
      box.setIcon(QMessageBox::Question);
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageKind::kInfo:
      box.setIcon(QMessageBox::Information);
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageKind::kError:
    case MessageKind::kReport:
      box.setIcon(QMessageBox::Critical);
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  auto answer = static_cast<QMessageBox::StandardButton>(box.exec());
  if (active) active->activateWindow();
  return answer;
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
  MessageSink previous = g_sink;
  g_sink = sink;
  return previous;
}

void ShowError(const QString& message, QWidget* owner) {
  Show(MessageKind::kError, QStringLiteral("Hiba"), message, owner, true);
}

void ShowInfo(const QString& message, QWidget* owner) {
  Show(MessageKind::kInfo, QStringLiteral("Üzenet"), message, owner, false);
}

bool ShowQuestion(const QString& message, const QString& caption, QWidget* owner) {
  return Show(MessageKind::kQuestion, caption, message, owner, true) == QMessageBox::Yes;
}

void ShowReport(const QString& message, QWidget* owner) {
  Show(MessageKind::kReport, QStringLiteral("Vintrel"), message, owner, true);
}

Answer ShowYesNoCancel(const QString& message, const QString& caption, QWidget* owner) {
  if (g_sink != nullptr) {
    const bool yes = g_sink({MessageKind::kQuestion, caption, message, owner});
    if (g_recorder != nullptr && g_recorder->cancel) return Answer::kCancel;
    return yes ? Answer::kYes : Answer::kNo;
  }
  QPointer<QWidget> active = QApplication::activeWindow();
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(message);
  box.setIcon(QMessageBox::Question);
  box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  const int button = box.exec();
  if (active) active->activateWindow();
  if (button == QMessageBox::Yes) return Answer::kYes;
  if (button == QMessageBox::No) return Answer::kNo;
  return Answer::kCancel;
}

MessageRecorder::MessageRecorder(bool answer)
    : answer(answer), previous_(SetMessageSink(&RecordToCurrent)), previous_recorder_(g_recorder) {
  g_recorder = this;
}

MessageRecorder::~MessageRecorder() {
  g_recorder = previous_recorder_;
  SetMessageSink(previous_);
}

}  // namespace tablorix::ui
