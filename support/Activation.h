#pragma once

#include <functional>

class QWidget;

namespace support {

// Calls handler whenever the window is activated. A window being shown counts
// as activated too: the offscreen platform and some X11 setups never send the
// activation, and a form's Form_Activate must run on its first showing. The
// handler guards itself against the repeats this allows.
void OnActivate(QWidget* window, std::function<void()> handler);

} // namespace support
