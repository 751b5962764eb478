#pragma once

#include "import/ImportRun.h"
#include "import/NumberedContacts.h"

#include <QObject>
#include <QPointer>

#include <QDialog>
class QPushButton;
namespace controls {
class ProgressBar;
}

// The import window: logs in again and sends the checked contacts of
// gLinkmanTable to the chosen group, with a progress bar and a cancel button. One object for the
// whole run; each showing builds a new window, new flags and a new bar.
class FrmImport : public QObject {
    Q_OBJECT

public:
    // False only when the run went through every contact; read after the window closed.
    bool Canceled = true;
    // What the latest run sent, took and failed, numbered as in the list.
    contacts::ImportSummary Summary;
    // The contacts the next run sends, with their numbers in the list; set
    // by the import button before the window is shown.
    contacts::NumberedContacts Contacts;

    // Shows the window modally, without an owner; returns once it has closed.
    void Show();
    QDialog* window() const { return window_; }
    controls::ProgressBar* progressBar() const { return prg; }

private:
    void buildWindow(QDialog& dialog);
    void Form_Load();
    void Form_Activate();
    void RunImport();
    contacts::FailureAction askAboutFailure(const contacts::ImportFailure& failure);

    QPointer<QDialog> window_;
    controls::ProgressBar* prg = nullptr;
    bool StopRequested = false;
    bool RunStarted = false;
};

FrmImport& frmImport();
