// Work off the window's thread, written once for the fetch and the save: the work runs on a
// thread of its own while the window's thread runs its events (a progress dialog, a Cancel
// button). What the work hands to the window (log lines, progress) is posted in order and
// has all run before Run returns; a question waits for the window's answer.
//
// When the application is asked to quit meanwhile, the run stops: on_stop is called (to close
// the work's connections), every question answers No at once, and Run waits for the work to
// end without running the window's events, so nothing it posted reaches a window that is
// going away. The work's waits are all bounded, so that wait is too.
#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <QtConcurrent/QtConcurrentRun>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace tivolo::app {

class BackgroundRun {
 public:
  explicit BackgroundRun(std::function<void()> on_stop = {});
  ~BackgroundRun();
  BackgroundRun(const BackgroundRun&) = delete;
  BackgroundRun& operator=(const BackgroundRun&) = delete;

  // Window's thread: runs work on a new thread and returns when it has ended. An exception
  // that leaves the work is raised again here.
  void Run(const std::function<void()>& work);

  // Any thread: fn runs on the window's thread, after everything posted before it.
  void Post(std::function<void()> fn);
  // The work's thread: runs question on the window's thread and waits for its answer. No
  // (false) when the question throws, and at once when the run is stopping.
  bool Ask(std::function<bool()> question);

 private:
  void Stop();

  std::function<void()> on_stop_;
  std::unique_ptr<QObject> relay_;  // the posts' receiver, on the window's thread
  mutable std::mutex mutex_;
  std::condition_variable answered_;
  bool stopping_ = false;
};

// Work that must not hold up the window at all (the programme guide, asking the box's web
// interface what it is): it runs on a pool thread while the window goes on, and `done` runs on
// the window's thread with its result, unless `context` is gone by then. The work must not
// throw (its result says what went wrong) and must not touch `context`; its waits must be
// bounded, since the application waits for it when it ends.
template <class Result>
void StartInBackground(QObject* context, std::function<Result()> work,
                       std::function<void(const Result&)> done) {
  auto* watcher = new QFutureWatcher<Result>(context);
  QObject::connect(watcher, &QFutureWatcherBase::finished, context, [watcher, done] {
    done(watcher->result());
    watcher->deleteLater();
  });
  watcher->setFuture(QtConcurrent::run(std::move(work)));
}

}  // namespace tivolo::app
