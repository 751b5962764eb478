#include "app/Commands.h"

#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "workbook/Workbook.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <functional>
#include <map>

namespace {

constexpr int Success = 0;
constexpr int Failure = 1;
constexpr int UsageError = 2;

struct Command {
    QString synopsis;
    QString description;
    std::function<int(QCommandLineParser&, const QStringList&)> run;
    std::function<void(QCommandLineParser&)> addOptions;
};

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage(const QString& message)
{
    err() << message << QStringLiteral("（--help 查看用法）") << Qt::endl;
    return UsageError;
}

int runSheets(QCommandLineParser&, const QStringList& files)
{
    if (files.size() != 1)
        return usage(QStringLiteral("请给出一个工作簿文件。"));
    try {
        const auto book = workbook::Workbook::Bind(files.first());
        QTextStream out(stdout);
        for (int position = 1; position <= book->Count(); ++position)
            out << book->Name(position) << '\n';
        return Success;
    } catch (const workbook::WorkbookError& error) {
        err() << QStringLiteral("无法读取工作簿：") << error.description() << Qt::endl;
        return Failure;
    }
}

const QCommandLineOption& sheetOption()
{
    static const QCommandLineOption option(QStringLiteral("sheet"), QStringLiteral("工作表序号，从1开始（默认1）。"),
                                           QStringLiteral("N"), QStringLiteral("1"));
    return option;
}

int runContacts(QCommandLineParser& parser, const QStringList& files)
{
    if (files.size() != 1)
        return usage(QStringLiteral("请给出一个工作簿文件。"));
    bool ok = false;
    const int sheet = parser.value(sheetOption()).toInt(&ok);
    if (!ok || sheet < 1)
        return usage(QStringLiteral("--sheet 须是从1开始的工作表序号。"));
    const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(files.first(), sheet - 1);
    if (analysis.outcome != contacts::AnalysisOutcome::Analysed) {
        err() << contacts::AnalysisMessage(analysis) << Qt::endl;
        return Failure;
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || !contacts::WriteContactsCsv(out, analysis.table)) {
        err() << QStringLiteral("无法写出联系人：") << out.errorString() << Qt::endl;
        return Failure;
    }
    return Success;
}

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table{
        {QStringLiteral("sheets"),
         {QStringLiteral("sheets FILE"), QStringLiteral("列出工作簿中的工作表名称，每行一个。"), runSheets,
          [](QCommandLineParser&) {}}},
        {QStringLiteral("contacts"),
         {QStringLiteral("contacts FILE [--sheet N]"),
          QStringLiteral("分析工作表，按CSV（UTF-8，表头 name,mobile,tel,remark）输出找到的联系人。"), runContacts,
          [](QCommandLineParser& parser) { parser.addOption(sheetOption()); }}},
    };
    return table;
}

} // namespace

bool IsCommand(const QString& name)
{
    return commands().count(name) > 0;
}

QString CommandsSummary()
{
    QString summary;
    for (const auto& [name, command] : commands())
        summary += QStringLiteral("  veltrin-import %1\n      %2\n").arg(command.synopsis, command.description);
    return summary;
}

int RunCommand(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const QString name = arguments.takeAt(1);
    const Command& command = commands().at(name);

    QCommandLineParser parser;
    parser.setApplicationDescription(command.description);
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("工作簿文件（.xls或.xlsx）"));
    command.addOptions(parser);
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << QStringLiteral("用法：veltrin-import %1\n\n").arg(command.synopsis)
                            << parser.helpText().section(u'\n', 2);
        return Success;
    }
    return command.run(parser, parser.positionalArguments());
}
