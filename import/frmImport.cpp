#include "import/frmImport.h"

#include "platform/modPub.h"
#include "controls/ProgressBar.h"
#include "support/Activation.h"
#include "support/AppInfo.h"
#include "support/Keys.h"
#include "support/MessageBox.h"
#include "support/Numbers.h"
#include "support/Twips.h"

#include <QCloseEvent>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

using namespace modPub;

namespace {

// Every way of closing the window (its cancel button, the close box, Esc and
// the run's own end) is a close request, and none is refused.
class ImportDialog : public QDialog {
public:
    using QDialog::QDialog;
    std::function<void()> onCloseRequest;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        onCloseRequest();
        QDialog::closeEvent(event);
    }
    void reject() override
    {
        onCloseRequest();
        QDialog::reject();
    }
};

} // namespace

FrmImport& frmImport()
{
    static FrmImport form;
    return form;
}

void FrmImport::Show()
{
    ImportDialog dialog;
    dialog.onCloseRequest = [this] { StopRequested = true; };
    window_ = &dialog;
    buildWindow(dialog);
    Form_Load();
    dialog.exec();
    window_ = nullptr;
    prg = nullptr;
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

    auto* cmdCancel = new QPushButton(QStringLiteral("取消"), &dialog);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    support::PlaceTwips(cmdCancel, 2280, 630, 915, 315);
    connect(cmdCancel, &QPushButton::clicked, &dialog, &QDialog::close);
}

void FrmImport::Form_Load()
{
    Summary = {};
    Summary.total = static_cast<int>(gLinkmanTable.size());
    prg->SetMax(static_cast<int32_t>(gLinkmanTable.size()));
    RunStarted = false;
    StopRequested = false;
    Canceled = true;
}

// The run lets events through between contacts, which can activate the window
// again; it starts once per showing.
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
        return;
    }
    contacts::ImportHooks hooks;
    hooks.beforeContact = [] { support::DoEvents(); };
    hooks.stopRequested = [this] { return StopRequested; };
    hooks.contactDone = [this](const contacts::ImportSummary&) {
        // Past 21,474,836 contacts the percentage overflows; the run goes on
        // and only the bar stops.
        try {
            if (prg)
                prg->SetValue(prg->Value() + 1);
        } catch (const support::OverflowError&) {
        }
    };
    hooks.requestFailed = [this](const contacts::ImportFailure& failure, int) { return askAboutFailure(failure); };

    Summary = contacts::RunImport(*document, gLinkmanTable, gGroupID, hooks);
    if (Summary.loginFailed) {
        support::MsgBox(QStringLiteral("登录失败！") + Summary.loginReason, support::MsgIcon::Critical);
        return;
    }
    // The login went through: from here only a stop makes the run incomplete.
    Canceled = Summary.interrupted;
}

// Nothing is skipped without the user's word.
contacts::FailureAction FrmImport::askAboutFailure(const contacts::ImportFailure& failure)
{
    const QString text = QStringLiteral("第%1条联系人“%2”（%3）发送失败：\n%4\n\n"
                                        "“重试”再次发送，“跳过”记为失败并继续，“停止”结束导入。")
                             .arg(failure.row)
                             .arg(failure.contact.name, failure.contact.mobile, failure.reason);
    const int choice = support::MsgBoxChoice(text, support::MsgIcon::Critical,
                                             {QStringLiteral("重试"), QStringLiteral("跳过"), QStringLiteral("停止")}, 0, 2);
    switch (choice) {
    case 0:
        return contacts::FailureAction::Retry;
    case 1:
        return contacts::FailureAction::Skip;
    default:
        return contacts::FailureAction::Stop;
    }
}
