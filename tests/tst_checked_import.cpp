// The import sends the contacts whose boxes are checked, and only those; the
// counts, the progress bar and every failure keep to the checked contacts and
// to their numbers in the list.
#include "TestMain.h"
#include "controls/ProgressBar.h"
#include "demoserver/DemoServer.h"
#include "import/ContactListModel.h"
#include "import/ContactListView.h"
#include "import/ImportJournal.h"
#include "import/NumberedContacts.h"
#include "import/frmImport.h"
#include "import/frmMain.h"
#include "MainWindowControl.h"
#include "platform/modPub.h"
#include "support/MessageBox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

using namespace modPub;
using demoserver::DemoServer;
using support::MessageBoxRecorder;

namespace {

void dropWorkbook(const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frmMain().window(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frmMain().window(), &drop);
    QTRY_COMPARE(control<QLineEdit>("txtFileName")->text(), QDir::toNativeSeparators(path));
}

void clickEntry(int row)
{
    auto* list = control<ContactListView>("lstCust");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(row, 0)).center());
}

QStringList names(const std::vector<demoserver::Contact>& stored)
{
    QStringList result;
    for (const demoserver::Contact& contact : stored)
        result.append(contact.name);
    return result;
}

// Presses 导入 and returns the progress bar's Max as the import window set it.
int importChecked()
{
    int max = -1;
    QTimer::singleShot(0, [&] {
        if (frmImport().progressBar())
            max = frmImport().progressBar()->Max();
    });
    QTest::mouseClick(control<QPushButton>("cmdOK"), Qt::LeftButton);
    QCoreApplication::processEvents();
    return max;
}

} // namespace

class TestCheckedImport : public QObject {
    Q_OBJECT

    DemoServer server;
    int group = 0;
    QTemporaryDir config; // for the folder the window remembers
    QTemporaryDir state;  // for the import journals

    // The contact numbers the window's journal of the latest import into
    // group recorded.
    std::vector<int> journalNumbers(int groupId)
    {
        const contacts::NumberedContacts sent = contacts::CheckedContacts(
            contacts::NumberedFromOne(gLinkmanTable), control<ContactListView>("lstCust")->contacts()->checked());
        const QString path =
            contacts::WindowJournalPath(contacts::ImportFingerprint(sent, QString::number(groupId)));
        contacts::JournalReading reading;
        QString problem;
        if (!contacts::ReadJournal(path, reading, problem))
            qWarning() << problem;
        std::vector<int> numbers;
        for (const auto& [number, outcome] : reading.states)
            numbers.push_back(number);
        return numbers;
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
        QVERIFY(server.start(0));
        SetBaseURL(server.baseUrl(), nullptr);
        group = demoserver::demoUsers().front().groups.at(0).id;
        gUserName = QStringLiteral("demo");
        gPassword = QStringLiteral("demo123");
        std::unique_ptr<net::XMLDocument> document;
        QVERIFY(CreateXMLObject(document));
        document->load(LoginURL(gUserName, gPassword));
        frmMain().Show();
        QTRY_VERIFY(frmMain().groupsLoaded());
    }

    void cleanupTestCase()
    {
        frmMain().Unload();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        net::XMLDocument::resetSession();
    }

    void numbersStayTheList_data()
    {
        QTest::addColumn<std::vector<int>>("numbers");
        QTest::addColumn<std::vector<bool>>("checked");
        QTest::addColumn<std::vector<int>>("sent");
        QTest::newRow("analysed sheet") << std::vector<int>{1, 2, 3, 4} << std::vector<bool>{true, false, true, false}
                                        << std::vector<int>{1, 3};
        QTest::newRow("failures file") << std::vector<int>{4, 7, 9, 12} << std::vector<bool>{false, true, true, false}
                                       << std::vector<int>{7, 9};
        QTest::newRow("no marks") << std::vector<int>{1, 2, 3, 4} << std::vector<bool>{} << std::vector<int>{1, 2, 3, 4};
        QTest::newRow("none checked") << std::vector<int>{1, 2, 3, 4} << std::vector<bool>(4, false)
                                      << std::vector<int>{};
    }

    void numbersStayTheList()
    {
        QFETCH(std::vector<int>, numbers);
        QFETCH(std::vector<bool>, checked);
        QFETCH(std::vector<int>, sent);
        contacts::NumberedContacts list;
        for (int number : numbers)
            list.table.push_back({QString::number(number), QString::number(13800000000LL + number), {}, {}});
        list.rows = numbers;
        const contacts::NumberedContacts chosen = contacts::CheckedContacts(list, checked);
        QCOMPARE(chosen.rows, sent);
        QCOMPARE(chosen.table.size(), sent.size());
        for (size_t k = 0; k < sent.size(); ++k)
            QCOMPARE(chosen.table[k].name, QString::number(sent[k]));
    }

    void platformHoldsExactlyTheCheckedContacts()
    {
        MessageBoxRecorder boxes;
        boxes.setAnswerer([](const support::MessageRecord&) { return 1; });
        dropWorkbook(QStringLiteral(VELTRIN_TEST_DATA "/contacts/three_sheets.xlsx"));
        const QStringList entries = control<ContactListView>("lstCust")->contacts()->entries();
        QCOMPARE(entries.size(), 4);
        clickEntry(1);
        clickEntry(3);
        control<QComboBox>("cmbGroup")->setCurrentIndex(1);
        server.clearRequestLines();

        QCOMPARE(importChecked(), 2);
        QVERIFY(!frmImport().Canceled);
        QCOMPARE(names(server.contacts(group)), (QStringList{"张三", "18612345678"}));
        QCOMPARE(server.requestLines().size(), 3);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("客户资料导入完成！\n共2条，成功2条，失败0条。")});
        QCOMPARE(frmImport().Summary.total, 2);
        // The journal names the checked contacts by their numbers in the list.
        QCOMPARE(journalNumbers(group), (std::vector<int>{1, 3}));

        // Again into the same group: both are refused, under their numbers in the list.
        boxes.clear();
        QCOMPARE(importChecked(), 2);
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY2(boxes.texts().first().startsWith(
                     QStringLiteral("客户资料导入完成，但有2条联系人没有导入！\n共2条，成功0条，失败2条。\n第1条 张三")),
                 qPrintable(boxes.texts().first()));
        QVERIFY(boxes.texts().first().contains(QStringLiteral("\n第3条 18612345678")));

        // A request that fails is asked about under its number in the list.
        boxes.clear();
        control<QComboBox>("cmbGroup")->setCurrentIndex(2);
        server.setFailurePlan(demoserver::failNth(3));
        importChecked();
        server.setFailurePlan({});
        QVERIFY(boxes.texts().size() >= 2);
        QVERIFY2(boxes.texts().first().startsWith(QStringLiteral("第3条联系人“18612345678”")),
                 qPrintable(boxes.texts().first()));
        const int second = demoserver::demoUsers().front().groups.at(1).id;
        QCOMPARE(names(server.contacts(second)), QStringList{"张三"});
    }

    // Enter on the import window's one button presses it.
    void enterOnCancelStopsTheImport()
    {
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral(VELTRIN_TEST_DATA "/contacts/three_sheets.xlsx"));
        control<QComboBox>("cmbGroup")->setCurrentIndex(3);
        QTimer::singleShot(0, [] {
            auto* cancel = frmImport().window()->findChild<QPushButton*>(QStringLiteral("cmdCancel"));
            QVERIFY(cancel->focusPolicy() & Qt::TabFocus);
            QTest::keyClick(cancel, Qt::Key_Return);
        });
        QTest::mouseClick(control<QPushButton>("cmdOK"), Qt::LeftButton);
        QVERIFY(frmImport().Canceled);
        QCOMPARE(frmImport().Summary.sent, 0);
        QVERIFY(boxes.texts().value(0).startsWith(QStringLiteral("客户资料导入未完成！被强行中断！")));
    }

    void nothingCheckedSendsNothing()
    {
        MessageBoxRecorder boxes;
        dropWorkbook(QStringLiteral(VELTRIN_TEST_DATA "/contacts/one_sheet.xlsx"));
        clickEntry(0);
        clickEntry(1);
        control<QComboBox>("cmbGroup")->setCurrentIndex(1);
        server.clearRequestLines();
        QTest::mouseClick(control<QPushButton>("cmdOK"), Qt::LeftButton);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("请勾选要导入的联系人！")});
        QVERIFY(server.requestLines().isEmpty());
    }
};

VELTRIN_TEST_MAIN(TestCheckedImport)
#include "tst_checked_import.moc"
