#include "import/ImportJournal.h"

#include "platform/modPub.h"
#include "support/AppInfo.h"
#include "support/FileSync.h"
#include "support/Numbers.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <condition_variable>

using namespace std::chrono_literals;

namespace contacts {
namespace {

const QByteArray Header("veltrin-import journal 1\t");

struct StateWord {
    JournalState state;
    const char* word;
};
constexpr StateWord StateWords[] = {
    {JournalState::Accepted, "accepted"},
    {JournalState::Refused, "refused"},
    {JournalState::Failed, "failed"},
    {JournalState::Unknown, "unknown"},
};
constexpr char Sending[] = "sending";

QString wordOf(JournalState state)
{
    for (const StateWord& entry : StateWords)
        if (entry.state == state)
            return QLatin1String(entry.word);
    return {};
}

std::optional<JournalState> stateOf(const QString& word)
{
    // A request in flight when the run ended may have been acted on.
    if (word == QLatin1String(Sending))
        return JournalState::Unknown;
    for (const StateWord& entry : StateWords)
        if (word == QLatin1String(entry.word))
            return entry.state;
    return std::nullopt;
}

// A field keeps its line to itself: tabs and line breaks become spaces.
QString field(QString text)
{
    for (QChar& c : text)
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    return text;
}

void addToHash(QCryptographicHash& hash, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const auto length = static_cast<quint32>(bytes.size());
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&length), sizeof length));
    hash.addData(bytes);
}

bool readLine(const QString& line, JournalReading& reading)
{
    const QStringList fields = line.split(u'\t');
    if (fields[0] == QLatin1String("run")) {
        reading.lastRunComplete = false;
        return true;
    }
    if (fields[0] == QLatin1String("end") && fields.size() >= 2) {
        reading.lastRunComplete = fields[1] == QLatin1String("complete");
        return fields[1] == QLatin1String("complete") || fields[1] == QLatin1String("interrupted");
    }
    const std::optional<int32_t> row = support::ParseInt32(fields[0]);
    const std::optional<JournalState> state = fields.size() >= 3 ? stateOf(fields[2]) : std::nullopt;
    if (!row || *row < 1 || !state)
        return false;
    reading.states[*row] = *state;
    return true;
}

// Opens the file for reading; false, with a description, when it cannot be
// read or does not begin as a journal.
bool openJournal(QFile& file, QString& problem)
{
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("无法读取导入日志 %1：%2").arg(file.fileName(), file.errorString());
        return false;
    }
    if (!file.peek(Header.size()).startsWith(Header)) {
        problem = QStringLiteral("%1 不是导入日志。").arg(file.fileName());
        return false;
    }
    return true;
}

bool isJournal(const QString& path, QString& problem)
{
    QFile file(path);
    return openJournal(file, problem);
}

} // namespace

QByteArray ImportFingerprint(const NumberedContacts& contacts, const QString& groupId)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& part : {modPub::BaseURL(), modPub::gUserName, groupId})
        addToHash(hash, part);
    for (size_t k = 0; k < contacts.size(); ++k) {
        const Linkman& contact = contacts.table[k];
        for (const QString& part : {QString::number(contacts.rows[k]), contact.name, contact.mobile, contact.tel,
                                    contact.remark})
            addToHash(hash, part);
    }
    return hash.result().toHex();
}

int JournalReading::accepted() const
{
    return static_cast<int>(std::count_if(states.begin(), states.end(), [](const auto& entry) {
        return entry.second == JournalState::Accepted;
    }));
}

bool ReadJournal(const QString& path, JournalReading& reading, QString& problem)
{
    QFile file(path);
    if (!openJournal(file, problem))
        return false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    reading = {};
    reading.fingerprint = lines.first().mid(Header.size());
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty() || readLine(QString::fromUtf8(lines[i]), reading))
            continue;
        // Only the last line can have been cut short while it was written.
        if (i == lines.size() - 1)
            break;
        problem = QStringLiteral("导入日志 %1 第%2行无法识别。").arg(path).arg(i + 1);
        return false;
    }
    return true;
}

std::unique_ptr<ImportJournal> ImportJournal::Open(const QString& path, const QByteArray& fingerprint, Start start,
                                                   QString& problem)
{
    JournalReading earlier;
    const bool holdsSomething = QFileInfo(path).size() > 0;
    const bool resume = holdsSomething && start == Start::Resume;
    // What is not a journal is never written over; a damaged one may be
    // replaced, not continued.
    if (resume ? !ReadJournal(path, earlier, problem) : holdsSomething && !isJournal(path, problem))
        return nullptr;
    if (resume && earlier.fingerprint != fingerprint) {
        problem = QStringLiteral("导入日志 %1 记录的是另一次导入（联系人、分组、用户或平台不同）；"
                                 "请换一个文件，或删除它后重新导入。")
                      .arg(path);
        return nullptr;
    }
    if (!resume)
        earlier = {fingerprint, {}, false};
    std::unique_ptr<ImportJournal> journal(new ImportJournal(path, std::move(earlier)));
    if (!journal->openForAppending(resume, problem))
        return nullptr;
    journal->syncer_ = std::jthread([self = journal.get()](std::stop_token stop) { self->syncEverySecond(stop); });
    return journal;
}

ImportJournal::ImportJournal(const QString& path, JournalReading earlier)
    : file_(path), earlier_(std::move(earlier))
{
}

ImportJournal::~ImportJournal()
{
    if (syncer_.joinable()) {
        syncer_.request_stop();
        syncer_.join();
    }
    sync();
}

bool ImportJournal::openForAppending(bool resume, QString& problem)
{
    const QIODevice::OpenMode mode = resume ? QIODevice::ReadWrite | QIODevice::Append
                                            : QIODevice::WriteOnly | QIODevice::Truncate;
    if (!file_.open(mode | QIODevice::Unbuffered)) {
        problem = QStringLiteral("无法写入导入日志 %1：%2").arg(file_.fileName(), file_.errorString());
        return false;
    }
    if (!resume) {
        writeLine(QString::fromLatin1(Header + earlier_.fingerprint));
    } else {
        // A last line cut short must not run into the first new one.
        char last = '\n';
        if (file_.seek(file_.size() - 1) && file_.getChar(&last) && last != '\n')
            file_.write("\n");
    }
    if (failed_)
        problem = this->problem();
    return !failed_;
}

std::optional<JournalState> ImportJournal::earlierState(int row) const
{
    const auto found = earlier_.states.find(row);
    if (found == earlier_.states.end())
        return std::nullopt;
    return found->second;
}

void ImportJournal::beginRun(int contacts)
{
    writeLine(QStringLiteral("run\t%1\t%2").arg(QDateTime::currentDateTime().toString(Qt::ISODate)).arg(contacts));
}

void ImportJournal::sending(int row, const QString& mobile)
{
    writeLine(QStringLiteral("%1\t%2\t%3").arg(row).arg(field(mobile), QLatin1String(Sending)));
}

void ImportJournal::outcome(int row, const QString& mobile, JournalState state, const QString& reason)
{
    QString line = QStringLiteral("%1\t%2\t%3").arg(row).arg(field(mobile), wordOf(state));
    if (!reason.isEmpty())
        line += u'\t' + field(reason);
    writeLine(line);
}

void ImportJournal::endRun(bool complete)
{
    writeLine(complete ? QStringLiteral("end\tcomplete") : QStringLiteral("end\tinterrupted"));
    sync();
}

QString ImportJournal::problem() const
{
    const std::lock_guard guard(problemMutex_);
    return problem_;
}

// One write per line on an unbuffered file: a line is with the operating
// system before the request it announces is sent.
void ImportJournal::writeLine(QString line)
{
    if (failed_)
        return;
    line += u'\n';
    const QByteArray bytes = line.toUtf8();
    if (file_.write(bytes) != bytes.size()) {
        const std::lock_guard guard(problemMutex_);
        problem_ = QStringLiteral("无法写入导入日志 %1：%2").arg(file_.fileName(), file_.errorString());
        failed_ = true;
        return;
    }
    unsynced_ = true;
}

void ImportJournal::syncEverySecond(std::stop_token stop)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    while (!wake.wait_for(lock, stop, 1s, [&stop] { return stop.stop_requested(); }))
        sync();
}

void ImportJournal::sync()
{
    if (unsynced_.exchange(false) && !support::SyncToDisk(file_)) {
        const std::lock_guard guard(problemMutex_);
        problem_ = QStringLiteral("无法把导入日志 %1 写入磁盘。").arg(file_.fileName());
        failed_ = true;
    }
}

QString WindowJournalPath(const QByteArray& fingerprint)
{
    return support::StateFolder() + u'/' + QString::fromLatin1(fingerprint) + QStringLiteral(".journal");
}

} // namespace contacts
