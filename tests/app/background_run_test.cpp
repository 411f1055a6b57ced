// Work off the window's thread: what it posts arrives in order before Run returns, its errors
// come back to the caller, and an application that quits while the work waits for an answer
// is not held up by it.
#include "app/background_run.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tivolo::app {
namespace {

TEST(BackgroundRunTest, PostsArriveInOrderOnTheWindowThreadBeforeRunReturns) {
  BackgroundRun run;
  std::vector<int> seen;
  const auto window_thread = std::this_thread::get_id();
  bool all_on_window_thread = true;
  run.Run([&] {
    for (int i = 0; i < 50; ++i)
      run.Post([&, i] {
        all_on_window_thread = all_on_window_thread && std::this_thread::get_id() == window_thread;
        seen.push_back(i);
      });
    EXPECT_TRUE(run.Ask([] { return true; }));
    EXPECT_FALSE(run.Ask([]() -> bool { throw std::runtime_error("no box"); }));
  });
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(seen[static_cast<size_t>(i)], i);
  EXPECT_TRUE(all_on_window_thread);
}

TEST(BackgroundRunTest, AnErrorOfTheWorkIsRaisedByRun) {
  BackgroundRun run;
  EXPECT_THROW(run.Run([] { throw std::runtime_error("cut off"); }), std::runtime_error);
  // The run can be used again afterwards.
  bool ran = false;
  run.Run([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(StartInBackgroundTest, TheResultArrivesOnTheWindowThreadAndNotAfterItsContextWent) {
  const auto window_thread = std::this_thread::get_id();
  std::thread::id worked_on;
  std::string got;
  auto context = std::make_unique<QObject>();
  StartInBackground<std::string>(
      context.get(),
      [&] {
        worked_on = std::this_thread::get_id();
        return std::string("OWIF 1.5.2");
      },
      [&](const std::string& result) {
        EXPECT_EQ(std::this_thread::get_id(), window_thread);
        got = result;
      });
  EXPECT_TRUE(QTest::qWaitFor([&] { return !got.empty(); }, 5000));
  EXPECT_NE(worked_on, window_thread);
  EXPECT_EQ(got, "OWIF 1.5.2");

  bool late = false;
  std::atomic<bool> release{false};
  StartInBackground<int>(
      context.get(),
      [&] {
        while (!release)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 1;
      },
      [&](const int&) { late = true; });
  context.reset();
  release = true;
  QThreadPool::globalInstance()->waitForDone(5000);
  QTest::qWait(50);
  EXPECT_FALSE(late);
}

TEST(BackgroundRunTest, QuittingWhileTheWorkWaitsForAnAnswerStopsItWithNo) {
  bool stopped = false;
  BackgroundRun run([&] { stopped = true; });
  bool asked = false;
  bool answer = true;
  bool late_post_ran = false;
  std::atomic<bool> quitting{false};
  run.Run([&] {
    // The session ends before the question reaches the window.
    run.Post([&] {
      QCoreApplication::exit(0);
      quitting = true;
    });
    for (int i = 0; i < 200 && !quitting; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    answer = run.Ask([&] {
      asked = true;
      return true;
    });
    run.Post([&] { late_post_ran = true; });
  });
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(answer);
  EXPECT_FALSE(asked);
  QCoreApplication::processEvents();
  EXPECT_FALSE(late_post_ran);
  // The quit holds for every event loop until the application's own loop ran again; the
  // tests after this one need theirs.
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  QEventLoop later;
  QTimer::singleShot(0, &later, [&later] { later.exit(7); });
  EXPECT_EQ(later.exec(), 7);
}

}  // namespace
}  // namespace tivolo::app
