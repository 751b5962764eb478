#include "TestMain.h"
#include "support/AppInfo.h"
#include "support/CodePage.h"
#include "support/Keys.h"
#include "support/MessageBox.h"
#include "support/Numbers.h"
#include "support/Text.h"
#include "TestPlatform.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

using namespace support;

class TestSupport : public QObject {
    Q_OBJECT

private slots:
    void gbkRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("ascii") << QStringLiteral("Abc 1.5") << QByteArray("Abc 1.5");
        QTest::newRow("chinese") << QStringLiteral("张三") << QByteArray("\xD5\xC5\xC8\xFD");
        QTest::newRow("mixed") << QStringLiteral("a张b") << QByteArray("a\xD5\xC5" "b");
        QTest::newRow("euro is 0x80 in code page 936") << QStringLiteral("€") << QByteArray("\x80");
        QTest::newRow("full-width space") << QStringLiteral("\u3000") << QByteArray("\xA1\xA1");
    }
    void gbkRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToGbk(text), bytes);
        QCOMPARE(FromGbk(bytes), text);
    }

    void gbkUnrepresentable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("emoji is one character") << QStringLiteral("a😀b") << QByteArray("a?b");
        QTest::newRow("lone high surrogate") << QString(QChar(0xD83D)) << QByteArray("?");
        QTest::newRow("lone low surrogate then chinese") << QString(QChar(0xDE00)) + QStringLiteral("张")
                                                         << QByteArray("?\xD5\xC5");
        QTest::newRow("korean hangul") << QStringLiteral("한") << QByteArray("?");
    }
    void gbkUnrepresentable()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToGbk(text), bytes);
    }

    void gbkInvalidBytesBecomeReplacement()
    {
        QCOMPARE(FromGbk(QByteArray("a\xFF" "b")), QStringLiteral("a\uFFFDb"));
        QCOMPARE(FromGbk(QByteArray("\xD5")), QStringLiteral("\uFFFD"));
    }

    void codePages_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("text");
        QTest::newRow("GBK") << QByteArray("\xD5\xC5") << 936 << QStringLiteral("张");
        QTest::newRow("Windows-1252") << QByteArray("caf\xE9") << 1252 << QStringLiteral("café");
        QTest::newRow("unknown, as Windows-1252") << QByteArray("caf\xE9") << 12345 << QStringLiteral("café");
        QTest::newRow("Big5") << QByteArray("\xA7\x41") << 950 << QStringLiteral("你");
        QTest::newRow("GB18030, two bytes") << QByteArray("a\xD5\xC5") << 54936 << QStringLiteral("a张");
        QTest::newRow("GB18030, four bytes") << QByteArray("\x83\x36\x84\x33\x94\x39\xFC\x36") << 54936
                                             << QStringLiteral("한😀");
        QTest::newRow("GB18030, a bad byte among four-byte characters")
            << QByteArray("\x83\x36\x84\x33\xFF\x94\x39\xFC\x36") << 54936 << QStringLiteral("한\uFFFD😀");
        QTest::newRow("GB18030, cut short: the stray byte after the bad one is a digit") << QByteArray("\xD5\xC5\x83\x36") << 54936 << QStringLiteral("张\uFFFD6");
    }
    void codePages()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codePage);
        QFETCH(QString, text);
        if (codePage == 54936 && !testplatform::HasGb18030())
            QSKIP("this system has no GB18030 four-byte characters (Wine 8)");
        QCOMPARE(FromCodePage(bytes, codePage), text);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("54.5") << 54.5 << 54;
        QTest::newRow("55.5") << 55.5 << 56;
        QTest::newRow("12.5") << 12.5 << 12;
        QTest::newRow("37.5") << 37.5 << 38;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("33.33") << 100.0 / 3 << 33;
        QTest::newRow("66.67") << 200.0 / 3 << 67;
        QTest::newRow("max") << 2147483647.0 << 2147483647;
        QTest::newRow("min") << -2147483648.0 << -2147483647 - 1;
    }
    void roundHalfEven()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        QCOMPARE(RoundHalfEven(value), expected);
    }

    void overflowIsAnError()
    {
        QVERIFY_THROWS_EXCEPTION(OverflowError, RoundHalfEven(2147483647.5 + 1));
        QVERIFY_THROWS_EXCEPTION(OverflowError, RoundHalfEven(std::nan("")));
        QVERIFY_THROWS_EXCEPTION(OverflowError, CheckedMul(21474837, 100));
        QCOMPARE(CheckedMul(21474836, 100), 2147483600);
        QVERIFY_THROWS_EXCEPTION(OverflowError, CheckedSub(2147483647, -1));
        QVERIFY_THROWS_EXCEPTION(OverflowError, CheckedAdd(2147483647, 1));
        QCOMPARE(CheckedSub(-5, 0), -5);
    }

    void parseInt32_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "12" << true << 12;
        QTest::newRow("surrounding spaces") << " 12 " << true << 12;
        QTest::newRow("negative") << "-1" << true << -1;
        QTest::newRow("plus sign") << "+7" << true << 7;
        QTest::newRow("max") << "2147483647" << true << 2147483647;
        QTest::newRow("min") << "-2147483648" << true << (-2147483647 - 1);
        QTest::newRow("beyond max") << "2147483648" << false << 0;
        QTest::newRow("letter") << "1a" << false << 0;
        QTest::newRow("fraction") << "1.5" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("inner space") << "1 2" << false << 0;
        QTest::newRow("hex") << "0x10" << false << 0;
    }
    void parseInt32()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto parsed = ParseInt32(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid)
            QCOMPARE(*parsed, value);
    }

    void numberText_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("mobile") << 13812345678.0 << "13812345678";
        QTest::newRow("fraction") << 1.5 << "1.5";
        QTest::newRow("binary noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("negative") << -7.0 << "-7";
        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("15 digits") << 999999999999999.0 << "999999999999999";
        QTest::newRow("1E15") << 1e15 << "1E+15";
        QTest::newRow("small") << 0.0001 << "0.0001";
        QTest::newRow("tiny") << 0.00001 << "1E-05";
        QTest::newRow("16 significant digits cut") << 1234567.890123456 << "1234567.89012346";
        QTest::newRow("negative 15 digits") << -999999999999999.0 << "-999999999999999";
        QTest::newRow("-1E15") << -1e15 << "-1E+15";
        QTest::newRow("huge") << 1.5e300 << "1.5E+300";
        QTest::newRow("whole and 16 digits") << 1234567890123456.0 << "1.23456789012346E+15";
    }

    // The text must stay exactly what the C library's "%.15G" gives, for any value.
    void numberTextMatchesPrintf()
    {
        std::mt19937_64 random(20261208);
        for (int i = 0; i < 200000; ++i) {
            const uint64_t bits = random();
            double value = 0;
            std::memcpy(&value, &bits, sizeof value);
            if (i % 2 == 0)
                value = double(int64_t(bits >> 14) - (int64_t(1) << 49)) / double(uint64_t(1) << (bits % 40));
            if (!std::isfinite(value) || value == 0)
                continue;
            char expected[40];
            std::snprintf(expected, sizeof expected, "%.15G", value);
            if (NumberText(value) != QLatin1String(expected))
                QFAIL(qPrintable(QStringLiteral("%1 printed as %2").arg(expected, NumberText(value))));
        }
    }
    void numberText()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(NumberText(value), text);
    }

    void trimSpacesOnlyTouchesSpaces_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("both");
        QTest::addColumn<QString>("leading");
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("spaces only") << "   " << "" << "";
        QTest::newRow("both ends") << "  a b  " << "a b" << "a b  ";
        QTest::newRow("tab kept") << "\ta\t" << "\ta\t" << "\ta\t";
        QTest::newRow("ideographic space kept") << "\u3000a " << "\u3000a" << "\u3000a ";
        QTest::newRow("line feed kept") << " a\n" << "a\n" << "a\n";
    }
    void trimSpacesOnlyTouchesSpaces()
    {
        QFETCH(QString, text);
        QFETCH(QString, both);
        QFETCH(QString, leading);
        QCOMPARE(TrimSpaces(text), both);
        QCOMPARE(TrimLeadingSpaces(text), leading);
    }

    void recorderRecordsAndAnswers()
    {
        MessageBoxRecorder recorder;
        MsgBox(QStringLiteral("请输入用户名！"), MsgIcon::Information);
        recorder.queueAnswer(2);
        const int answer = MsgBoxChoice(QStringLiteral("q"), MsgIcon::Question,
                                        {QStringLiteral("重试"), QStringLiteral("跳过"), QStringLiteral("停止")}, 0, 2);
        QCOMPARE(answer, 2);
        QCOMPARE(MsgBoxChoice(QStringLiteral("q"), MsgIcon::Question, {QStringLiteral("a"), QStringLiteral("b")}, 1, 0), 1);
        QCOMPARE(recorder.records().size(), 3);
        const MessageRecord& first = recorder.records().first();
        QCOMPARE(first.text, QStringLiteral("请输入用户名！"));
        QCOMPARE(first.icon, MsgIcon::Information);
        QCOMPARE(first.title, QStringLiteral("Veltrin联系人导入"));
        QCOMPARE(first.title, AppTitle());
    }

    void sendKeysTabAndSelectLine()
    {
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* first = new QLineEdit(QStringLiteral("user"), &window);
        auto* hidden = new QLineEdit(&window);
        auto* second = new QLineEdit(&window);
        layout->addWidget(first);
        layout->addWidget(hidden);
        layout->addWidget(second);
        hidden->hide();
        window.show();
        first->setFocus();
        first->setCursorPosition(2);
        SendKeys(QStringLiteral("{Home}+{End}"), first);
        QCOMPARE(first->selectedText(), QStringLiteral("user"));
        SendKeys(QStringLiteral("{TAB}"), first);
        QVERIFY(second->hasFocus() || QApplication::focusWidget() == second || second == window.focusWidget());
    }
};

VELTRIN_TEST_MAIN(TestSupport)
#include "tst_support.moc"
