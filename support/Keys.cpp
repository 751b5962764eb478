#include "support/Keys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace support {
namespace {

void sendKey(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QCoreApplication::sendEvent(target, &release);
}

// A synthetic Tab reaches the focus chain only through the widget that has the
// focus; moving it ourselves works also while the window is not active.
void focusNextInTabOrder(QWidget* from)
{
    for (QWidget* w = from->nextInFocusChain(); w && w != from; w = w->nextInFocusChain()) {
        if (w->window() == from->window() && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()
            && w->isVisibleTo(from->window())) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

} // namespace

void SendKeys(const QString& keys, QWidget* target)
{
    if (!target)
        return;
    if (keys == QLatin1String("{TAB}")) {
        focusNextInTabOrder(target);
    } else if (keys == QLatin1String("{Home}+{End}")) {
        sendKey(target, Qt::Key_Home, Qt::NoModifier);
        sendKey(target, Qt::Key_End, Qt::ShiftModifier);
    }
}

} // namespace support
