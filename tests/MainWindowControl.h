#pragma once

#include "import/frmMain.h"

#include <QString>
#include <QWidget>
#include <QtGlobal>

// A control of the main window by its name; a missing one ends the test
// program, as no later step could mean anything.
template <typename T> T* control(const QString& name)
{
    QWidget* window = frmMain().window();
    auto* widget = window ? window->findChild<T*>(name) : nullptr;
    if (!widget)
        qFatal("control %s missing", qPrintable(name));
    return widget;
}
