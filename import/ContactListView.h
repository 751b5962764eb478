#pragma once

#include <QTableView>

// The contact list: one column of entries, looked at and used like a list
// box. It is a table underneath because a list view lays out every row when
// it is filled and all selected, which for 100,000 contacts took a third as
// long as analysing them; a table's rows share one height and need no pass.
class ContactListView : public QTableView {
public:
    explicit ContactListView(QWidget* parent = nullptr);

protected:
    // Home and End go to the first and the last entry, as in a list.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void changeEvent(QEvent* event) override;

private:
    // A row is one line of the list's font high, as a list's items are.
    void fitRowsToFont();
};
