#include "app/BatchProgress.h"

#include "support/CodePage.h"

#include <QTextStream>

#include <algorithm>
#include <cmath>

namespace batch {
namespace {

constexpr qint64 RedrawIntervalMs = 100;

QString rateText(double perSecond)
{
    return QString::number(perSecond, 'f', perSecond < 10 ? 1 : 0);
}

} // namespace

QString DurationText(std::chrono::seconds duration)
{
    const qint64 seconds = duration.count();
    if (seconds < 60)
        return QStringLiteral("%1秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1小时%2分").arg(seconds / 3600).arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
}

QString ProgressText(int done, int total, std::chrono::milliseconds elapsed)
{
    const qint64 percent = total > 0 ? qint64(done) * 100 / total : 100;
    QString text = QStringLiteral("已发送 %1/%2 条（%3%）").arg(done).arg(total).arg(percent);
    if (done <= 0 || elapsed.count() <= 0)
        return text;
    const double perSecond = done * 1000.0 / static_cast<double>(elapsed.count());
    const auto left = std::chrono::seconds(static_cast<qint64>(std::ceil((total - done) / perSecond)));
    return text + QStringLiteral("，每秒 %1 条，约剩 %2").arg(rateText(perSecond), DurationText(left));
}

ProgressReport::ProgressReport(QTextStream& out, int total, bool redrawInPlace)
    : out_(out), total_(total), redrawInPlace_(redrawInPlace)
{
    clock_.start();
}

void ProgressReport::update(int done)
{
    if (redrawInPlace_) {
        const qint64 now = clock_.elapsed();
        if (done < total_ && lastDrawn_ >= 0 && now - lastDrawn_ < RedrawIntervalMs)
            return;
        lastDrawn_ = now;
        draw(done);
        return;
    }
    const int tenth = total_ > 0 ? static_cast<int>(qint64(done) * 10 / total_) : 10;
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    out_ << ProgressText(done, total_, std::chrono::milliseconds(clock_.elapsed())) << Qt::endl;
}

void ProgressReport::breakLine()
{
    if (drawnWidth_ == 0)
        return;
    out_ << Qt::endl;
    drawnWidth_ = 0;
}

void ProgressReport::draw(int done)
{
    const QString text = ProgressText(done, total_, std::chrono::milliseconds(clock_.elapsed()));
    // A terminal gives a Chinese character two columns, as many as its GBK
    // bytes; blanks wipe what a longer line before left.
    const qsizetype width = support::ToGbk(text).size();
    out_ << '\r' << text << QString(std::max<qsizetype>(0, drawnWidth_ - width), QLatin1Char(' '));
    out_.flush();
    drawnWidth_ = width;
}

} // namespace batch
