#include "app/window/window_thread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "media/main_thread.h"

namespace strella::window {

void InstallMainThreadWakeup() {
  media::SetMainThreadWakeup([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { media::ProcessThreadMessages(); }, Qt::QueuedConnection);
  });
}

}  // namespace strella::window
