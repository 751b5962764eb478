#include "app/Commands.h"

#include "app/BatchGroups.h"
#include "app/BatchImport.h"
#include "app/CommandLine.h"
#include "import/ContactAnalysis.h"
#include "import/ContactsCsv.h"
#include "workbook/Workbook.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <functional>
#include <map>

using namespace commandline;

namespace {

struct Command {
    QString synopsis;
    QString description;
    // Printed after the options by --help.
    QString details;
    std::function<void(QCommandLineParser&)> addArguments;
    std::function<int(const QCommandLineParser&, const QStringList&)> run;
};

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
    const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(files.first(), *sheet - 1, contacts::ListEntries::Omitted);
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

const QString PasswordDetails = QStringLiteral(
    "密码：在终端上输入（不回显）；或取自环境变量 VELTRIN_PASSWORD；或取自 --password-file 文件的第一行。\n"
    "密码不能写在命令行上，也不会出现在任何输出中。\n");

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table{
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
        {QStringLiteral("groups"),
         {QStringLiteral("groups --user NAME [--base-url URL] [--password-file FILE]"),
          QStringLiteral("登录平台，按CSV（UTF-8，表头 id,name,indent；indent 是分组的缩进文字）输出用户的联系人分组，"
                         "顺序同服务器。"),
          PasswordDetails + QStringLiteral("退出状态：0 成功；1 登录或加载分组失败；2 用法错误；4 输入密码时被中断。\n"),
          batch::AddGroupsArguments, batch::RunGroups}},
        {QStringLiteral("import"),
         {QStringLiteral("import FILE --user NAME --group GROUP [--sheet N] [--failures OUT.csv] [--base-url URL] "
                         "[--password-file FILE]"),
          QStringLiteral("不开窗口导入：像窗口一样分析工作表，登录后把联系人逐条发送到分组；进度显示在标准错误上。"),
          PasswordDetails
              + QStringLiteral(
                  "GROUP 先按分组编号找，再按完全一致的分组名称找；几个分组同名时须用编号。\n"
                  "FILE 也可以是 --failures 写出的失败记录文件：其中的联系人直接导入，不再分析工作表。\n"
                  "发送失败的请求（网络、超时、HTTP错误、答复不是XML）隔1、2、4秒重试，最多3次，仍失败则记为失败。\n"
                  "Ctrl-C 或 SIGTERM：正在发送的一条完成后停止，其余的记为未发送；再按一次 Ctrl-C 立即结束。\n"
                  "退出状态：0 全部导入；1 登录失败、无法读取、没有联系人或无法写失败记录文件；2 用法错误；\n"
                  "3 有联系人发送失败或被平台拒绝；4 导入被中断。\n"),
          batch::AddImportArguments, batch::RunImportCommand}},
    };
    return table;
}

// Qt's help text without its own usage line and description, which the
// command's synopsis and description replace.
QString optionsHelp(const QCommandLineParser& parser)
{
    const QString text = parser.helpText();
    const qsizetype options = text.indexOf(QStringLiteral("\n\n"));
    return options < 0 ? text : text.mid(options + 2);
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
    parser.addHelpOption();
    command.addArguments(parser);
    if (!parser.parse(arguments))
        return Usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        QTextStream(stdout) << QStringLiteral("用法：veltrin-import %1\n\n%2\n\n").arg(command.synopsis,
                                                                                      command.description)
                            << optionsHelp(parser) << (command.details.isEmpty() ? QString() : u'\n' + command.details);
        return Success;
    }
    return command.run(parser, parser.positionalArguments());
}
