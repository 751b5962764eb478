// Times filling the main window's contact list with 100,000 entries against
// the analysis of the same 100,000 rows; the fill must take under a quarter
// of the analysis. It also times the list as it was before its check boxes, a
// one-column table of all-selected entries, and prints the ratio to it: the
// check boxes must not make the fill slower. Runs offscreen unless
// QT_QPA_PLATFORM says otherwise.

#include "import/ContactAnalysis.h"
#include "import/ContactListModel.h"
#include "import/ContactListView.h"
#include "workbook/Workbook.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QFontInfo>
#include <QHeaderView>
#include <QStringListModel>
#include <QTableView>
#include <QTextStream>

#include <algorithm>
#include <limits>

namespace {

constexpr int Rows = 100000;
constexpr int Runs = 5;
constexpr int FillRuns = 21;

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

void showAsInTheWindow(QTableView& view)
{
    QFont font(QStringLiteral("Noto Sans Mono CJK SC"));
    font.setPointSize(10);
    view.setFont(font);
    view.resize(449, 256);
    view.show();
    QApplication::processEvents();
}

// The fill as the window does it, and the layout and paint that follow.
template <typename Fill> qint64 fillNanoseconds(const Fill& fill, const QStringList& entries)
{
    fill(QStringList());
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    fill(entries);
    QApplication::processEvents();
    return timer.nsecsElapsed();
}

// Set up as the main window sets up lstCust.
struct ContactList {
    ContactListView view;
    ContactListModel* model = view.contacts();

    ContactList() { showAsInTheWindow(view); }
    qint64 fill(const QStringList& entries)
    {
        return fillNanoseconds([this](const QStringList& e) { model->setEntries(e); }, entries);
    }
};

// The list before its check boxes: a table over a string model, every entry selected.
struct PlainTable {
    QTableView view;
    QStringListModel* model = new QStringListModel(&view);

    PlainTable()
    {
        view.setShowGrid(false);
        view.setWordWrap(false);
        view.setSelectionBehavior(QAbstractItemView::SelectRows);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        view.horizontalHeader()->hide();
        view.horizontalHeader()->setStretchLastSection(true);
        view.verticalHeader()->hide();
        view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view.verticalHeader()->setMinimumSectionSize(1);
        view.setModel(model);
        showAsInTheWindow(view);
        view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height());
    }
    qint64 fill(const QStringList& entries)
    {
        return fillNanoseconds(
            [this](const QStringList& e) {
                model->setStringList(e);
                view.selectAll();
            },
            entries);
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
    PlainTable plain;
    qint64 fill = std::numeric_limits<qint64>::max();
    qint64 plainFill = std::numeric_limits<qint64>::max();
    for (int run = 0; run < FillRuns; ++run) {
        fill = std::min(fill, list.fill(result.entries));
        plainFill = std::min(plainFill, plain.fill(result.entries));
    }
    const std::vector<bool>& checked = list.model->checked();
    if (list.model->rowCount() != Rows || std::count(checked.begin(), checked.end(), true) != Rows) {
        out << "the list does not hold " << Rows << " checked entries" << Qt::endl;
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
    out << QStringLiteral("the list before its check boxes: %1 ms; lstCust takes %2 times as long")
               .arg(static_cast<double>(plainFill) / 1e6, 0, 'f', 2)
               .arg(static_cast<double>(fill) / static_cast<double>(plainFill), 0, 'f', 2)
        << Qt::endl;
    out << "font: " << QFontInfo(list.view.font()).family() << Qt::endl;
    return share < 0.25 ? 0 : 1;
}
