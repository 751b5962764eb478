#include "app/frmLogin.h"

#include "platform/modPub.h"
#include "support/AppInfo.h"
#include "support/Background.h"
#include "support/Keys.h"
#include "support/MessageBox.h"
#include "support/Text.h"
#include "support/Twips.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace modPub;
using support::PlaceTwips;

FrmLogin& frmLogin()
{
    static FrmLogin form;
    return form;
}

const QString& FrmLogin::TipText()
{
    static const QString text = QStringLiteral(
        "说明：\r\n"
        "    本导入程序提供从特定格式的EXCEL表格\r\n"
        "将联系人资料（姓名和手机号码）导入Veltrin\r\n"
        "企业短信平台系统的功能。\r\n"
        "    EXCEL表格的格式为前一列姓名、后一列\r\n"
        "手机号码（如果没有姓名，则系统自动将手机\r\n"
        "号码作为联系人的姓名）。\r\n"
        "    如果有多个表需导入到不同的联系人分组\r\n"
        "中，请登录Veltrin企业短信平台进行联系人分\r\n"
        "组管理。\r\n");
    return text;
}

void FrmLogin::Show()
{
    QDialog dialog;
    window_ = &dialog;
    buildWindow(dialog);
    Form_Load();
    dialog.exec();
    window_ = nullptr;
    txtUserName = nullptr;
    txtPassword = nullptr;
}

void FrmLogin::buildWindow(QDialog& dialog)
{
    dialog.setWindowTitle(QStringLiteral("登录"));
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint);
    support::SetClientSizeTwips(&dialog, 3885, 2835);

    auto* lblUser = new QLabel(QStringLiteral("用户名："), &dialog);
    lblUser->setObjectName(QStringLiteral("lblLabels0"));
    PlaceTwips(lblUser, 105, 150, 1080, 270);

    txtUserName = new QLineEdit(&dialog);
    txtUserName->setObjectName(QStringLiteral("txtUserName"));
    PlaceTwips(txtUserName, 840, 135, 2085, 315);
    txtUserName->installEventFilter(this);

    auto* lblPassword = new QLabel(QStringLiteral("口  令："), &dialog);
    lblPassword->setObjectName(QStringLiteral("lblLabels1"));
    PlaceTwips(lblPassword, 105, 540, 1080, 270);

    txtPassword = new QLineEdit(&dialog);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    PlaceTwips(txtPassword, 840, 525, 2085, 315);

    auto* cmdOK = new QPushButton(QStringLiteral("登录"), &dialog);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    PlaceTwips(cmdOK, 2940, 120, 870, 300);
    connect(cmdOK, &QPushButton::clicked, this, &FrmLogin::cmdOK_Click);

    auto* cmdCancel = new QPushButton(QStringLiteral("退出"), &dialog);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    PlaceTwips(cmdCancel, 2940, 540, 870, 300);
    connect(cmdCancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    // The tip is read, not edited, and Tab passes it by.
    auto* txtTip = new QPlainTextEdit(&dialog);
    txtTip->setObjectName(QStringLiteral("txtTip"));
    txtTip->setPlainText(TipText());
    txtTip->setReadOnly(true);
    // The tip's lines are broken by hand to fit the box: twenty Chinese
    // characters of 11 pixels beside the scroll bar.
    txtTip->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont tipFont = txtTip->font();
    tipFont.setPixelSize(11);
    txtTip->setFont(tipFont);
    txtTip->setFocusPolicy(Qt::ClickFocus);
    PlaceTwips(txtTip, 90, 900, 3705, 1875);

    QWidget::setTabOrder(txtUserName, txtPassword);
    QWidget::setTabOrder(txtPassword, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);
    QWidget::setTabOrder(cmdCancel, txtTip);
    txtUserName->setFocus();
}

void FrmLogin::Form_Load()
{
    LoginSucceeded = false;
}

// Enter in the user-name box moves on to the password box instead of pressing
// the default button, whatever Shift, Ctrl and Alt say.
bool FrmLogin::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtUserName && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            support::SendKeys(QStringLiteral("{TAB}"), txtUserName);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// A step that fails (a failed load, a missing reply child) is skipped and the
// handling goes on; a text whose reading failed stays empty.
void FrmLogin::cmdOK_Click()
{
    gUserName = support::TrimSpaces(txtUserName->text());
    if (gUserName.isEmpty()) {
        support::MsgBox(QStringLiteral("请输入用户名！"), support::MsgIcon::Information);
        txtUserName->setFocus();
        return;
    }
    gPassword = txtPassword->text();

    std::unique_ptr<net::XMLDocument> document;
    if (!CreateXMLObject(document)) {
        support::MsgBox(QStringLiteral("无法创建xml对象！"), support::MsgIcon::Critical);
        LoginSucceeded = false;
        window_->reject();
        return;
    }
    QString status;
    QString reason;
    // The request runs off the GUI thread, behind the busy cursor.
    support::WaitBusy(window_, [&] {
        try {
            document->load(LoginURL(gUserName, gPassword));
        } catch (const net::XMLError&) {
        }
        try {
            status = RootChildText(*document, 0);
        } catch (const net::XMLError&) {
        }
        try {
            reason = RootChildText(*document, 1);
        } catch (const net::XMLError&) {
        }
    });
    // Closed while it waited: the user has left.
    if (!window_->isVisible())
        return;

    if (status == QLatin1String("0")) {
        LoginSucceeded = true;
        window_->accept();
        return;
    }
    support::MsgBox(QStringLiteral("登录失败！") + reason, support::MsgIcon::Critical);
    txtUserName->setFocus();
    support::SendKeys(QStringLiteral("{Home}+{End}"), txtUserName);
}
