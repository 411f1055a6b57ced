// The one driver of modal dialogs for every window test. A script lists, per dialog class, what
// to do once such a dialog is open (its own one-shot opening timers fired and the window
// active); Run starts the code that opens the dialogs and acts on each from a timer, since the
// dialog's exec blocks the test meanwhile. The script keeps a time limit of its own: a dialog
// that does not appear, or that stays open after the last step, fails the test and is closed
// within seconds, so a script that does not settle never hangs. Controls are found by object
// name.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>

namespace tivolo::testing {

// A control a test asked for by name is not there.
class MissingControl : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The child of root of class W named name; MissingControl when there is none, which fails
// the test whether it is thrown in a test body or in a dialog step.
template <class W = QWidget>
W& Control(const QObject& root, const char* name) {
  if (W* found = root.findChild<W*>(QString::fromLatin1(name))) return *found;
  throw MissingControl(std::string("no ") + W::staticMetaObject.className() + " named " + name +
                       " in " + root.metaObject()->className());
}

class DialogScript {
 public:
  // How long a dialog may take to appear, and an open dialog to close after the last step.
  static constexpr int kBoundMs = 2000;
  // A dialog counts as open a moment after it is shown and once its opening timers fired.
  static constexpr int kSettleMs = 20;

  template <class Dialog>
  DialogScript& Then(std::function<void(Dialog&)> act) {
    steps_.push_back({Dialog::staticMetaObject.className(),
                      [act](QDialog& d) { act(static_cast<Dialog&>(d)); }});
    return *this;
  }

  // Runs action (which opens the dialogs, at once or a moment later as a button's animated
  // click does) with the steps armed, and waits until every step ran and no modal dialog is
  // open. True when every step ran and every dialog closed within the bounds.
  bool Run(const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(kPollMs);
    waited_.start();
    failed_ = false;
    QObject::connect(&poll, &QTimer::timeout, [this] { Poll(); });
    poll.start();
    action();
    const int bound = kBoundMs * (static_cast<int>(steps_.size()) + 2);
    const bool settled = QTest::qWaitFor(
        [this] { return steps_.empty() && !QApplication::activeModalWidget(); }, bound);
    if (!settled) ADD_FAILURE() << "the dialog script did not settle";
    const bool all_ran = steps_.empty() && settled && !failed_;
    steps_.clear();
    return all_ran;
  }

 private:
  static constexpr int kPollMs = 5;

  static bool Opened(QDialog& d) {
    for (QTimer* t : d.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (t->isActive()) return false;
    }
    return true;
  }

  void Fail(const std::string& why, QDialog* open) {
    ADD_FAILURE() << why;
    failed_ = true;
    steps_.clear();
    if (open) open->reject();
  }

  void Poll() {
    auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (modal != last_) {
      last_ = modal;
      open_for_.start();
      if (!modal && steps_.empty()) waited_.restart();
    }
    if (steps_.empty()) {
      if (modal && waited_.elapsed() > kBoundMs)
        Fail(std::string("the ") + modal->metaObject()->className() + " stayed open", modal);
      return;
    }
    if (modal && modal->inherits(steps_.front().cls.c_str()) && open_for_.elapsed() > kSettleMs &&
        Opened(*modal)) {
      RunStep(*modal);
      return;
    }
    if (waited_.elapsed() > kBoundMs) Fail("no dialog " + steps_.front().cls + " appeared", modal);
  }

  void RunStep(QDialog& dialog) {
    Step step = std::move(steps_.front().act);
    steps_.pop_front();
    last_ = nullptr;
    // Alt accelerators reach only the active window.
    dialog.activateWindow();
    static_cast<void>(QTest::qWaitForWindowActive(&dialog, kBoundMs));
    try {
      step(dialog);
    } catch (const std::exception& e) {
      Fail(e.what(), &dialog);
    }
    waited_.restart();
  }

  using Step = std::function<void(QDialog&)>;
  struct Entry {
    std::string cls;
    Step act;
  };
  std::deque<Entry> steps_;
  QPointer<QDialog> last_;
  QElapsedTimer open_for_;
  QElapsedTimer waited_;
  bool failed_ = false;
};

}  // namespace tivolo::testing
