#include "support/Background.h"

#include <QApplication>
#include <QPointer>
#include <QScopeGuard>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <exception>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace support {
namespace {

// QThread::wait returns once the thread's function has returned, while the
// thread may still be ending. On Windows it then runs the thread-local
// destructors of Qt and the C++ runtime; a program that ended meanwhile cut
// them short and hung in its own end, in the C++ runtime waiting for a lock
// the cut-off thread held. So the GUI thread also waits for the thread's
// handle there, which is signalled at the thread's real end.
class ThreadEnd {
public:
    ThreadEnd() = default;
    ThreadEnd(const ThreadEnd&) = delete;
    ThreadEnd& operator=(const ThreadEnd&) = delete;
#ifdef Q_OS_WIN
    ~ThreadEnd()
    {
        if (handle_)
            CloseHandle(handle_);
    }
    // Called on the thread to be waited for.
    void takeCurrentThread()
    {
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handle_, SYNCHRONIZE, FALSE, 0);
    }
    void wait() const
    {
        if (handle_)
            WaitForSingleObject(handle_, INFINITE);
    }

private:
    HANDLE handle_ = nullptr;
#else
    void takeCurrentThread() {}
    void wait() const {}
#endif
};

} // namespace

void RunOffGuiThread(const std::function<void()>& work)
{
    std::exception_ptr failure;
    std::atomic<bool> done = false;
    QObject waker; // its queued call wakes the GUI thread once the work is done
    ThreadEnd end;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        end.takeCurrentThread();
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
    end.wait();
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
