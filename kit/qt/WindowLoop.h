// The way to the window thread over Qt's event loop.
#pragma once

#include "WindowThread.h"

class QObject;

class WindowLoop : public IWindowThread {
  public:
    // Calls run in the thread of context, and are dropped with it; without
    // a context, in the application's.
    explicit WindowLoop(QObject* context = nullptr) : context_(context) {}

    // A blocking queued call from another thread.
    void Synchronize(const std::function<void()>& fn) override;
    void Post(std::function<void()> fn) override;

  private:
    QObject* Context() const;

    QObject* context_;
};
