// Every message box and beep of the program goes through a MessageService, so that tests
// answer and record each box without a person. Texts are UTF-8.
#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tivolo::widgets {

inline constexpr char kAlertCaption[] = "Alert!";

// The answers of the question asked before unsaved changes would be lost.
enum class SaveAnswer { kSave, kDiscard, kCancel };

class MessageService {
 public:
  virtual ~MessageService() = default;
  // An error's message text, with the error icon.
  virtual void Error(const std::string& text) = 0;
  // A plain message with an OK button and no icon.
  virtual void Information(const std::string& text) = 0;
  // Yes or No, No the default button; true for Yes.
  virtual bool Question(const std::string& text) = 0;
  // Caption "Alert!", an OK button and no icon.
  virtual void Alert(const std::string& text) = 0;
  // Save, Discard or Cancel, Cancel the default: Enter must neither send nor lose anything.
  virtual SaveAnswer SaveQuestion(const std::string& text) = 0;
  // The platform's default beep.
  virtual void Beep() = 0;
};

// The real boxes: modal QMessageBox over the owner (or the active window), QApplication::beep.
class BoxMessageService : public MessageService {
 public:
  explicit BoxMessageService(QWidget* owner = nullptr) : owner_(owner) {}
  void Error(const std::string& text) override;
  void Information(const std::string& text) override;
  bool Question(const std::string& text) override;
  void Alert(const std::string& text) override;
  SaveAnswer SaveQuestion(const std::string& text) override;
  void Beep() override;

 private:
  QWidget* Owner() const;
  QPointer<QWidget> owner_;
};

// For tests: records every box and beep in order and answers questions from a script.
class ScriptedMessageService : public MessageService {
 public:
  enum class Kind { kError, kInformation, kQuestion, kAlert, kSaveQuestion };
  struct Box {
    Kind kind;
    std::string text;
  };

  void Error(const std::string& text) override { Record(Kind::kError, text); }
  void Information(const std::string& text) override { Record(Kind::kInformation, text); }
  bool Question(const std::string& text) override;
  void Alert(const std::string& text) override { Record(Kind::kAlert, text); }
  SaveAnswer SaveQuestion(const std::string& text) override;
  void Beep() override { ++beeps; }

  // Answers for the next questions, in order; an unscripted question is answered No.
  std::deque<bool> answers;
  // Answers for the next save questions; an unscripted one is answered Cancel.
  std::deque<SaveAnswer> save_answers;
  std::vector<Box> boxes;
  int beeps = 0;
  // Runs as each box is shown (for example to look at the program's state at that moment).
  std::function<void(const Box&)> on_box;

  // "error: text", "information: text", ... one per box, for comparing in one assertion.
  std::vector<std::string> Trace() const;

 private:
  void Record(Kind kind, const std::string& text);
};

}  // namespace tivolo::widgets
