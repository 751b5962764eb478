#pragma once

#include "import/ImportRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <atomic>

#include <QDialog>
class QLabel;
class QPushButton;
namespace controls {
class ProgressBar;
}
namespace contacts {
class ImportJournal;
}

// The import window: logs in again and sends the given contacts to the group
// of gGroupID, with a progress bar, the count sent, the time left and a cancel
// button. The requests run on a thread of their own, so the window repaints
// and answers throughout. One object for the whole run; each showing builds a
// new window, new flags and a new bar.
class FrmImport : public QObject {
    Q_OBJECT

public:
    // False only when the run went through every contact; read after the window closed.
    bool Canceled = true;
    // What the latest run sent, took and failed.
    contacts::ImportSummary Summary;

    // Shows the window modally, without an owner, and runs the import of
    // contacts, recording it in the journal when there is one; returns once
    // the window has closed.
    void Show(const contacts::NumberedContacts& contacts, contacts::ImportJournal* journal);
    QDialog* window() const { return window_; }
    controls::ProgressBar* progressBar() const { return prg; }

private:
    void buildWindow(QDialog& dialog);
    void Form_Load();
    void Form_Activate();
    void RunImport();
    bool closeRequested();
    void reportProgress(const contacts::ImportSummary& summary);
    void showProgress();
    contacts::FailureAction askAboutFailure(const contacts::ImportFailure& failure);

    QPointer<QDialog> window_;
    controls::ProgressBar* prg = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* lblSent = nullptr;
    QLabel* lblTimeLeft = nullptr;

    const contacts::NumberedContacts* contacts_ = nullptr;
    contacts::ImportJournal* journal_ = nullptr;
    std::atomic<bool> StopRequested = false;
    bool RunStarted = false;
    bool Running = false;
    bool SkipEveryFailure = false;

    // Written by the run's thread, shown by the window's.
    std::atomic<int> done_ = 0;
    std::atomic<int> doneBefore_ = 0;
    std::atomic<bool> progressPosted_ = false;
    QElapsedTimer clock_;
};

FrmImport& frmImport();
