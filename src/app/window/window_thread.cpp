#include "app/window/window_thread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "media/main_thread.h"

namespace strella::window {

void InstallMainThreadWakeup() {
  media::SetMainThreadWakeup([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { media::ProcessThreadMessages(); }, Qt::QueuedConnection);
  });
}

void PostToWindow(QObject* receiver, std::function<void()> call) {
  if (QThread::currentThread() == receiver->thread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(receiver, std::move(call), Qt::QueuedConnection);
}

}  // namespace strella::window
