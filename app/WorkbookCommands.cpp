#include "app/WorkbookCommands.h"

#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "workbook/Workbook.h"

#include <QCommandLineParser>
#include <QFile>

using namespace commandline;

namespace {

void addWorkbookArgument(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("工作簿文件（.xls或.xlsx）"));
}

int runSheets(const QCommandLineParser&, const QStringList& files)
{
    if (files.size() != 1)
        return Usage(QStringLiteral("请给出一个工作簿文件。"));
    try {
        const auto book = workbook::Workbook::Bind(files.first());
        QTextStream out(stdout);
        for (int position = 1; position <= book->Count(); ++position)
            out << book->Name(position) << '\n';
        return Success;
    } catch (const workbook::WorkbookError& error) {
        Err() << QStringLiteral("无法读取工作簿：") << error.description() << Qt::endl;
        return Failure;
    }
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
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || !contacts::WriteContactsCsv(out, analysis.table)) {
        Err() << QStringLiteral("无法写出联系人：") << out.errorString() << Qt::endl;
        return Failure;
    }
    return Success;
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
