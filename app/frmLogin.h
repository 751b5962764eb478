#pragma once

#include <QObject>
#include <QPointer>

#include <QDialog>
class QLabel;
class QLineEdit;
class QPushButton;

// The login dialog: asks for the platform user name and password, stores them
// in gUserName and gPassword and sends the login request. One object for the
// whole run; its window exists only while it is shown.
class FrmLogin : public QObject {
    Q_OBJECT

public:
    // True only after the server accepted a login; keeps its value after the
    // dialog has closed, which is when start-up reads it.
    bool LoginSucceeded = false;

    // Shows the dialog modally, without an owner window; returns once it has closed.
    void Show();
    // The open dialog, or null when it is not shown.
    QDialog* window() const { return window_; }

    static const QString& TipText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow(QDialog& dialog);
    void Form_Load();
    void cmdOK_Click();
    void cmdServer_Click();
    void showServer();

    QPointer<QDialog> window_;
    QLineEdit* txtUserName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* lblServer = nullptr;
};

FrmLogin& frmLogin();
