#include "support/Activation.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace support {
namespace {

class ActivationWatcher : public QObject {
public:
    ActivationWatcher(QWidget* window, std::function<void()> handler)
        : QObject(window), window_(window), handler_(std::move(handler))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_) {
            // Deferred, so the window is on screen before the handler's work begins.
            if (event->type() == QEvent::Show)
                QTimer::singleShot(0, this, [this] { handler_(); });
            else if (event->type() == QEvent::WindowActivate)
                handler_();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QWidget> window_;
    std::function<void()> handler_;
};

} // namespace

void OnActivate(QWidget* window, std::function<void()> handler)
{
    new ActivationWatcher(window, std::move(handler));
}

} // namespace support
