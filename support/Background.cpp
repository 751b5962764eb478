#include "support/Background.h"

#include <QApplication>
#include <QPointer>
#include <QScopeGuard>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <exception>
#include <memory>

namespace support {

void RunOffGuiThread(const std::function<void()>& work)
{
    std::exception_ptr failure;
    std::atomic<bool> done = false;
    QObject waker; // its queued call wakes the GUI thread once the work is done
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        done = true;
        QMetaObject::invokeMethod(&waker, [] {}, Qt::QueuedConnection);
    }));
    thread->start();
    // Events are processed here rather than in a nested event loop: an
    // application that quits meanwhile ends every event loop at once, and the
    // work may still be waiting for the GUI thread.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    thread->wait();
    if (failure)
        std::rethrow_exception(failure);
}

void WaitBusy(QWidget* window, const std::function<void()>& work)
{
    const QPointer<QWidget> blocked(window);
    const QPointer<QWidget> focus(QApplication::focusWidget());
    const bool enabled = window->isEnabled();
    window->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    const auto restore = qScopeGuard([&] {
        QApplication::restoreOverrideCursor();
        if (blocked)
            blocked->setEnabled(enabled);
        if (focus)
            focus->setFocus();
    });
    RunOffGuiThread(work);
}

} // namespace support
