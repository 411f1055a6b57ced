// The telnet reader's hand-over in a Qt program: each function is queued to the event loop of
// the context object's thread (the user-interface thread) and runs there once.
#pragma once

#include <QObject>
#include <QPointer>

#include "net/telnet_handover.h"

namespace tivolo::app {

class QtUiHandover : public net::UiHandover {
 public:
  // The context decides the thread; the application object when null.
  explicit QtUiHandover(QObject* context = nullptr);
  // Any thread. A function queued after the context is gone is dropped unrun.
  void Post(std::function<void()> fn) override;

 private:
  QPointer<QObject> context_;
};

}  // namespace tivolo::app
