// Times filling the main window's contact list with 100,000 entries against
// the analysis of the same 100,000 rows; the fill must take under a quarter
// of the analysis. Runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "import/ContactAnalysis.h"
#include "import/ContactListView.h"
#include "workbook/Workbook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFontInfo>
#include <QStringListModel>
#include <QTextStream>

#include <algorithm>
#include <limits>

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;

// name, mobile (a number in even rows, text in odd rows), telephone, remark
workbook::Worksheet contactSheet()
{
    using workbook::CellValue;
    static const QString surnames = QStringLiteral("王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗");
    workbook::Worksheet sheet(QStringLiteral("联系人"));
    sheet.reserve(4 * Rows);
    for (int i = 0; i < Rows; ++i) {
        const int row = i + 1;
        const double mobile = 13000000000.0 + i;
        sheet.set(row, 1, CellValue::fromText(surnames[i % surnames.size()] + QStringLiteral("客户%1").arg(i)));
        sheet.set(row, 2, i % 2 == 0 ? CellValue::fromNumber(mobile)
                                     : CellValue::fromText(QString::number(static_cast<qint64>(mobile))));
        sheet.set(row, 3, CellValue::fromText(QStringLiteral("010-6%1").arg(i, 7, 10, QLatin1Char('0'))));
        sheet.set(row, 4, CellValue::fromText(QStringLiteral("第%1组，备注 %2").arg(i % 97).arg(i)));
    }
    return sheet;
}

// Set up as the main window sets up lstCust.
struct ContactList {
    ContactListView view;
    QStringListModel* model = new QStringListModel(&view);

    ContactList()
    {
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.setEditTriggers(QAbstractItemView::NoEditTriggers);
        QFont font(QStringLiteral("Noto Sans Mono CJK SC"));
        font.setPointSize(10);
        view.setFont(font);
        view.setModel(model);
        view.resize(449, 256);
        view.show();
        QApplication::processEvents();
    }

    // The fill as the window does it, and the layout and paint that follow.
    qint64 fillNanoseconds(const QStringList& entries)
    {
        model->setStringList({});
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        model->setStringList(entries);
        view.selectAll();
        QApplication::processEvents();
        return timer.nsecsElapsed();
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);

    const workbook::Worksheet sheet = contactSheet();
    qint64 analysis = std::numeric_limits<qint64>::max();
    contacts::SheetAnalysis result;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        result = contacts::AnalyseWorksheet(sheet);
        analysis = std::min(analysis, timer.nsecsElapsed());
    }
    if (result.entries.size() != Rows) {
        out << "the analysis found " << result.entries.size() << " contacts, not " << Rows << Qt::endl;
        return 1;
    }

    ContactList list;
    qint64 fill = std::numeric_limits<qint64>::max();
    for (int run = 0; run < Runs; ++run)
        fill = std::min(fill, list.fillNanoseconds(result.entries));
    if (list.view.selectionModel()->selectedIndexes().size() != Rows) {
        out << "the list does not hold " << Rows << " selected entries" << Qt::endl;
        return 1;
    }

    const double share = static_cast<double>(fill) / static_cast<double>(analysis);
    out << QStringLiteral("analysis of %1 rows: %2 ms; filling lstCust: %3 ms (%4 of the analysis, target < 0.25: %5)")
               .arg(Rows)
               .arg(static_cast<double>(analysis) / 1e6, 0, 'f', 1)
               .arg(static_cast<double>(fill) / 1e6, 0, 'f', 1)
               .arg(share, 0, 'f', 3)
               .arg(share < 0.25 ? QStringLiteral("ok") : QStringLiteral("MISSED"))
        << Qt::endl;
    out << "font: " << QFontInfo(list.view.font()).family() << Qt::endl;
    return share < 0.25 ? 0 : 1;
}
