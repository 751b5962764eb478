// Workbooks made to hurt the reader, analysed as the main window analyses a
// chosen file: each ends in a message the user can act on, within bounded
// memory, and never in a crash.
#include "TestMain.h"
#include "import/ContactAnalysis.h"
#include "tests/PeakMemory.h"
#include "tests/ScratchFile.h"
#include "TestPlatform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using contacts::AnalysisOutcome;

namespace {

QString fixture(const QString& name)
{
    return QStringLiteral(VELTRIN_TEST_DATA "/hostile/") + name;
}

} // namespace

class TestHostileFiles : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch;

    QString scratchFile(const QString& name, const QByteArray& content)
    {
        return WriteScratchFile(scratch, name, content);
    }

private slots:
    void refusedWithADescription_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("zip bomb whose headers lie about its size")
            << fixture(QStringLiteral("lying_bomb.xlsx")) << QStringLiteral("lying_bomb.xlsx");
        QTest::newRow("sector chain looping inside the stream")
            << fixture(QStringLiteral("ole_cycle_inside_stream.xls")) << QStringLiteral("ole_cycle_inside_stream.xls");
        QTest::newRow("0-byte file") << scratchFile(QStringLiteral("empty.xls"), {}) << QStringLiteral("空文件");
        QTest::newRow("0-byte .xlsx") << scratchFile(QStringLiteral("empty.xlsx"), {}) << QStringLiteral("空文件");
        QTest::newRow("a directory") << scratch.path() << QStringLiteral("文件夹");
        QTest::newRow("a directory named like a workbook")
            << [this] {
                   QDir(scratch.path()).mkdir(QStringLiteral("book.xls"));
                   return scratch.filePath(QStringLiteral("book.xls"));
               }()
            << QStringLiteral("文件夹");
        QTest::newRow("OLE2 signature only")
            << scratchFile(QStringLiteral("header.xls"), QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
            << QStringLiteral("header.xls");
        QTest::newRow("zip signature only") << scratchFile(QStringLiteral("header.xlsx"), "PK\x03\x04")
                                            << QStringLiteral("header.xlsx");
        QTest::newRow("missing file") << scratch.filePath(QStringLiteral("gone.xls")) << QStringLiteral("不存在");
    }
    void refusedWithADescription()
    {
        QFETCH(QString, path);
        QFETCH(QString, mentions);
        const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, 0);
        QCOMPARE(analysis.outcome, AnalysisOutcome::Failed);
        const QString message = contacts::AnalysisMessage(analysis);
        QVERIFY2(message.startsWith(QStringLiteral("数据分析失败！")), qPrintable(message));
        QVERIFY2(message.size() > QStringLiteral("数据分析失败！").size(), qPrintable(message));
        QVERIFY2(message.contains(mentions), qPrintable(message));
        QVERIFY(analysis.table.empty());
        VERIFY_MEMORY_BOUND();
    }

    // Claimed counts and extents are only claims: the few cells really there
    // are read, and nothing is allocated for the rest.
    void hugeClaimsReadAsTheCellsThere_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow(".xls: two thousand million shared strings") << fixture(QStringLiteral("sst_two_billion.xls"));
        QTest::newRow(".xlsx: as many strings, a million columns") << fixture(QStringLiteral("claims.xlsx"));
    }
    void hugeClaimsReadAsTheCellsThere()
    {
        QFETCH(QString, path);
        const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, 0);
        QCOMPARE(contacts::AnalysisMessage(analysis), QString());
        QCOMPARE(analysis.table.size(), size_t(1));
        QCOMPARE(analysis.table.front().mobile, QStringLiteral("13812345678"));
        VERIFY_MEMORY_BOUND();
    }

    void unreadableFile()
    {
        const QString path = scratchFile(QStringLiteral("locked.xls"), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        const testplatform::UnreadableFile locked(path);
        if (!locked.failure().isEmpty())
            QSKIP(qPrintable(locked.failure()));
        const contacts::SheetAnalysis analysis = contacts::AnalyseSheet(path, 0);
        QCOMPARE(analysis.outcome, AnalysisOutcome::Failed);
        QVERIFY2(contacts::AnalysisMessage(analysis).contains(QStringLiteral("无法打开")),
                 qPrintable(analysis.description));
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestHostileFiles)
#include "tst_hostile_files.moc"
