#include "import/ImportProgress.h"

#include <cmath>

namespace contacts {
namespace {

QString rateText(double perSecond)
{
    return QString::number(perSecond, 'f', perSecond < 10 ? 1 : 0);
}

} // namespace

QString SentText(int done, int total)
{
    return QStringLiteral("已发送 %1/%2 条").arg(done).arg(total);
}

QString DurationText(std::chrono::seconds duration)
{
    const qint64 seconds = duration.count();
    if (seconds < 60)
        return QStringLiteral("%1秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1小时%2分").arg(seconds / 3600).arg(seconds % 3600 / 60, 2, 10, QLatin1Char('0'));
}

std::optional<Pace> ImportPace(int done, int doneBefore, int total, std::chrono::nanoseconds elapsed)
{
    const int sent = done - doneBefore;
    if (sent <= 0 || elapsed.count() <= 0)
        return std::nullopt;
    const double perSecond = sent * 1e9 / static_cast<double>(elapsed.count());
    return Pace{perSecond, std::chrono::seconds(static_cast<qint64>(std::ceil((total - done) / perSecond)))};
}

QString ProgressText(int done, int total, std::chrono::nanoseconds elapsed, int doneBefore)
{
    const qint64 percent = total > 0 ? qint64(done) * 100 / total : 100;
    QString text = SentText(done, total) + QStringLiteral("（%1%）").arg(percent);
    const std::optional<Pace> pace = ImportPace(done, doneBefore, total, elapsed);
    if (!pace)
        return text;
    return text + QStringLiteral("，每秒 %1 条，约剩 %2").arg(rateText(pace->perSecond), DurationText(pace->left));
}

} // namespace contacts
