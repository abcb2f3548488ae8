// Getting work onto the window thread: the media layer's main-thread inbox is
// drained by the Qt event loop.
#pragma once

#include <functional>

class QObject;

namespace strella::window {

// Makes a worker's first post to the main thread's inbox wake the Qt event
// loop, which then runs ProcessThreadMessages. Installed once by the main window.
void InstallMainThreadWakeup();

// Runs the call on the window thread: at once when already there, else as a
// queued call in the receiver's thread (dropped if the receiver is gone).
void PostToWindow(QObject* receiver, std::function<void()> call);

}  // namespace strella::window
