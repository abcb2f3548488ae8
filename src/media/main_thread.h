// Hand-over of calls to the main thread. A worker posts a call and waits
// until the main thread has run it; the main thread runs queued calls when
// its event loop is woken (the window installs a wake-up that posts to its
// loop, the command line drains in its own loop) and whenever it waits for a
// worker (WaitServingMainThread, JoinServingMainThread).
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace strella::media {

// The thread that counts as the main thread: the one that started the
// process, unless SetMainThread names another (a test's own thread, say).
bool IsMainThread();
void SetMainThread();

// Called from a worker after it queued a call, so that the main thread's
// event loop can run ProcessThreadMessages soon.
void SetMainThreadWakeup(std::function<void()> wakeup);

// Runs the call on the main thread and returns when it has run. On the main
// thread it runs at once. An exception thrown by the call reaches the caller.
void RunOnMainThread(const std::function<void()>& call);

// Runs every call queued for the main thread. Returns how many ran.
int ProcessThreadMessages();

// Serves queued calls until done() is true or the timeout passes; returns done().
bool WaitServingMainThread(const std::function<bool()>& done,
                           std::chrono::milliseconds timeout = std::chrono::milliseconds::max());

// Joins a worker while serving its calls to the main thread.
void JoinServingMainThread(std::thread& worker);

}  // namespace strella::media
