#include "import/ImportReport.h"

#include <QStringList>

namespace contacts {
namespace {

constexpr qsizetype LinesShown = 10;

QString firstLine(const ImportSummary& summary, int notImported)
{
    switch (summary.stopped) {
    case StopCause::None:
        return notImported == 0 ? QStringLiteral("客户资料导入完成！")
                                : QStringLiteral("客户资料导入完成，但有%1条联系人没有导入！").arg(notImported);
    case StopCause::User:
        return QStringLiteral("客户资料导入未完成！被强行中断！");
    case StopCause::Login:
        return QStringLiteral("客户资料导入未完成！登录失败！") + summary.stopReason;
    case StopCause::Journal:
        return QStringLiteral("客户资料导入未完成！") + summary.stopReason;
    case StopCause::NoDocumentObject:
        break;
    }
    return QStringLiteral("客户资料导入未完成！无法创建xml对象！");
}

// Before the run sent anything, the counts would only say that nothing was.
bool stoppedBeforeSending(const ImportSummary& summary)
{
    return summary.stopped == StopCause::Login || summary.stopped == StopCause::NoDocumentObject;
}

} // namespace

ImportReport ReportImport(const ImportSummary& summary)
{
    const int notImported = static_cast<int>(summary.failures.size() + summary.unsent.size());
    ImportReport report;
    report.text = firstLine(summary, notImported);
    if (stoppedBeforeSending(summary)) {
        report.tone = ReportTone::Failed;
        report.text += QStringLiteral("\n没有发送任何联系人（共%1条）。").arg(summary.total);
        return report;
    }
    report.tone = notImported == 0 && !summary.interrupted() ? ReportTone::Complete : ReportTone::Incomplete;
    report.offerSave = notImported > 0;
    report.text += u'\n' + CountsLine(summary);
    if (!summary.unsent.empty())
        report.text += QStringLiteral("已发送%1条，还有%2条没有发送。").arg(summary.sent).arg(summary.unsent.size());

    QStringList lines;
    for (const ImportFailure& failure : summary.failures)
        lines.append(FailureLine(failure));
    for (const AcceptedNote& note : summary.notes)
        lines.append(NoteLine(note));
    if (lines.isEmpty())
        return report;
    report.text += u'\n' + lines.mid(0, LinesShown).join(u'\n');
    if (lines.size() > LinesShown)
        report.text += QStringLiteral("\n……（全部%1条见详细信息）").arg(lines.size());
    report.details = lines.join(u'\n');
    return report;
}

} // namespace contacts
