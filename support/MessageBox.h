#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace support {

enum class MsgIcon { NoIcon, Information, Warning, Critical, Question };

// What one message box showed.
struct MessageRecord {
    QString text;
    MsgIcon icon = MsgIcon::NoIcon;
    QString title;
    QString detailedText;
    QStringList buttons;
};

// Every box shows its texts as plain text.

// A modal message box with an OK button, titled with the application title.
void MsgBox(const QString& text, MsgIcon icon, const QString& detailedText = {});

// A modal message box with the given buttons, titled with the application
// title; returns the index of the button chosen, or escapeIndex when the box
// is closed without a choice.
int MsgBoxChoice(const QString& text, MsgIcon icon, const QStringList& buttons, int defaultIndex,
                 int escapeIndex, const QString& detailedText = {});

// While an instance lives, message boxes are recorded and answered instead of
// shown, so tests can check every box and choose its answer.
class MessageBoxRecorder {
public:
    using Answerer = std::function<int(const MessageRecord&)>;

    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    const QList<MessageRecord>& records() const { return records_; }
    QStringList texts() const;
    void clear() { records_.clear(); }

    // Answers the next choice boxes in order; without queued answers a box
    // gets its default button.
    void queueAnswer(int buttonIndex) { answers_.append(buttonIndex); }
    // Called for every box while it is "shown"; its result is the answer.
    void setAnswerer(Answerer answerer) { answerer_ = std::move(answerer); }

    int record(const MessageRecord& record, int defaultIndex);

private:
    QList<MessageRecord> records_;
    QList<int> answers_;
    Answerer answerer_;
    MessageBoxRecorder* previous_;
};

} // namespace support
