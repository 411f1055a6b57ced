#include "ui/undo_commands.h"

#include <QAction>
#include <QUndoCommand>
#include <utility>

#include "boxdata/box_tables.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

// A step is pushed after its change was made and counted: the first redo does nothing.
class TimerStep : public QUndoCommand {
 public:
  TimerStep(TimerUndo& undo, int key, const std::string& text)
      : QUndoCommand(QString::fromStdString(text)), undo_(undo), key_(key) {}
  void redo() final {
    if (first_) {
      first_ = false;
      return;
    }
    Apply();
    undo_.Count(+1);
  }
  void undo() final {
    Revert();
    undo_.Count(-1);
  }

 protected:
  virtual void Apply() = 0;
  virtual void Revert() = 0;
  store::MemTable& Timers() { return undo_.Timers(); }
  void PutBack(const StoredTimer& timer) { undo_.Placed(key_, InsertTimer(Timers(), timer)); }
  void TakeOut() {
    DeleteTimer(Timers(), undo_.RecordOf(key_));
    undo_.Removed(key_);
  }
  void Rewrite(const StoredTimer& timer) { RewriteTimer(Timers(), undo_.RecordOf(key_), timer); }

 private:
  TimerUndo& undo_;
  int key_;
  bool first_ = true;
};

class AppendStep : public TimerStep {
 public:
  AppendStep(TimerUndo& undo, int key, StoredTimer added)
      : TimerStep(undo, key, "append of " + undo.Label(added)), added_(std::move(added)) {}

 private:
  void Apply() override { PutBack(added_); }
  void Revert() override { TakeOut(); }
  StoredTimer added_;
};

class DeleteStep : public TimerStep {
 public:
  DeleteStep(TimerUndo& undo, int key, StoredTimer deleted)
      : TimerStep(undo, key, "delete of " + undo.Label(deleted)), deleted_(std::move(deleted)) {}

 private:
  void Apply() override { TakeOut(); }
  void Revert() override { PutBack(deleted_); }
  StoredTimer deleted_;
};

// An edit, or the on/off switch: every value written back as it was before or after.
class ChangeStep : public TimerStep {
 public:
  ChangeStep(TimerUndo& undo, int key, const std::string& what, StoredTimer before,
             StoredTimer after)
      : TimerStep(undo, key, what + " of " + undo.Label(after)),
        before_(std::move(before)),
        after_(std::move(after)) {}

 private:
  void Apply() override { Rewrite(after_); }
  void Revert() override { Rewrite(before_); }
  StoredTimer before_, after_;
};

}  // namespace

TimerUndo::TimerUndo(TimerSession& session, QObject* parent)
    : QObject(parent),
      session_(session),
      undo_action_(new QAction("Undo", this)),
      redo_action_(new QAction("Redo", this)) {
  undo_action_->setObjectName("Undo");
  undo_action_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  redo_action_->setObjectName("Redo");
  redo_action_->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
  connect(undo_action_, &QAction::triggered, this, &TimerUndo::Undo);
  connect(redo_action_, &QAction::triggered, this, &TimerUndo::Redo);
  connect(&stack_, &QUndoStack::indexChanged, this, &TimerUndo::UpdateActions);
  connect(&stack_, &QUndoStack::cleanChanged, this, &TimerUndo::UpdateActions);
  UpdateActions();
}

TimerUndo::~TimerUndo() = default;

bool TimerUndo::Busy() const {
  const store::DatasetState state = Timers().State();
  return state == store::DatasetState::kInsert || state == store::DatasetState::kEdit;
}

void TimerUndo::UpdateActions() {
  undo_action_->setEnabled(stack_.canUndo());
  undo_action_->setText(stack_.canUndo() ? "Undo " + stack_.undoText() : "Undo");
  redo_action_->setEnabled(stack_.canRedo());
  redo_action_->setText(stack_.canRedo() ? "Redo " + stack_.redoText() : "Redo");
}

void TimerUndo::Undo() {
  if (Busy() || !stack_.canUndo()) return;
  session_.Guard([this] { stack_.undo(); });
  if (after_step) after_step();
}

void TimerUndo::Redo() {
  if (Busy() || !stack_.canRedo()) return;
  session_.Guard([this] { stack_.redo(); });
  if (after_step) after_step();
}

void TimerUndo::Appended(int32_t id) {
  stack_.push(new AppendStep(*this, KeyOf(id), ReadTimer(Timers(), id)));
}

void TimerUndo::Edited(int32_t id, StoredTimer before) {
  stack_.push(new ChangeStep(*this, KeyOf(id), "edit", std::move(before), ReadTimer(Timers(), id)));
}

void TimerUndo::Switched(int32_t id, StoredTimer before) {
  const char* what = TimerDisabled(Timers(), id) ? "disabling" : "enabling";
  stack_.push(new ChangeStep(*this, KeyOf(id), what, std::move(before), ReadTimer(Timers(), id)));
}

void TimerUndo::Deleted(int32_t id, StoredTimer before) {
  const int key = KeyOf(id);
  Removed(key);
  stack_.push(new DeleteStep(*this, key, std::move(before)));
}

void TimerUndo::Clear() {
  stack_.clear();
  record_of_.clear();
  key_of_.clear();
}

int TimerUndo::KeyOf(int32_t id) {
  if (auto it = key_of_.find(id); it != key_of_.end()) return it->second;
  const int key = next_key_++;
  Placed(key, id);
  return key;
}

int32_t TimerUndo::RecordOf(int key) const {
  auto it = record_of_.find(key);
  if (it == record_of_.end())
    throw TimerMissingError("Timers: the timer to change is no longer in the list");
  return it->second;
}

void TimerUndo::Placed(int key, int32_t id) {
  record_of_[key] = id;
  key_of_[id] = key;
}

void TimerUndo::Removed(int key) {
  auto it = record_of_.find(key);
  if (it == record_of_.end()) return;
  key_of_.erase(it->second);
  record_of_.erase(it);
}

std::string TimerUndo::Label(const StoredTimer& timer) const {
  std::string name, channel;
  size_t i = 0;
  for (const store::Field* f : Timers().Fields()) {
    if (f->IsCalculated()) continue;
    if (i >= timer.values.size()) break;
    if (f->FieldName() == fields::kName) name = timer.values[i].text;
    if (f->FieldName() == fields::kZender) channel = timer.values[i].text;
    ++i;
  }
  return name.empty() ? channel : name;
}

}  // namespace tivolo::ui
