#include "app/WorkbookCommands.h"

#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "support/Terminal.h"
#include "workbook/Workbook.h"

#include <QCommandLineParser>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace commandline;

namespace {

void addWorkbookArgument(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("联系人文件：Excel工作簿（.xls、.xlsx等）、.ods、CSV或文本、网页表格、Excel 2003 XML表格"));
}

// Writes the command's result to standard output and hands it over to the
// system: output it cannot take (a full disk, a closed pipe) makes the command
// fail, where otherwise the loss would only show in a short file.
bool writeOut(const std::function<bool(QIODevice&)>& write, const QString& what)
{
    QFile out;
    if (out.open(stdout, QIODevice::WriteOnly) && write(out) && out.flush() && std::fflush(stdout) == 0)
        return true;
    const QString reason = out.error() != QFileDevice::NoError ? out.errorString()
                                                               : QString::fromLocal8Bit(std::strerror(errno));
    Err() << QStringLiteral("无法写出%1：%2").arg(what, reason) << Qt::endl;
    return false;
}

int runSheets(const QCommandLineParser&, const QStringList& files)
{
    if (files.size() != 1)
        return Usage(QStringLiteral("请给出一个工作簿文件。"));
    QString names;
    try {
        const auto book = workbook::Workbook::Bind(files.first());
        for (int position = 1; position <= book->Count(); ++position)
            names += book->Name(position) + u'\n';
    } catch (const workbook::WorkbookError& error) {
        Err() << QStringLiteral("无法读取工作簿：") << error.description() << Qt::endl;
        return Failure;
    }
    const QByteArray text = names.toUtf8();
    const bool written =
        writeOut([&](QIODevice& out) { return out.write(text) == text.size(); }, QStringLiteral("工作表名称"));
    return written ? Success : Failure;
}

int runContacts(const QCommandLineParser& parser, const QStringList& files)
{
    if (files.size() != 1)
        return Usage(QStringLiteral("请给出一个工作簿文件。"));
    const std::optional<int> sheet = SheetNumber(parser);
    if (!sheet)
        return Usage(QStringLiteral("--sheet 须是从1开始的工作表序号。"));
    const contacts::SheetAnalysis analysis =
        contacts::AnalyseSheet(files.first(), *sheet - 1, contacts::ListEntries::Omitted);
    if (analysis.outcome != contacts::AnalysisOutcome::Analysed) {
        Err() << contacts::AnalysisMessage(analysis) << Qt::endl;
        return Failure;
    }
    Err() << contacts::ColumnsLine(analysis.columns) << Qt::endl << contacts::SummaryLine(analysis) << Qt::endl;
    if (!WriteSkippedRows(parser, analysis.skipped))
        return Failure;
    if (!writeOut([&](QIODevice& out) { return contacts::WriteContactsCsv(out, analysis.table); },
                  QStringLiteral("联系人")))
        return Failure;
    // All that is left is freeing the table string by string, which the
    // system does at once when the process ends: a tenth of the run on a big
    // sheet. So the process ends here.
    support::EndProcessNow(Success);
}

} // namespace

namespace commandline {

const QCommandLineOption& SkippedOption()
{
    static const QCommandLineOption option(
        QStringLiteral("skipped"),
        QStringLiteral("把跳过的行（重复的手机号码、第4个空行之后的手机号码）写入这个CSV文件"
                       "（UTF-8，带字节顺序标记，表头 row,name,mobile,reason；row 是工作表的行号）。"),
        QStringLiteral("OUT.csv"));
    return option;
}

bool WriteSkippedRows(const QCommandLineParser& parser, const std::vector<contacts::SkippedRow>& rows)
{
    if (!parser.isSet(SkippedOption()))
        return true;
    QSaveFile file(parser.value(SkippedOption()));
    const QByteArray csv = contacts::SkippedRowsCsv(rows);
    if (file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size() && file.commit())
        return true;
    Err() << QStringLiteral("无法写入跳过的行的记录文件 %1：%2").arg(file.fileName(), file.errorString()) << Qt::endl;
    return false;
}

} // namespace commandline

const Commands& WorkbookCommands()
{
    static const Commands table{
        {QStringLiteral("sheets"),
         {QStringLiteral("sheets FILE"), QStringLiteral("列出工作簿中的工作表名称，每行一个。"), QString(),
          addWorkbookArgument, runSheets}},
        {QStringLiteral("contacts"),
         {QStringLiteral("contacts FILE [--sheet N] [--skipped OUT.csv]"),
          QStringLiteral("分析工作表，按CSV（UTF-8，表头 name,mobile,tel,remark）输出找到的联系人；"
                         "所用的列和找到的联系人数写到标准错误输出。"),
          QString(),
          [](QCommandLineParser& parser) {
              addWorkbookArgument(parser);
              parser.addOption(SheetOption());
              parser.addOption(SkippedOption());
          },
          runContacts}},
    };
    return table;
}
