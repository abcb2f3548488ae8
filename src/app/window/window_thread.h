// Getting work onto the window thread: the media layer's main-thread inbox is
// drained by the Qt event loop.
#pragma once

namespace strella::window {

// Makes a worker's first post to the main thread's inbox wake the Qt event
// loop, which then runs ProcessThreadMessages. Installed once by the main window.
void InstallMainThreadWakeup();

}  // namespace strella::window
