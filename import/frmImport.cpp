#include "import/frmImport.h"

#include "controls/ProgressBar.h"
#include "import/ImportProgress.h"
#include "platform/modPub.h"
#include "support/Activation.h"
#include "support/Background.h"
#include "support/MessageBox.h"
#include "support/Numbers.h"
#include "support/Twips.h"

#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QPushButton>

using namespace modPub;

namespace {

// Every way of closing the window (its cancel button, the close box, Esc and
// the run's own end) is a close request. While the run is sending, the window
// stays until the contact in flight has its outcome.
class ImportDialog : public QDialog {
public:
    using QDialog::QDialog;
    // True when the window may close now.
    std::function<bool()> onCloseRequest;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (!onCloseRequest()) {
            event->ignore();
            return;
        }
        QDialog::closeEvent(event);
    }
    void reject() override
    {
        if (onCloseRequest())
            QDialog::reject();
    }
};

} // namespace

FrmImport& frmImport()
{
    static FrmImport form;
    return form;
}

void FrmImport::Show(const contacts::NumberedContacts& contacts, contacts::ImportJournal* journal)
{
    contacts_ = &contacts;
    journal_ = journal;
    ImportDialog dialog;
    dialog.onCloseRequest = [this] { return closeRequested(); };
    window_ = &dialog;
    buildWindow(dialog);
    Form_Load();
    dialog.exec();
    window_ = nullptr;
    prg = nullptr;
    cmdCancel = nullptr;
    lblSent = nullptr;
    lblTimeLeft = nullptr;
    contacts_ = nullptr;
    journal_ = nullptr;
}

void FrmImport::buildWindow(QDialog& dialog)
{
    dialog.setObjectName(QStringLiteral("frmImport"));
    dialog.setWindowTitle(QStringLiteral("正在导入客户资料，请稍候..."));
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint);
    support::SetClientSizeTwips(&dialog, 5670, 1020);
    support::OnActivate(&dialog, [this] { Form_Activate(); });

    prg = controls::LoadImportWindowProgressBar(&dialog);

    cmdCancel = new QPushButton(QStringLiteral("取消"), &dialog);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    support::PlaceTwips(cmdCancel, 2280, 630, 915, 315);
    connect(cmdCancel, &QPushButton::clicked, &dialog, &QDialog::close);

    // The count and the time left stand on either side of the cancel button,
    // below the bar, where the window had room.
    lblSent = new QLabel(&dialog);
    lblSent->setObjectName(QStringLiteral("lblSent"));
    lblSent->setTextFormat(Qt::PlainText);
    support::PlaceTwips(lblSent, 90, 630, 2100, 315);
    lblTimeLeft = new QLabel(&dialog);
    lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));
    lblTimeLeft->setTextFormat(Qt::PlainText);
    lblTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    support::PlaceTwips(lblTimeLeft, 3285, 630, 2280, 315);
}

void FrmImport::Form_Load()
{
    Summary = {};
    Summary.total = static_cast<int>(contacts_->size());
    prg->SetMax(static_cast<int32_t>(contacts_->size()));
    RunStarted = false;
    Running = false;
    StopRequested = false;
    SkipEveryFailure = false;
    Canceled = true;
    done_ = 0;
    doneBefore_ = 0;
    showProgress();
}

// Activation recurs (after the failure question, or when the user comes back
// to the window); the run starts once per showing.
void FrmImport::Form_Activate()
{
    if (RunStarted || !window_)
        return;
    RunStarted = true;
    RunImport();
    if (window_)
        window_->close();
}

void FrmImport::RunImport()
{
    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document)) {
        support::MsgBox(QStringLiteral("无法创建xml对象！"), support::MsgIcon::NoIcon);
        Summary.stopped = contacts::StopCause::NoDocumentObject;
        return;
    }
    contacts::ImportHooks hooks;
    hooks.stopRequested = [this] { return StopRequested.load(); };
    hooks.progressed = [this](const contacts::ImportSummary& summary) { reportProgress(summary); };
    hooks.requestFailed = [this](const contacts::ImportFailure& failure, int) {
        contacts::FailureAction action = contacts::FailureAction::Stop;
        QMetaObject::invokeMethod(
            this, [&] { action = askAboutFailure(failure); }, Qt::BlockingQueuedConnection);
        return action;
    };

    clock_.start();
    Running = true;
    // The window reads Summary while the run goes on; the run's own counts
    // reach it once the run is over.
    contacts::ImportSummary result;
    support::RunOffGuiThread([&] { result = contacts::RunImport(*document, *contacts_, gGroupID, hooks, journal_); });
    Running = false;
    Summary = std::move(result);
    done_ = Summary.done();
    showProgress();
    Canceled = Summary.interrupted();
}

// A request under way is never cut off: the run stops before the next
// contact, and the window shows it is stopping until then.
bool FrmImport::closeRequested()
{
    StopRequested = true;
    if (!Running)
        return true;
    cmdCancel->setEnabled(false);
    lblTimeLeft->setText(QStringLiteral("正在停止……"));
    return false;
}

// Called on the run's thread: the window is told once, and reads the latest
// counts when it gets to it, so a fast run never floods it.
void FrmImport::reportProgress(const contacts::ImportSummary& summary)
{
    done_ = summary.done();
    doneBefore_ = summary.alreadyImported;
    if (!progressPosted_.exchange(true))
        QMetaObject::invokeMethod(
            this,
            [this] {
                progressPosted_ = false;
                showProgress();
            },
            Qt::QueuedConnection);
}

void FrmImport::showProgress()
{
    if (!prg)
        return;
    const int done = done_;
    // Past 21,474,836 contacts the percentage overflows; the run goes on and
    // only the bar stops.
    try {
        prg->SetValue(done);
    } catch (const support::OverflowError&) {
    }
    lblSent->setText(contacts::SentText(done, Summary.total));
    if (StopRequested && Running)
        return;
    const std::optional<contacts::Pace> pace = contacts::ImportPace(
        done, doneBefore_, Summary.total, std::chrono::nanoseconds(clock_.isValid() ? clock_.nsecsElapsed() : 0));
    lblTimeLeft->setText(pace && done < Summary.total
                             ? QStringLiteral("约剩 %1").arg(contacts::DurationText(pace->left))
                             : QString());
}

// Nothing is skipped without the user's word, unless the user chose to skip
// every failure from here on.
contacts::FailureAction FrmImport::askAboutFailure(const contacts::ImportFailure& failure)
{
    if (SkipEveryFailure)
        return contacts::FailureAction::Skip;
    QString text = QStringLiteral("第%1条联系人“%2”（%3）发送失败：\n%4\n\n")
                       .arg(failure.row)
                       .arg(failure.contact.name, failure.contact.mobile, failure.reason);
    if (failure.unknown)
        text += QStringLiteral("请求可能已经到达平台，平台可能已经保存了这个联系人。重试时如果平台回复已存在，"
                               "就算作已导入。\n\n");
    text += QStringLiteral("“重试”再次发送，“跳过”记为失败并继续，“全部跳过”把这条和以后失败的都记为失败、不再询问，"
                           "“停止”记为失败并结束导入。");
    const int choice = support::MsgBoxChoice(
        text, support::MsgIcon::Critical,
        {QStringLiteral("重试"), QStringLiteral("跳过"), QStringLiteral("全部跳过"), QStringLiteral("停止")}, 0, 3);
    switch (choice) {
    case 0:
        return contacts::FailureAction::Retry;
    case 1:
        return contacts::FailureAction::Skip;
    case 2:
        SkipEveryFailure = true;
        return contacts::FailureAction::Skip;
    default:
        return contacts::FailureAction::Stop;
    }
}
