#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include <vector>

// The entries of the contact list, each with the check box that says whether
// the contact is imported. Entry i is contact i of the analysed table, so a
// box unchecked never renumbers the others.
class ContactListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    // Replaces the entries, every box checked.
    void setEntries(QStringList entries);
    const QStringList& entries() const { return entries_; }
    // One mark per entry, in entry order.
    const std::vector<bool>& checked() const { return checked_; }
    void setChecked(int row, bool checked);
    void toggle(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList entries_;
    std::vector<bool> checked_;
};
