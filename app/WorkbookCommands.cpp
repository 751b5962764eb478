#include "app/WorkbookCommands.h"

#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "workbook/Workbook.h"

#include <QCommandLineParser>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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
    if (!writeOut([&](QIODevice& out) { return contacts::WriteContactsCsv(out, analysis.table); },
                  QStringLiteral("联系人")))
        return Failure;
    // All that is left is freeing the table string by string, which the
    // system does at once when the process ends: a tenth of the run on a big
    // sheet. So the process ends here.
    std::quick_exit(Success);
}

} // namespace

const Commands& WorkbookCommands()
{
    static const Commands table{
        {QStringLiteral("sheets"),
         {QStringLiteral("sheets FILE"), QStringLiteral("列出工作簿中的工作表名称，每行一个。"), QString(),
          addWorkbookArgument, runSheets}},
        {QStringLiteral("contacts"),
         {QStringLiteral("contacts FILE [--sheet N]"),
          QStringLiteral("分析工作表，按CSV（UTF-8，表头 name,mobile,tel,remark）输出找到的联系人。"), QString(),
          [](QCommandLineParser& parser) {
              addWorkbookArgument(parser);
              parser.addOption(SheetOption());
          },
          runContacts}},
    };
    return table;
}
