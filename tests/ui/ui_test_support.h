// Shared helpers of the window tests: one QApplication on the offscreen platform, a zone with
// daylight saving time, and a script that acts on each modal dialog as it opens, so that the
// flows run through the real dialogs with key and mouse events and never wait for a person.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "platform/now.h"
#include "platform/time_zone.h"

namespace tivolo::ui::testing {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The zone of every window test: Central European rules, read as the program reads them.
inline platform::ClockSettings ZoneClock() {
  App();
  platform::ClockSettings c;
  c.utc_auto = true;
  c.time_zone = platform::ReadSystemTimeZone();
  return c;
}

inline platform::DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return platform::AddSeconds(platform::EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

// Each step waits for a modal dialog of its class whose own one-shot opening timers have
// fired (and that has been on screen a moment), then acts on it. A step that finds no such dialog
// within two seconds fails the test and closes whatever modal dialog is open, so nothing hangs.
class DialogScript {
 public:
  using Step = std::function<void(QDialog&)>;
  static constexpr int kSettleMs = 20;

  static bool Opened(QDialog& d) {
    for (QTimer* t : d.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (t->isActive()) return false;
    }
    return true;
  }
  static constexpr int kBoundMs = 2000;

  template <class Dialog>
  void Then(std::function<void(Dialog&)> act) {
    steps_.push_back({Dialog::staticMetaObject.className(),
                      [act](QDialog& d) { act(static_cast<Dialog&>(d)); }});
  }

  // Runs action (which opens the dialogs, at once or a moment later as a button's animated
  // click does) with the steps armed; waits until every step ran and no dialog is open.
  // True when every step ran.
  bool Run(const std::function<void()>& action) {
    QTimer poll;
    poll.setInterval(5);
    QElapsedTimer waited;
    waited.start();
    QPointer<QWidget> last;
    QElapsedTimer open_for;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (steps_.empty()) return;
      auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (modal && modal != last) {
        last = modal;
        open_for.start();
      }
      if (modal && modal->inherits(steps_.front().cls.c_str()) && open_for.elapsed() > kSettleMs &&
          Opened(*modal)) {
        Step step = std::move(steps_.front().act);
        steps_.pop_front();
        last = nullptr;
        waited.restart();
        step(*modal);
        return;
      }
      if (waited.elapsed() > kBoundMs) {
        ADD_FAILURE() << "no dialog " << steps_.front().cls << " appeared";
        steps_.clear();
        if (modal) modal->reject();
      }
    });
    poll.start();
    action();
    const bool settled = QTest::qWaitFor(
        [this] { return steps_.empty() && !QApplication::activeModalWidget(); }, kBoundMs * 4);
    const bool all_ran = steps_.empty() && settled;
    steps_.clear();
    return all_ran;
  }

 private:
  struct Entry {
    std::string cls;
    Step act;
  };
  std::deque<Entry> steps_;
};

}  // namespace tivolo::ui::testing
