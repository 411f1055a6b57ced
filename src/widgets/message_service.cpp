#include "widgets/message_service.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <utility>

namespace tivolo::widgets {
namespace {

// The program's name; Qt's display name would also be added to every window's caption.
QString Caption() {
  return QStringLiteral("Tivolo");
}

QMessageBox::StandardButton Show(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                                 const std::string& text, QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton default_button) {
  QMessageBox box(icon, caption, QString::fromStdString(text), buttons, owner);
  box.setDefaultButton(default_button);
  // Alt keys on every button, as on the program's own.
  for (auto [button, caption_with_key] :
       {std::pair{QMessageBox::Save, "&Save"}, std::pair{QMessageBox::Discard, "&Discard"},
        std::pair{QMessageBox::Cancel, "&Cancel"}, std::pair{QMessageBox::Yes, "&Yes"},
        std::pair{QMessageBox::No, "&No"}}) {
    if (QAbstractButton* b = box.button(button)) b->setText(QString::fromUtf8(caption_with_key));
  }
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QWidget* BoxMessageService::Owner() const {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return owner_ ? owner_.data() : QApplication::activeWindow();
}

void BoxMessageService::Error(const std::string& text) {
  Show(Owner(), QMessageBox::Critical, Caption(), text, QMessageBox::Ok, QMessageBox::Ok);
}

void BoxMessageService::Information(const std::string& text) {
  Show(Owner(), QMessageBox::NoIcon, Caption(), text, QMessageBox::Ok, QMessageBox::Ok);
}

bool BoxMessageService::Question(const std::string& text) {
  // No is the default: Enter must never replace anything on the box.
  return Show(Owner(), QMessageBox::Question, Caption(), text, QMessageBox::Yes | QMessageBox::No,
              QMessageBox::No) == QMessageBox::Yes;
}

void BoxMessageService::Alert(const std::string& text) {
  Show(Owner(), QMessageBox::NoIcon, QString::fromUtf8(kAlertCaption), text, QMessageBox::Ok,
       QMessageBox::Ok);
}

SaveAnswer BoxMessageService::SaveQuestion(const std::string& text) {
  switch (Show(Owner(), QMessageBox::Question, Caption(), text,
               QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
               QMessageBox::Cancel)) {
    case QMessageBox::Save:
      return SaveAnswer::kSave;
    case QMessageBox::Discard:
      return SaveAnswer::kDiscard;
    default:
      return SaveAnswer::kCancel;  // also Escape and the box's close button
  }
}

void BoxMessageService::Beep() {
  QApplication::beep();
}

bool ScriptedMessageService::Question(const std::string& text) {
  Record(Kind::kQuestion, text);
  if (answers.empty()) return false;
  const bool yes = answers.front();
  answers.pop_front();
  return yes;
}

SaveAnswer ScriptedMessageService::SaveQuestion(const std::string& text) {
  Record(Kind::kSaveQuestion, text);
  if (save_answers.empty()) return SaveAnswer::kCancel;
  const SaveAnswer answer = save_answers.front();
  save_answers.pop_front();
  return answer;
}

void ScriptedMessageService::Record(Kind kind, const std::string& text) {
  boxes.push_back({kind, text});
  if (on_box) on_box(boxes.back());
}

std::vector<std::string> ScriptedMessageService::Trace() const {
  static const char* const kNames[] = {"error", "information", "question", "alert",
                                       "save question"};
  std::vector<std::string> trace;
  for (const Box& box : boxes)
    trace.push_back(std::string(kNames[static_cast<int>(box.kind)]) + ": " + box.text);
  return trace;
}

}  // namespace tivolo::widgets
