#include "import/ContactListView.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>

ContactListView::ContactListView(QWidget* parent) : QTableView(parent)
{
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the list, as it leaves a list box, instead of moving along it.
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    fitRowsToFont();
}

QModelIndex ContactListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}

void ContactListView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        fitRowsToFont();
    QTableView::changeEvent(event);
}

void ContactListView::fitRowsToFont()
{
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height());
}
