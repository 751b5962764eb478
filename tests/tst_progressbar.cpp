#include "TestMain.h"
#include "controls/ProgressBar.h"
#include "controls/ProgressMath.h"
#include "controls/PropertyBag.h"
#include "support/Numbers.h"
#include "support/Twips.h"

#include <QMetaClassInfo>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <limits>
#include <memory>

using namespace controls;

namespace {

const QColor Blue(0, 0, 255);
const QColor White(255, 255, 255);

// A bar without border, so that its image spans the whole widget.
std::unique_ptr<ProgressBar> plainBar(int width = 100, int height = 25)
{
    auto bar = std::make_unique<ProgressBar>();
    bar->SetBorderStyle(0);
    bar->resize(width, height);
    bar->show();
    if (!QTest::qWaitForWindowExposed(bar.get()))
        qFatal("the progress bar was not shown");
    return bar;
}

// Where the bar's right edge lies, in pixels, at a percentage.
int expectedBarPixels(const ProgressBar& bar, int percent)
{
    const int32_t width = support::RoundHalfEven(support::PixelsToTwips(bar.width()));
    return std::min(support::TwipsToPixels(UnitOf(width) * percent), bar.Image().width());
}

// The bar spans the full height and the text never reaches the bottom row, so
// the bar's extent is the run of bar colour along that row.
int barPixels(const QImage& image, const QColor& barColor = Blue)
{
    const int y = image.height() - 1;
    int x = 0;
    while (x < image.width() && image.pixelColor(x, y) == barColor)
        ++x;
    return x;
}

bool onlyColor(const QImage& image, const QRect& area, const QColor& color)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y) != color)
                return false;
    return true;
}

int countColor(const QImage& image, const QRect& area, const QColor& color)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += image.pixelColor(x, y) == color;
    return count;
}

// The box holding every pixel that is neither bar nor background colour, or
// that is background over the bar / bar colour beside it (i.e. the text).
QRect textBox(const QImage& image, int barEdge)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) != (x < barEdge ? Blue : White))
                box |= QRect(x, y, 1, 1);
    return box;
}

QStringList reported(const QSignalSpy& spy)
{
    QStringList names;
    for (const auto& arguments : spy)
        names << arguments.at(0).toString();
    return names;
}

} // namespace

class TestProgressBar : public QObject {
    Q_OBJECT

private slots:
    void percentages_data()
    {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("percent");
        QTest::newRow("1 of 3") << 3 << 1 << 33;
        QTest::newRow("2 of 3") << 3 << 2 << 67;
        QTest::newRow("3 of 3") << 3 << 3 << 100;
        QTest::newRow("12.5 goes down to even") << 8 << 1 << 12;
        QTest::newRow("37.5 goes up to even") << 8 << 3 << 38;
        QTest::newRow("62.5 goes down to even") << 8 << 5 << 62;
        QTest::newRow("87.5 goes up to even") << 8 << 7 << 88;
    }
    void percentages()
    {
        QFETCH(int, max);
        QFETCH(int, value);
        QFETCH(int, percent);
        QCOMPARE(PercentOf(value, 0, max), percent);
        auto bar = plainBar();
        bar->SetMax(max);
        bar->SetValue(value);
        QCOMPARE(barPixels(bar->Image()), expectedBarPixels(*bar, percent));
    }

    void unitAndText()
    {
        QCOMPARE(UnitOf(5475), 55);
        QCOMPARE(UnitOf(5425), 54);
        QCOMPARE(UnitOf(5450), 54);
        QCOMPARE(UnitOf(5550), 56);
        QCOMPARE(PercentText(0), QStringLiteral(" 0%"));
        QCOMPARE(PercentText(45), QStringLiteral(" 45%"));
        QCOMPARE(PercentText(100), QStringLiteral(" 100%"));
        QCOMPARE(ToQColor(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(ToQColor(0x0080FF), QColor(255, 128, 0));
        QCOMPARE(FromQColor(QColor(0x12, 0x34, 0x56)), 0x563412u);
    }

    void rangeKeepsValueAndMinInOrder()
    {
        ProgressBar bar;
        bar.SetMax(10);
        bar.SetValue(4);
        bar.SetValue(11);
        QCOMPARE(bar.Value(), 4);
        bar.SetValue(-1);
        QCOMPARE(bar.Value(), 4);
        bar.SetValue(10);
        QCOMPARE(bar.Value(), 10);

        bar.SetMin(2);
        QCOMPARE(bar.Value(), 2);
        bar.SetValue(7);
        bar.SetMax(20);
        QCOMPARE(bar.Value(), 2);

        bar.SetMin(0);
        bar.SetMax(-5);
        QCOMPARE(bar.Min(), -5);
        QCOMPARE(bar.Max(), -5);
        QCOMPARE(bar.Value(), -5);

        bar.SetMax(100);
        bar.SetMin(200);
        QCOMPARE(bar.Max(), 200);
        QCOMPARE(bar.Min(), 200);
        QCOMPARE(bar.Value(), 200);
    }

    void changeReports_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("Max") << "Max" << QStringList{"Value", "Max"};
        QTest::newRow("Min") << "Min" << QStringList{"Value", "Min"};
        QTest::newRow("Value accepted") << "Value" << QStringList{"Value"};
        QTest::newRow("Value refused") << "Value out of range" << QStringList{};
        QTest::newRow("BackColor") << "BackColor" << QStringList{"BackColor"};
        QTest::newRow("Font") << "Font" << QStringList{"Font"};
        QTest::newRow("Appearance") << "Appearance" << QStringList{"Appearance"};
        QTest::newRow("MousePointer") << "MousePointer" << QStringList{"MousePointer"};
        QTest::newRow("Enabled") << "Enabled" << QStringList{"Enabled"};
    }
    void changeReports()
    {
        QFETCH(QString, property);
        QFETCH(QStringList, names);
        ProgressBar bar;
        QSignalSpy spy(&bar, &ProgressBar::PropertyChanged);
        if (property == "Max")
            bar.SetMax(50);
        else if (property == "Min")
            bar.SetMin(5);
        else if (property == "Value")
            bar.SetValue(5);
        else if (property == "Value out of range")
            bar.SetValue(101);
        else if (property == "BackColor")
            bar.SetBackColor(0x00FF00);
        else if (property == "Font")
            bar.SetFont(QFont("DejaVu Sans", 20));
        else if (property == "Appearance")
            bar.SetAppearance(0);
        else if (property == "MousePointer")
            bar.SetMousePointer(11);
        else if (property == "Enabled")
            bar.SetEnabled(false);
        QCOMPARE(reported(spy), names);
    }

    void valueIsReportedAfterTheBarIsDrawn()
    {
        auto bar = plainBar();
        int drawnWhenReported = -1;
        connect(bar.get(), &ProgressBar::PropertyChanged, bar.get(),
                [&](const QString&) { drawnWhenReported = barPixels(bar->Image()); });
        bar->SetValue(40);
        QCOMPARE(drawnWhenReported, expectedBarPixels(*bar, 40));
    }

    void colours_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<uint>("given");
        QTest::addColumn<uint>("stored");
        QTest::newRow("button face") << "BackColor" << 0x8000000Fu << 0xC8D0D4u;
        QTest::newRow("desktop") << "BackColor" << 0x80000001u << 0xA56E3Au;
        QTest::newRow("3-D dark shadow") << "BackColor" << 0x80000015u << 0x404040u;
        QTest::newRow("tool tip text") << "BackColor" << 0x80000017u << 0x000000u;
        QTest::newRow("beyond the table") << "BackColor" << 0x80000018u << 0x80000018u;
        QTest::newRow("plain background") << "BackColor" << 0x123456u << 0x123456u;
        QTest::newRow("bar in button text") << "ForeColor" << 0x80000012u << 0xFF0000u;
        QTest::newRow("bar beyond the table") << "ForeColor" << 0x80000030u << 0xFF0000u;
        QTest::newRow("plain bar") << "ForeColor" << 0x00FF00u << 0x00FF00u;
        QTest::newRow("text in window colour") << "TextColor" << 0x80000005u << 0xFF0000u;
        QTest::newRow("plain text") << "TextColor" << 0x0000FFu << 0x0000FFu;
    }
    void colours()
    {
        QFETCH(QString, property);
        QFETCH(uint, given);
        QFETCH(uint, stored);
        ProgressBar bar;
        QVERIFY(bar.setProperty(property.toLatin1(), QVariant::fromValue<OleColor>(given)));
        QCOMPARE(bar.property(property.toLatin1()).value<OleColor>(), stored);
    }

    void appearanceKeepsBackColour()
    {
        auto bar = plainBar();
        bar->SetBorderStyle(1);
        bar->SetBackColor(0x00FF00);
        bar->SetAppearance(0);
        QCOMPARE(bar->Appearance(), int16_t(0));
        QCOMPARE(bar->BackColor(), 0x00FF00u);
        // A flat border is one pixel wide, the 3-D one two.
        QCOMPARE(bar->Image().width(), bar->width() - 2);
        QCOMPARE(bar->Image().pixelColor(bar->Image().width() - 1, 0), QColor(0, 255, 0));
    }

    void invalidSurfaceValuesAreRefused()
    {
        ProgressBar bar;
        QSignalSpy spy(&bar, &ProgressBar::PropertyChanged);
        QVERIFY_THROWS_EXCEPTION(InvalidPropertyValue, bar.SetBorderStyle(2));
        QVERIFY_THROWS_EXCEPTION(InvalidPropertyValue, bar.SetAppearance(-1));
        QVERIFY_THROWS_EXCEPTION(InvalidPropertyValue, bar.SetMousePointer(16));
        QCOMPARE(bar.BorderStyle(), int16_t(1));
        QCOMPARE(bar.Appearance(), int16_t(1));
        QCOMPARE(bar.MousePointer(), int16_t(0));
        QCOMPARE(spy.count(), 0);
    }

    void mousePointers()
    {
        ProgressBar bar;
        bar.SetMousePointer(11);
        QCOMPARE(bar.cursor().shape(), Qt::WaitCursor);
        QPixmap icon(16, 16);
        icon.fill(Qt::red);
        bar.SetMouseIcon(icon);
        bar.SetMousePointer(99);
        QCOMPARE(bar.cursor().shape(), Qt::BitmapCursor);
        bar.SetMousePointer(0);
        QCOMPARE(bar.cursor().shape(), Qt::ArrowCursor);
    }

    void overflowLeavesControlAlone()
    {
        auto bar = plainBar();
        bar->SetMax(std::numeric_limits<int32_t>::max());
        bar->SetValue(21474836);
        QCOMPARE(barPixels(bar->Image()), expectedBarPixels(*bar, 1));
        const qint64 picture = bar->Image().cacheKey();
        QSignalSpy spy(bar.get(), &ProgressBar::PropertyChanged);

        QVERIFY_THROWS_EXCEPTION(support::OverflowError, bar->SetValue(21474837));
        QCOMPARE(bar->Value(), 21474836);
        QVERIFY_THROWS_EXCEPTION(support::OverflowError, bar->SetMin(-1));
        QCOMPARE(bar->Min(), 0);
        QCOMPARE(bar->Max(), std::numeric_limits<int32_t>::max());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(bar->Image().cacheKey(), picture);

        bar->SetMax(0);
        bar->SetMin(-std::numeric_limits<int32_t>::max());
        QVERIFY_THROWS_EXCEPTION(support::OverflowError, bar->SetMax(1));
        QCOMPARE(bar->Max(), 0);
        QVERIFY_THROWS_EXCEPTION(support::OverflowError, PercentOf(1, std::numeric_limits<int32_t>::min(), 100));
    }

    void newInstanceSavesOnlyItsFont()
    {
        QWidget host;
        host.setFont(QFont("DejaVu Sans", 9));
        ProgressBar bar(&host);
        QCOMPARE(bar.size(), QSize(support::TwipsToPixels(3690), support::TwipsToPixels(525)));
        QCOMPARE(bar.Font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(bar.Font().pointSize(), 12);
        QVERIFY(bar.Font().bold());
        PropertyBag saved;
        bar.WriteProperties(saved);
        QCOMPARE(saved.Names(), QStringList{"Font"});

        bar.SetFont(host.font());
        bar.WriteProperties(saved);
        QCOMPARE(saved.Names(), QStringList{});
    }

    void savedStateReadsBackTheSame()
    {
        ProgressBar original;
        QPixmap icon(8, 8);
        icon.fill(QColor(10, 20, 30));
        original.SetBorderStyle(0);
        original.SetAppearance(0);
        original.SetBackColor(0x00FFFF);
        original.SetForeColor(0x00FF00);
        original.SetTextColor(0x000080);
        QFont font("DejaVu Serif", 15);
        font.setItalic(true);
        font.setUnderline(true);
        font.setStrikeOut(true);
        original.SetFont(font);
        original.SetMin(-10);
        original.SetMax(90);
        original.SetValue(40);
        original.SetShowText(false);
        original.SetMouseIcon(icon);
        original.SetMousePointer(99);
        original.SetEnabled(false);
        PropertyBag saved;
        original.WriteProperties(saved);
        QCOMPARE(saved.Names(), (QStringList{"BorderStyle", "Appearance", "BackColor", "ForeColor", "TextColor",
                                             "Font", "Max", "Min", "Value", "ShowText", "MouseIcon",
                                             "MousePointer", "Enabled"}));

        const PropertyBag read = PropertyBag::FromBytes(saved.ToBytes());
        QCOMPARE(read, saved);
        ProgressBar restored;
        QSignalSpy spy(&restored, &ProgressBar::PropertyChanged);
        restored.ReadProperties(read);
        QCOMPARE(reported(spy), (QStringList{"MouseIcon", "Value"}));
        for (int i = restored.metaObject()->propertyOffset(); i < restored.metaObject()->propertyCount(); ++i) {
            const char* name = restored.metaObject()->property(i).name();
            QCOMPARE(restored.property(name).toString(), original.property(name).toString());
        }
        QCOMPARE(restored.Font(), original.Font());
        QCOMPARE(restored.MouseIcon().toImage(), original.MouseIcon().toImage());
        PropertyBag savedAgain;
        restored.WriteProperties(savedAgain);
        QCOMPARE(savedAgain, saved);
    }

    void savedValueOutsideItsRange()
    {
        auto bar = plainBar();
        PropertyBag saved;
        saved.WriteProperty(QStringLiteral("Max"), int32_t(10), int32_t(100));
        saved.WriteProperty(QStringLiteral("Value"), int32_t(50), int32_t(0));
        bar->ReadProperties(saved);
        QCOMPARE(bar->Value(), 50);
        QCOMPARE(barPixels(bar->Image()), 0);
        // Drawn at 0 %: the text is there.
        QVERIFY(!onlyColor(bar->Image(), bar->Image().rect(), White));
    }

    void savedBackColourIsNotMapped()
    {
        ProgressBar bar;
        PropertyBag saved;
        saved.WriteProperty(QStringLiteral("BackColor"), int32_t(0x8000000F), int32_t(0xFFFFFF));
        bar.ReadProperties(saved);
        QCOMPARE(bar.BackColor(), 0x8000000Fu);
    }

    void propertyBagRefusesWhatItCannotRead()
    {
        PropertyBag bag;
        bag.WriteProperty(QStringLiteral("Max"), int32_t(5), int32_t(100));
        QVERIFY_THROWS_EXCEPTION(PropertyBagError, bag.ReadProperty(QStringLiteral("Max"), int16_t(0)));
        bag.WriteProperty(QStringLiteral("Max"), int32_t(100), int32_t(100));
        QVERIFY(!bag.Contains(QStringLiteral("Max")));

        bag.WriteProperty(QStringLiteral("ShowText"), false, true);
        const QByteArray bytes = bag.ToBytes();
        QVERIFY_THROWS_EXCEPTION(PropertyBagError, PropertyBag::FromBytes(bytes.left(bytes.size() - 1)));
        QVERIFY_THROWS_EXCEPTION(PropertyBagError, PropertyBag::FromBytes(bytes + 'x'));
        QVERIFY_THROWS_EXCEPTION(PropertyBagError, PropertyBag::FromBytes(QByteArray("not a bag")));
    }

    void importWindowState()
    {
        QWidget window;
        ProgressBar* prg = LoadImportWindowProgressBar(&window);
        QCOMPARE(window.findChild<ProgressBar*>(QStringLiteral("prg")), prg);
        QCOMPARE(prg->geometry(), support::TwipsRect(90, 150, 5475, 375));
        QCOMPARE(prg->Font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(prg->Font().pointSize(), 12);
        QCOMPARE(prg->Font().weight(), QFont::Bold);
        QCOMPARE(prg->BackColor(), 0xFFFFFFu);
        QCOMPARE(prg->Max(), 100);
        QVERIFY(prg->ShowText());
        PropertyBag saved;
        prg->WriteProperties(saved);
        QCOMPARE(saved, ImportWindowProgressBarState());

        prg->SetMax(3);
        prg->SetValue(prg->Value() + 1);
        QCOMPARE(prg->Value(), 1);
    }

    void pictureAtZeroHalfAndFull()
    {
        auto bar = plainBar(200, 30);
        const QImage& image = bar->Image();

        QCOMPARE(barPixels(image), 0);
        const QRect zero = textBox(image, 0);
        QVERIFY(!zero.isEmpty());
        // " 0%" is centred, its leading blank included in the width.
        QVERIFY(qAbs(zero.center().x() - image.width() / 2) <= 6);
        QVERIFY(qAbs(zero.center().y() - image.height() / 2) <= 4);

        bar->SetValue(50);
        const int edge = expectedBarPixels(*bar, 50);
        QCOMPARE(barPixels(image), edge);
        const QRect half = textBox(image, edge);
        QVERIFY(half.left() < edge && half.right() >= edge);
        // The text is white over the bar and blue beside it.
        QVERIFY(countColor(image, QRect(half.topLeft(), QPoint(edge - 1, half.bottom())), White) > 0);
        QVERIFY(countColor(image, QRect(QPoint(edge, half.top()), half.bottomRight()), Blue) > 0);
        QVERIFY(onlyColor(image, QRect(0, image.height() - 1, edge, 1), Blue));
        QVERIFY(onlyColor(image, QRect(edge, 0, image.width() - edge, 1), White));

        bar->SetValue(100);
        QCOMPARE(barPixels(image), image.width());
        QVERIFY(countColor(image, image.rect(), White) > 0);
    }

    void pictureWithoutVisibleText()
    {
        auto bar = plainBar(200, 30);
        bar->SetValue(50);
        bar->SetShowText(false);
        const QImage barOnly = bar->Image();
        const int edge = expectedBarPixels(*bar, 50);
        QVERIFY(onlyColor(barOnly, QRect(0, 0, edge, barOnly.height()), Blue));
        QVERIFY(onlyColor(barOnly, QRect(edge, 0, barOnly.width() - edge, barOnly.height()), White));

        bar->SetShowText(true);
        bar->SetTextColor(0xFFFFFF);
        QCOMPARE(bar->Image(), barOnly);
    }

    void emptyRangeShowsBackgroundOnly()
    {
        auto bar = plainBar();
        bar->SetValue(60);
        bar->SetMax(0);
        QVERIFY(onlyColor(bar->Image(), bar->Image().rect(), White));
        bar->SetBackColor(0x00FF00);
        QVERIFY(onlyColor(bar->Image(), bar->Image().rect(), QColor(0, 255, 0)));
        bar->resize(150, 25);
        QCoreApplication::processEvents();
        QCOMPARE(bar->Image().width(), 150);
        QVERIFY(onlyColor(bar->Image(), bar->Image().rect(), QColor(0, 255, 0)));
    }

    void resizeRedrawsWithNewUnit()
    {
        auto bar = plainBar(100, 25);
        bar->SetValue(50);
        bar->resize(240, 25);
        QCoreApplication::processEvents();
        QCOMPARE(bar->Image().width(), 240);
        QCOMPARE(barPixels(bar->Image()), expectedBarPixels(*bar, 50));
    }

    void samePercentageDrawsNothing()
    {
        auto bar = plainBar();
        bar->SetMax(1000);
        bar->SetValue(500);
        const qint64 picture = bar->Image().cacheKey();
        QSignalSpy spy(bar.get(), &ProgressBar::PropertyChanged);
        bar->SetValue(504);
        QCOMPARE(bar->Image().cacheKey(), picture);
        QCOMPARE(spy.count(), 1);
        bar->SetValue(505); // 50.5 is still 50
        QCOMPARE(bar->Image().cacheKey(), picture);
        bar->SetValue(506);
        QVERIFY(bar->Image().cacheKey() != picture);
    }

    void mouseEvents_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("buttonCode");
        QTest::addColumn<int>("shiftCode");
        QTest::newRow("left") << Qt::LeftButton << Qt::KeyboardModifiers() << 1 << 0;
        QTest::newRow("right with Shift") << Qt::RightButton << Qt::KeyboardModifiers(Qt::ShiftModifier) << 2 << 1;
        QTest::newRow("middle with Ctrl+Alt")
            << Qt::MiddleButton << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier) << 4 << 6;
    }
    void mouseEvents()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, buttonCode);
        QFETCH(int, shiftCode);
        ProgressBar bar; // 3-D border: two pixels before the inner area
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QSignalSpy down(&bar, &ProgressBar::MouseDown);
        QSignalSpy up(&bar, &ProgressBar::MouseUp);
        QSignalSpy move(&bar, &ProgressBar::MouseMove);
        QSignalSpy click(&bar, &ProgressBar::Click);
        QTest::mousePress(&bar, button, modifiers, QPoint(12, 7));
        QMouseEvent drag(QEvent::MouseMove, QPointF(22, 7), bar.mapToGlobal(QPointF(22, 7)), Qt::NoButton,
                         button, modifiers);
        QCoreApplication::sendEvent(&bar, &drag);
        QTest::mouseRelease(&bar, button, modifiers, QPoint(22, 7));

        const float perPixel = static_cast<float>(support::PixelsToTwips(1));
        const QVariantList expectedDown{QVariant::fromValue<int16_t>(static_cast<int16_t>(buttonCode)),
                                        QVariant::fromValue<int16_t>(static_cast<int16_t>(shiftCode)),
                                        QVariant::fromValue(10 * perPixel), QVariant::fromValue(5 * perPixel)};
        QCOMPARE(down.count(), 1);
        QCOMPARE(down.at(0), expectedDown);
        QCOMPARE(move.count(), 1);
        QCOMPARE(move.at(0).at(0).value<int16_t>(), buttonCode);
        QCOMPARE(move.at(0).at(2).toFloat(), 20 * perPixel);
        QCOMPARE(up.count(), 1);
        QCOMPARE(up.at(0).at(0).value<int16_t>(), buttonCode);
        QCOMPARE(click.count(), button == Qt::LeftButton ? 1 : 0);
    }

    void doubleClickSequence()
    {
        ProgressBar bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QStringList events;
        connect(&bar, &ProgressBar::MouseDown, &bar, [&] { events << "MouseDown"; });
        connect(&bar, &ProgressBar::MouseUp, &bar, [&] { events << "MouseUp"; });
        connect(&bar, &ProgressBar::Click, &bar, [&] { events << "Click"; });
        connect(&bar, &ProgressBar::DblClick, &bar, [&] { events << "DblClick"; });
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseDClick(&bar, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(events, (QStringList{"MouseDown", "MouseUp", "Click", "DblClick", "MouseUp"}));
    }

    void publishedMembers()
    {
        const QMetaObject* meta = &ProgressBar::staticMetaObject;
        QStringList properties;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i)
            properties << meta->property(i).name();
        QCOMPARE(properties, (QStringList{"BackColor", "ForeColor", "Font", "BorderStyle", "Appearance", "Max",
                                          "Min", "Value", "ShowText", "MouseIcon", "MousePointer", "TextColor",
                                          "Enabled"}));
        const auto description = [meta](const char* member) {
            const int index = meta->indexOfClassInfo(member);
            return index < 0 ? QString() : QString::fromLatin1(meta->classInfo(index).value());
        };
        QCOMPARE(description("Appearance"),
                 QStringLiteral("Returns/sets whether or not an object is painted at run time with 3-D effects."));
        QCOMPARE(description("DblClick"), QStringLiteral("Occurs when the user presses and releases a mouse button "
                                                         "and then presses and releases it again over an object."));
        QCOMPARE(description("Font"), QStringLiteral("Returns a Font object."));
        for (const char* member : {"BackColor", "ForeColor", "BorderStyle", "MouseIcon", "MousePointer", "Enabled",
                                   "Click", "MouseDown", "MouseMove", "MouseUp"})
            QVERIFY2(!description(member).isEmpty(), member);
        for (const char* member : {"Max", "Min", "Value", "ShowText", "TextColor"})
            QVERIFY2(description(member).isEmpty(), member);
    }
};

VELTRIN_TEST_MAIN(TestProgressBar)
#include "tst_progressbar.moc"
