#include "WindowLoop.h"

#include <QCoreApplication>
#include <QThread>

QObject* WindowLoop::Context() const {
    return context_ ? context_ : QCoreApplication::instance();
}

void WindowLoop::Synchronize(const std::function<void()>& fn) {
    QObject* context = Context();
    if (QThread::currentThread() == context->thread()) {
        fn();
        return;
    }
    // Queued into the window thread's event loop; this thread waits for it.
    QMetaObject::invokeMethod(
        context, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void WindowLoop::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(Context(), std::move(fn), Qt::QueuedConnection);
}
