#include "app/frmLogin.h"

#include "platform/Settings.h"
#include "platform/modPub.h"
#include "support/Background.h"
#include "support/Keys.h"
#include "support/MessageBox.h"
#include "support/Text.h"
#include "support/Twips.h"

#include <QDialog>
#include <QFontMetrics>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

using namespace modPub;
using support::PlaceTwips;

namespace {

constexpr int TipLines = 10;

// Ten lines of a CJK face at its own line spacing do not fit the tip's box,
// so the lines are set one pixel apart, each as high as the box allows, and
// the face as large as the longest line leaves room for.
void fitTipToBox(QTextEdit* tip)
{
    tip->document()->setDocumentMargin(2);
    const QSize room = tip->contentsRect().size() - 2 * QSize(2, 2);
    const int lineHeight = room.height() / TipLines;
    QFont font = tip->font();
    const QStringList lines = tip->toPlainText().split(QLatin1Char('\n'));
    for (int size = lineHeight - 1; size > 6; --size) {
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        const bool fits = std::all_of(lines.begin(), lines.end(), [&](const QString& line) {
            return metrics.horizontalAdvance(line) < room.width();
        });
        if (fits)
            break;
    }
    tip->setFont(font);
    QTextBlockFormat spacing;
    spacing.setLineHeight(lineHeight, QTextBlockFormat::FixedHeight);
    QTextCursor everything(tip->document());
    everything.select(QTextCursor::Document);
    everything.mergeBlockFormat(spacing);
}

} // namespace

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
    lblServer = nullptr;
}

void FrmLogin::buildWindow(QDialog& dialog)
{
    dialog.setWindowTitle(QStringLiteral("登录"));
    dialog.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint);
    support::SetClientSizeTwips(&dialog, 3885, 3240);

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

    // Enter on a focused button presses that button; elsewhere it logs in.
    auto* cmdCancel = new QPushButton(QStringLiteral("退出"), &dialog);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    PlaceTwips(cmdCancel, 2940, 540, 870, 300);
    connect(cmdCancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    // The tip is read, not edited, and Tab passes it by. Its lines are
    // broken by hand; the final line end would only add an empty eleventh.
    auto* txtTip = new QTextEdit(&dialog);
    txtTip->setObjectName(QStringLiteral("txtTip"));
    txtTip->setPlainText(QString(TipText()).chopped(2));
    txtTip->setReadOnly(true);
    txtTip->setLineWrapMode(QTextEdit::NoWrap);
    txtTip->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtTip->setFocusPolicy(Qt::ClickFocus);
    PlaceTwips(txtTip, 90, 900, 3705, 1875);
    fitTipToBox(txtTip);

    lblServer = new QLabel(&dialog);
    lblServer->setObjectName(QStringLiteral("lblServer"));
    lblServer->setTextFormat(Qt::PlainText);
    PlaceTwips(lblServer, 105, 2880, 2760, 240);

    auto* cmdServer = new QPushButton(QStringLiteral("服务器…"), &dialog);
    cmdServer->setObjectName(QStringLiteral("cmdServer"));
    PlaceTwips(cmdServer, 2940, 2850, 870, 300);
    connect(cmdServer, &QPushButton::clicked, this, &FrmLogin::cmdServer_Click);

    QWidget::setTabOrder(txtUserName, txtPassword);
    QWidget::setTabOrder(txtPassword, cmdOK);
    QWidget::setTabOrder(cmdOK, cmdCancel);
    QWidget::setTabOrder(cmdCancel, cmdServer);
    QWidget::setTabOrder(cmdServer, txtTip);
}

// The user name of the last accepted login is offered, so the password is
// what is left to type.
void FrmLogin::Form_Load()
{
    LoginSucceeded = false;
    showServer();
    txtUserName->setText(settings::LastUserName());
    if (txtUserName->text().isEmpty())
        txtUserName->setFocus();
    else
        txtPassword->setFocus();
}

void FrmLogin::showServer()
{
    lblServer->setText(QStringLiteral("服务器：%1").arg(BaseURLServer()));
}

// The address is asked for again until it is usable or the user gives up;
// a changed address is used at once and saved for the next start.
void FrmLogin::cmdServer_Click()
{
    QString typed = BaseURL();
    for (;;) {
        bool ok = false;
        typed = QInputDialog::getText(window_, QStringLiteral("服务器"),
                                      QStringLiteral("平台服务器的地址（存放Login.asp的网址）："), QLineEdit::Normal,
                                      typed, &ok);
        if (!ok)
            return;
        QString reason;
        const QString url = CompleteBaseURL(typed);
        if (SetBaseURL(url, &reason))
            break;
        support::MsgBox(QStringLiteral("服务器地址无效：%1。").arg(reason), support::MsgIcon::Critical);
    }
    showServer();
    QString problem;
    if (!settings::SaveBaseURL(BaseURL(), &problem))
        support::MsgBox(QStringLiteral("这次使用新的服务器地址，但下次启动时不会记得它：%1。").arg(problem),
                        support::MsgIcon::Information);
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
    // What went wrong on the way when the platform gave no answer of its own.
    QString failure;
    QString status;
    QString reason;
    // The request runs off the GUI thread, behind the busy cursor.
    support::WaitBusy(window_, [&] {
        try {
            document->load(LoginURL(gUserName, gPassword));
        } catch (const net::XMLError& error) {
            failure = error.description();
        }
        try {
            status = RootChildText(*document, 0);
        } catch (const net::XMLError& error) {
            if (failure.isEmpty())
                failure = error.description();
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
        settings::RememberUserName(gUserName);
        window_->accept();
        return;
    }
    const QString why = failure.isEmpty() ? reason : QLatin1Char('\n') + failure;
    support::MsgBox(QStringLiteral("登录失败！") + why, support::MsgIcon::Critical);
    txtUserName->setFocus();
    support::SendKeys(QStringLiteral("{Home}+{End}"), txtUserName);
}
