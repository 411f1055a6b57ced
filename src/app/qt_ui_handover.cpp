#include "app/qt_ui_handover.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace tivolo::app {

QtUiHandover::QtUiHandover(QObject* context)
    : context_(context ? context : QCoreApplication::instance()) {}

void QtUiHandover::Post(std::function<void()> fn) {
  QObject* context = context_.data();
  if (!context) return;
  // Queued: the caller never runs fn itself, even on the user-interface thread.
  QMetaObject::invokeMethod(
      context, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

}  // namespace tivolo::app
