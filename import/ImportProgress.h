#pragma once

#include <QString>

#include <chrono>
#include <optional>

// How far an import has come, in the words of the window and the command line.
namespace contacts {

// "已发送 1234/10000 条"
QString SentText(int done, int total);

// "45秒", "3分07秒", "2小时05分"
QString DurationText(std::chrono::seconds duration);

struct Pace {
    double perSecond = 0;
    std::chrono::seconds left{0};
};
// The rate of this run and the time the rest takes at it; no value before
// anything was sent. done counts from the start of the list, doneBefore the
// contacts an earlier run took, which count for neither. The time is in
// nanoseconds, as QElapsedTimer gives it: a loopback platform answers
// several contacts within a millisecond.
std::optional<Pace> ImportPace(int done, int doneBefore, int total, std::chrono::nanoseconds elapsed);

// "已发送 1234/10000 条（12%），每秒 85 条，约剩 1分44秒"; the rate and the time
// left once there is something to measure them by.
QString ProgressText(int done, int total, std::chrono::nanoseconds elapsed, int doneBefore = 0);

} // namespace contacts
