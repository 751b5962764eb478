#pragma once

#include "import/frmMain.h"

#include <QWidget>
#include <QtGlobal>

// A control of the main window by its name; a missing one ends the test
// program, as no later step could mean anything.
template <typename T> T* control(const char* name)
{
    QWidget* window = frmMain().window();
    auto* widget = window ? window->findChild<T*>(QLatin1String(name)) : nullptr;
    if (!widget)
        qFatal("control %s missing", name);
    return widget;
}
