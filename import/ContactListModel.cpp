#include "import/ContactListModel.h"

void ContactListModel::setEntries(QStringList entries)
{
    beginResetModel();
    entries_ = std::move(entries);
    checked_.assign(static_cast<size_t>(entries_.size()), true);
    endResetModel();
}

void ContactListModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount() || checked_[static_cast<size_t>(row)] == checked)
        return;
    checked_[static_cast<size_t>(row)] = checked;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void ContactListModel::toggle(int row)
{
    if (row >= 0 && row < rowCount())
        setChecked(row, !checked_[static_cast<size_t>(row)]);
}

int ContactListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries_.size());
}

QVariant ContactListModel::data(const QModelIndex& index, int role) const
{
    if (index.model() != this || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return entries_.at(index.row());
    if (role == Qt::CheckStateRole)
        return checked_[static_cast<size_t>(index.row())] ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ContactListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ContactListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren;
}
