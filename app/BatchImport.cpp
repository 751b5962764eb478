#include "app/BatchImport.h"

#include "app/BatchGroups.h"
#include "app/BatchLogin.h"
#include "app/BatchProgress.h"
#include "app/CommandLine.h"
#include "app/WorkbookCommands.h"
#include "import/ContactAnalysis.h"
#include "import/FailuresFile.h"
#include "import/ImportJournal.h"
#include "import/ImportRun.h"
#include "platform/modPub.h"
#include "support/Terminal.h"

#include <QCommandLineParser>
#include <QSaveFile>

#include <numeric>

using namespace commandline;
using namespace modPub;
using contacts::NumberedContacts;

namespace batch {
namespace {

const QCommandLineOption& groupOption()
{
    static const QCommandLineOption option(QStringLiteral("group"),
                                           QStringLiteral("联系人分组：编号，或完全一致的名称。"),
                                           QStringLiteral("GROUP"));
    return option;
}

const QCommandLineOption& failuresOption()
{
    static const QCommandLineOption option(
        QStringLiteral("failures"),
        QStringLiteral("把失败、被拒绝和未发送的联系人写入这个CSV文件（UTF-8，带字节顺序标记），改正后可再导入。"),
        QStringLiteral("OUT.csv"));
    return option;
}

const QCommandLineOption& journalOption()
{
    static const QCommandLineOption option(
        QStringLiteral("journal"),
        QStringLiteral("在这个文件中逐条记录发送和结果。文件已有同一批联系人导入同一分组的记录时，"
                       "已导入的联系人不再发送，只发送其余的。"),
        QStringLiteral("FILE"));
    return option;
}

// What the command imports: the numbered contacts, and the rows of the sheet
// that became no contact (none from a failures file).
struct Source {
    NumberedContacts list;
    std::vector<contacts::SkippedRow> skipped;
};

// A failures file is imported as it stands; anything else goes through the
// sheet analysis, as in the window.
int readContacts(const QString& path, std::optional<int> sheet, Source& source)
{
    if (contacts::IsFailuresFile(path)) {
        if (sheet)
            return Usage(QStringLiteral("--sheet 只用于工作簿，%1 是失败记录文件。").arg(path));
        QString problem;
        if (!contacts::ReadFailuresFile(path, source.list, problem)) {
            Err() << problem << Qt::endl;
            return Failure;
        }
        return Success;
    }
    contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, sheet.value_or(1) - 1, contacts::ListEntries::Omitted);
    if (analysis.outcome != contacts::AnalysisOutcome::Analysed) {
        Err() << contacts::AnalysisMessage(analysis) << Qt::endl;
        return Failure;
    }
    source.list = contacts::NumberedFromOne(std::move(analysis.table));
    source.skipped = std::move(analysis.skipped);
    return Success;
}

// Opened before anything is sent, so that an import never runs without the
// record of its failures.
std::unique_ptr<QSaveFile> openFailuresFile(const QCommandLineParser& parser)
{
    auto file = std::make_unique<QSaveFile>(parser.value(failuresOption()));
    if (!file->open(QIODevice::WriteOnly)) {
        Err() << QStringLiteral("无法写入失败记录文件 %1：%2").arg(file->fileName(), file->errorString()) << Qt::endl;
        return nullptr;
    }
    return file;
}

// Failed requests are retried after a growing pause, with no one to ask; a
// stop during the pause gives up on the contact, as the window's cancel would.
contacts::ImportHooks commandLineHooks(ProgressReport& progress)
{
    contacts::ImportHooks hooks;
    hooks.stopRequested = support::StopSignalReceived;
    hooks.progressed = [&progress](const contacts::ImportSummary& summary) {
        progress.update(summary.done(), summary.alreadyImported);
    };
    hooks.requestFailed = [&progress](const contacts::ImportFailure& failure, int attempt) {
        const QString line = contacts::FailureLine(failure);
        progress.breakLine();
        if (attempt > MaxRetries) {
            Err() << line << QStringLiteral("；已重试%1次，记为失败。").arg(MaxRetries) << Qt::endl;
            return contacts::FailureAction::Skip;
        }
        const std::chrono::milliseconds pause = RetryPause(attempt);
        const QString seconds = QString::number(static_cast<double>(pause.count()) / 1000);
        Err() << line << QStringLiteral("；%1秒后第%2次重试。").arg(seconds).arg(attempt) << Qt::endl;
        return support::WaitUnlessStopped(pause) ? contacts::FailureAction::Retry : contacts::FailureAction::Stop;
    };
    return hooks;
}

int exitStatus(const contacts::ImportSummary& summary)
{
    switch (summary.stopped) {
    case contacts::StopCause::None:
        return summary.failures.isEmpty() ? Success : SomeContactsFailed;
    case contacts::StopCause::User:
        return Interrupted;
    case contacts::StopCause::Login:
    case contacts::StopCause::Journal:
    case contacts::StopCause::NoDocumentObject:
        break;
    }
    return Failure;
}

void reportOutcome(const contacts::ImportSummary& summary, bool listFailures, size_t skippedRows)
{
    if (listFailures)
        for (const contacts::ImportFailure& failure : summary.failures)
            Err() << contacts::FailureLine(failure) << Qt::endl;
    for (const contacts::AcceptedNote& note : summary.notes)
        Err() << contacts::NoteLine(note) << Qt::endl;
    if (summary.stopped == contacts::StopCause::Journal)
        Err() << summary.stopReason << Qt::endl;
    Err() << contacts::CountsLine(summary);
    if (skippedRows > 0)
        Err() << QStringLiteral("跳过%1行，未导入。").arg(skippedRows);
    if (summary.interrupted())
        Err() << QStringLiteral("已发送%1条，导入被中断。").arg(summary.sent);
    Err() << Qt::endl;
}

bool writeFailures(QSaveFile& file, const QList<contacts::ImportFailure>& failures)
{
    QString problem;
    if (!contacts::WriteFailuresFile(file, failures, problem)) {
        Err() << problem << Qt::endl;
        return false;
    }
    if (!failures.isEmpty())
        Err() << QStringLiteral("未导入的%1条联系人已写入 %2，改正后可用 import 再次导入。")
                     .arg(failures.size())
                     .arg(file.fileName())
              << Qt::endl;
    return true;
}

// Logs in, finds the group and leaves its id in gGroupID.
int chooseGroup(const QString& wanted)
{
    if (const int status = LogInChecked(); status != Success)
        return status;
    const auto groups = LoadGroupsReported();
    if (!groups)
        return Failure;
    const GroupChoice choice = ChooseGroup(*groups, wanted);
    if (!choice.id) {
        Err() << choice.problem << Qt::endl;
        return UsageError;
    }
    gGroupID = QString::number(*choice.id);
    return Success;
}

int concludeImport(const contacts::ImportSummary& summary, const Source& source, QSaveFile* failuresFile)
{
    reportOutcome(summary, failuresFile == nullptr, source.skipped.size());
    if (failuresFile && !writeFailures(*failuresFile, contacts::NotImported(summary, source.list)))
        return Failure;
    return exitStatus(summary);
}

// A stop that came before the run: nothing sent, everything left to import.
int concludeStoppedEarly(const Source& source, QSaveFile* failuresFile)
{
    contacts::ImportSummary summary;
    summary.total = static_cast<int>(source.list.size());
    summary.stopped = contacts::StopCause::User;
    summary.unsent.resize(source.list.size());
    std::iota(summary.unsent.begin(), summary.unsent.end(), size_t(0));
    return concludeImport(summary, source, failuresFile);
}

// The journal of the command line continues what it holds when that is the
// record of this very import.
std::unique_ptr<contacts::ImportJournal> openJournal(const QString& path, const NumberedContacts& source)
{
    QString problem;
    auto journal = contacts::ImportJournal::Open(path, contacts::ImportFingerprint(source, gGroupID),
                                                 contacts::ImportJournal::Start::Resume, problem);
    if (!journal)
        Err() << problem << Qt::endl;
    return journal;
}

int sendContacts(const Source& source, QSaveFile* failuresFile, contacts::ImportJournal* journal)
{
    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document)) {
        Err() << QStringLiteral("无法创建xml对象！") << Qt::endl;
        return Failure;
    }
    ProgressReport progress(Err(), static_cast<int>(source.list.size()),
                            support::IsTerminal(support::StandardStream::Error));
    const contacts::ImportSummary summary =
        contacts::RunImport(*document, source.list, gGroupID, commandLineHooks(progress), journal);
    progress.breakLine();
    if (summary.stopped == contacts::StopCause::Login) {
        Err() << QStringLiteral("登录失败！") << summary.stopReason << Qt::endl;
        return Failure;
    }
    return concludeImport(summary, source, failuresFile);
}

} // namespace

void AddImportArguments(QCommandLineParser& parser)
{
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("联系人文件（Excel工作簿、.ods、CSV或文本、网页表格、Excel 2003 XML表格），或 --failures 写出的失败记录文件。"));
    AddLoginOptions(parser);
    parser.addOption(groupOption());
    parser.addOption(SheetOption());
    parser.addOption(failuresOption());
    parser.addOption(journalOption());
    parser.addOption(SkippedOption());
}

int RunImportCommand(const QCommandLineParser& parser, const QStringList& arguments)
{
    if (arguments.size() != 1)
        return Usage(QStringLiteral("请给出一个工作簿文件或失败记录文件。"));
    if (!parser.isSet(groupOption()))
        return Usage(QStringLiteral("请用 --group 给出联系人分组的编号或名称。"));
    std::optional<int> sheet;
    if (parser.isSet(SheetOption()) && !(sheet = SheetNumber(parser)))
        return Usage(QStringLiteral("--sheet 须是从1开始的工作表序号。"));

    // Before the password prompt, so that Ctrl-C there puts the echo back.
    support::CatchStopSignals();
    if (const int status = PrepareLogin(parser); status != Success)
        return status;
    Source source;
    if (const int status = readContacts(arguments.first(), sheet, source); status != Success)
        return status;
    if (!WriteSkippedRows(parser, source.skipped))
        return Failure;
    std::unique_ptr<QSaveFile> failuresFile;
    if (parser.isSet(failuresOption()) && !(failuresFile = openFailuresFile(parser)))
        return Failure;
    if (support::StopSignalReceived())
        return concludeStoppedEarly(source, failuresFile.get());
    if (const int status = chooseGroup(parser.value(groupOption())); status != Success)
        return status;
    std::unique_ptr<contacts::ImportJournal> journal;
    if (parser.isSet(journalOption()) && !(journal = openJournal(parser.value(journalOption()), source.list)))
        return Failure;
    if (support::StopSignalReceived())
        return concludeStoppedEarly(source, failuresFile.get());
    return sendContacts(source, failuresFile.get(), journal.get());
}

std::chrono::milliseconds RetryPause(int attempt)
{
    bool valid = false;
    const int first = qEnvironmentVariableIntValue("VELTRIN_RETRY_PAUSE_MS", &valid);
    const std::chrono::milliseconds base(valid && first >= 0 ? first : 1000);
    return base * (1 << std::clamp(attempt - 1, 0, 16));
}

} // namespace batch
