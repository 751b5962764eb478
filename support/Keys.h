#pragma once

#include <QString>

class QWidget;

namespace support {

// Sends key strokes to a control as if typed: "{TAB}" (focus to the next
// control in tab order) and "{Home}+{End}" (Home, then Shift+End, which
// selects the whole text of a line edit). Other sequences are not needed by
// the tool and are ignored.
void SendKeys(const QString& keys, QWidget* target);

} // namespace support
