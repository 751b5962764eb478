#pragma once

#include <QElapsedTimer>

class QTextStream;

namespace batch {

// The progress of an import on a stream (contacts::ProgressText): on a
// terminal one line redrawn in place, at most ten times a second; otherwise a
// line of its own at every tenth of the contacts.
class ProgressReport {
public:
    ProgressReport(QTextStream& out, int total, bool redrawInPlace);
    // done counts the contacts through, doneBefore those an earlier run took.
    void update(int done, int doneBefore);
    // Ends the line being redrawn, so that a message can follow on a line of its own.
    void breakLine();

private:
    void draw(const QString& text);

    QTextStream& out_;
    int total_;
    bool redrawInPlace_;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1;
    int lastTenth_ = 0;
    qsizetype drawnWidth_ = 0;
};

} // namespace batch
