#pragma once

#include <QTableView>

class ContactListModel;

// The contact list: one column of entries, each with a check box, looked at
// and used like a list box, and presented to assistive technology as a list
// with one item per contact. It is a table underneath because a list view
// lays out every row when it is filled, which for 100,000 contacts took a
// third as long as analysing them; a table's rows share one height and need
// no pass.
class ContactListView : public QTableView {
    Q_OBJECT

public:
    explicit ContactListView(QWidget* parent = nullptr);

    ContactListModel* contacts() const { return contacts_; }

protected:
    // Home and End go to the first and the last entry, as in a list.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void changeEvent(QEvent* event) override;

private:
    // A row is one line of the list's font high, as a list's items are.
    void fitRowsToFont();
    void announceCheckChange(const QModelIndex& topLeft, const QModelIndex& bottomRight);

    ContactListModel* contacts_;
};
