#include "app/window/window_thread.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdint>

#include "media/main_thread.h"

namespace strella::window {

namespace {

// The wake-up is a counter in the kernel, not a Qt event: a worker only
// writes to it (no allocation, no Qt lock), and the event loop sees it
// readable and drains the inbox.
int WakeupCounter() {
  static const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return fd;
}

void DrainOnWakeup() {
  uint64_t count = 0;
  while (::read(WakeupCounter(), &count, sizeof count) > 0) {
  }
  media::ProcessThreadMessages();
}

}  // namespace

void InstallMainThreadWakeup() {
  static QSocketNotifier* notifier = nullptr;
  if (notifier || WakeupCounter() < 0) return;
  notifier = new QSocketNotifier(WakeupCounter(), QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] { DrainOnWakeup(); });
  QObject::connect(notifier, &QObject::destroyed, [] { notifier = nullptr; });
  media::SetMainThreadWakeup([] {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(WakeupCounter(), &one, sizeof one);
  });
}

}  // namespace strella::window
