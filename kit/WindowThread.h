// The way from a worker thread to the window thread. A backend (qt/, win32/)
// implements it over its message loop; tests with a plain call.
#pragma once

#include "MsgBox.h"

#include <functional>

class IWindowThread {
  public:
    virtual ~IWindowThread() = default;

    // Runs fn on the window thread and returns when it has ended. Called from
    // the window thread itself, it simply runs fn.
    virtual void Synchronize(const std::function<void()>& fn) = 0;

    // Queues fn to run on the window thread later and returns at once.
    virtual void Post(std::function<void()> fn) = 0;
};

// For a question whose answer comes later than the call that asks it (a box
// that is not modal): runs ask on the window thread with a reply function and
// waits until ask, or what it set up, has called reply once. Not to be called
// on the window thread.
MsgAnswer AwaitAnswer(IWindowThread& window,
                      std::function<void(std::function<void(MsgAnswer)> reply)> ask);
