#pragma once

#include <QElapsedTimer>
#include <QString>

#include <chrono>

class QTextStream;

namespace batch {

// "已发送 1234/10000 条（12%），每秒 85 条，约剩 1分44秒"; the rate and the time
// left once there is something to measure them by.
QString ProgressText(int done, int total, std::chrono::milliseconds elapsed);
// "45秒", "3分07秒", "2小时05分"
QString DurationText(std::chrono::seconds duration);

// The progress of an import on a stream: on a terminal one line redrawn in
// place, at most ten times a second; otherwise a line of its own at every
// tenth of the contacts.
class ProgressReport {
public:
    ProgressReport(QTextStream& out, int total, bool redrawInPlace);
    void update(int done);
    // Ends the line being redrawn, so that a message can follow on a line of its own.
    void breakLine();

private:
    void draw(int done);

    QTextStream& out_;
    int total_;
    bool redrawInPlace_;
    QElapsedTimer clock_;
    qint64 lastDrawn_ = -1;
    int lastTenth_ = 0;
    qsizetype drawnWidth_ = 0;
};

} // namespace batch
