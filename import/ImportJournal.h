#pragma once

#include "import/NumberedContacts.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace contacts {

// What a journal says of a contact after its latest line.
enum class JournalState {
    Accepted,
    Refused,
    Failed,
    // A request may have reached the platform unanswered, or was in flight
    // when the run ended: the platform may hold the contact.
    Unknown,
};

// The platform, the user, the group and every contact with its number: two
// imports with the same fingerprint send the same requests.
QByteArray ImportFingerprint(const NumberedContacts& contacts, const QString& groupId);

// A journal as read back.
struct JournalReading {
    QByteArray fingerprint;
    std::map<int, JournalState> states; // by contact number
    // The latest run went through every contact; false after a stop, a crash
    // or a kill, and before any run.
    bool lastRunComplete = false;

    int accepted() const;
};

// Reads the journal at path. False, with a description, when it cannot be
// read or is no journal; a last line cut short (a power cut while it was
// written) is passed over.
bool ReadJournal(const QString& path, JournalReading& reading, QString& problem);

// The record of an import as it happens, one line per event in a text file:
//   veltrin-import journal 1 <TAB> fingerprint
//   run <TAB> start time <TAB> contacts
//   row <TAB> mobile <TAB> sending             before each request
//   row <TAB> mobile <TAB> outcome [<TAB> reason]   as soon as it is known
//   end <TAB> complete | interrupted
// with the outcomes accepted, refused, failed and unknown. Each line reaches
// the operating system at once, and the disk within a second and at the end,
// so that after a crash or a kill the next run knows which contacts got in.
class ImportJournal {
public:
    enum class Start {
        Fresh,  // a new record; what the file held is replaced
        Resume, // continues the file's record, which must have the same fingerprint
    };

    // Opens the journal at path. A missing or empty file starts afresh either
    // way. No value, with a description, when the file cannot be read or
    // written, is no journal, or belongs to another import.
    static std::unique_ptr<ImportJournal> Open(const QString& path, const QByteArray& fingerprint, Start start,
                                               QString& problem);
    ~ImportJournal();
    ImportJournal(const ImportJournal&) = delete;
    ImportJournal& operator=(const ImportJournal&) = delete;

    // What the earlier runs recorded, no value for a contact they never reached.
    std::optional<JournalState> earlierState(int row) const;
    const JournalReading& earlier() const { return earlier_; }

    void beginRun(int contacts);
    void sending(int row, const QString& mobile);
    void outcome(int row, const QString& mobile, JournalState state, const QString& reason);
    void endRun(bool complete);

    // True once a line could not be written; the run stops then.
    bool failed() const { return failed_; }
    QString problem() const;

private:
    ImportJournal(const QString& path, JournalReading earlier);
    bool openForAppending(bool resume, QString& problem);
    void writeLine(QString line);
    void syncEverySecond(std::stop_token stop);
    void sync();

    QFile file_;
    JournalReading earlier_;
    std::atomic<bool> unsynced_ = false;
    std::atomic<bool> failed_ = false;
    mutable std::mutex problemMutex_;
    QString problem_;
    std::jthread syncer_;
};

// Where the window keeps the journal of an import with this fingerprint: in
// the user's state folder ($XDG_STATE_HOME/veltrin-import/, by default
// ~/.local/state/veltrin-import/).
QString WindowJournalPath(const QByteArray& fingerprint);

} // namespace contacts
