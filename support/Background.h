#pragma once

#include <functional>

class QWidget;

namespace support {

// Runs work on a thread of its own and returns once it has returned, while the
// GUI thread goes on processing events: the windows repaint and answer. What
// work throws is thrown here. Work that needs the GUI thread may wait for it
// (a blocking queued call): the GUI thread never waits for the work.
void RunOffGuiThread(const std::function<void()>& work);

// The wait for a request started from a window: the busy cursor shows and the
// window takes no input, so that what started the request cannot be started
// again; the focus goes back where it was afterwards.
void WaitBusy(QWidget* window, const std::function<void()>& work);

} // namespace support
