// What the main window says about an analysis: the columns used, the count
// of contacts, and the rows passed over with their reasons.
#include "TestMain.h"
#include "ScriptedServer.h"
#include "platform/modPub.h"
#include "import/frmMain.h"
#include "MainWindowControl.h"
#include "support/MessageBox.h"

#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using support::MessageBoxRecorder;

namespace {

// Chooses a workbook of the test data through the file dialog, as a user
// pastes its full path (the dialog opens in the folder of the last workbook):
// on Windows with the drive and backslashes.
void chooseWorkbook(const QString& folder, const QString& name)
{
    const QString fileName =
        QDir::toNativeSeparators(testplatform::TestDataPath(folder + QLatin1Char('/') + name));
    QTimer::singleShot(0, [fileName] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(widget);
            if (dialog && dialog->isVisible() && dialog->findChild<QLineEdit*>(QStringLiteral("txtFile"))) {
                dialog->findChild<QLineEdit*>(QStringLiteral("txtFile"))->setText(fileName);
                QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
                return;
            }
        }
        QFAIL("no file dialog");
    });
    QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSelFile")), Qt::LeftButton);
}

void chooseSheet(int index)
{
    QTest::mouseClick(control<QRadioButton>(QStringLiteral("optSheet%1").arg(index)), Qt::LeftButton);
}

} // namespace

class TestAnalysisWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<ScriptedServer> server;

private slots:
    void init()
    {
        server = std::make_unique<ScriptedServer>(ScriptedServer::always(
            {200, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Result><Status>0</Status><Msg/><List/></Result>"}));
        modPub::SetBaseURL(server->baseUrl(), nullptr);
        frmMain().Show();
        QTRY_VERIFY(frmMain().groupsLoaded());
    }
    void cleanup()
    {
        frmMain().Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        server.reset();
    }

    void summaryBelowTheList_data()
    {
        QTest::addColumn<int>("sheet");
        QTest::addColumn<QString>("columns");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("rowsToShow");
        QTest::newRow("headings") << 0 << "姓名：B列　手机：D列　电话：—　备注：E列"
                                  << "找到联系人3个（其中1个没有手机号码），跳过0行。" << false;
        QTest::newRow("duplicates") << 4 << "姓名：A列　手机：B列　电话：—　备注：C列"
                                    << "找到联系人4个（其中2个没有手机号码），跳过2行。" << true;
        QTest::newRow("by place") << 8 << "姓名：A列　手机：B列　电话：C列　备注：D列" << "找到联系人1个，跳过0行。"
                                  << false;
    }
    void summaryBelowTheList()
    {
        QFETCH(int, sheet);
        QFETCH(QString, columns);
        QFETCH(QString, summary);
        QFETCH(bool, rowsToShow);
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("sheets"), QStringLiteral("people.xlsx"));
        chooseSheet(sheet);
        QVERIFY(boxes.records().isEmpty());
        QCOMPARE(control<QLabel>(QStringLiteral("lblColumns"))->text(), columns);
        QCOMPARE(control<QLabel>(QStringLiteral("lblSummary"))->text(), summary);
        QCOMPARE(control<QPushButton>(QStringLiteral("cmdSkipped"))->isEnabled(), rowsToShow);
    }

    // The rows passed over open in a list beside the window, which changes nothing.
    void skippedRowsShownOnRequest()
    {
        chooseWorkbook(QStringLiteral("sheets"), QStringLiteral("people.xlsx"));
        chooseSheet(5);
        QTest::mouseClick(control<QPushButton>(QStringLiteral("cmdSkipped")), Qt::LeftButton);
        auto* dialog = frmMain().window()->findChild<QDialog*>(QStringLiteral("frmSkipped"));
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->isVisible());
        auto* rows = dialog->findChild<QPlainTextEdit*>(QStringLiteral("txtSkipped"));
        QVERIFY(rows->isReadOnly());
        QCOMPARE(rows->toPlainText(), QStringLiteral("第7行 丙 13800000013：在第4个空行之后，未读取\n"
                                                     "第10行 丁 13800000014：在第4个空行之后，未读取\n"
                                                     "第11行 139 0000 0015 13900000015：在第4个空行之后，未读取"));
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("cmdClose")), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frmMain().window()->findChild<QDialog*>(QStringLiteral("frmSkipped")));
        QCOMPARE(modPub::gLinkmanTable.size(), size_t(2));
    }

    // A sheet without contacts leaves the list, and what is said about it, as they were.
    void unknownFormatKeepsTheSummary()
    {
        MessageBoxRecorder boxes;
        chooseWorkbook(QStringLiteral("contacts"), QStringLiteral("three_sheets.xlsx"));
        const QString summary = QStringLiteral("找到联系人4个（其中1个没有手机号码），跳过0行。");
        QCOMPARE(control<QLabel>(QStringLiteral("lblSummary"))->text(), summary);
        chooseSheet(1);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("未知的数据格式！")});
        QCOMPARE(control<QLabel>(QStringLiteral("lblSummary"))->text(), summary);
        QCOMPARE(control<QLabel>(QStringLiteral("lblColumns"))->text(), QStringLiteral("姓名：A列　手机：B列　电话：C列　备注：D列"));
    }
};

VELTRIN_TEST_MAIN(TestAnalysisWindow)
#include "tst_analysis_window.moc"
