#include "app/BatchProgress.h"

#include "import/ImportProgress.h"
#include "support/CodePage.h"

#include <QTextStream>

#include <algorithm>

namespace batch {
namespace {

constexpr qint64 RedrawIntervalMs = 100;

} // namespace

ProgressReport::ProgressReport(QTextStream& out, int total, bool redrawInPlace)
    : out_(out), total_(total), redrawInPlace_(redrawInPlace)
{
    clock_.start();
}

void ProgressReport::update(int done, int doneBefore)
{
    const auto text = [&] {
        return contacts::ProgressText(done, total_, std::chrono::nanoseconds(clock_.nsecsElapsed()), doneBefore);
    };
    if (redrawInPlace_) {
        const qint64 now = clock_.elapsed();
        if (done < total_ && lastDrawn_ >= 0 && now - lastDrawn_ < RedrawIntervalMs)
            return;
        lastDrawn_ = now;
        draw(text());
        return;
    }
    const int tenth = total_ > 0 ? static_cast<int>(qint64(done) * 10 / total_) : 10;
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    out_ << text() << Qt::endl;
}

void ProgressReport::breakLine()
{
    if (drawnWidth_ == 0)
        return;
    out_ << Qt::endl;
    drawnWidth_ = 0;
}

void ProgressReport::draw(const QString& text)
{
    // A terminal gives a Chinese character two columns, as many as its GBK
    // bytes; blanks wipe what a longer line before left.
    const qsizetype width = support::ToGbk(text).size();
    out_ << '\r' << text << QString(std::max<qsizetype>(0, drawnWidth_ - width), QLatin1Char(' '));
    out_.flush();
    drawnWidth_ = width;
}

} // namespace batch
