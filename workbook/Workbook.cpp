#include "workbook/Workbook.h"

#include "support/Numbers.h"
#include "workbook/Readers.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace workbook {
namespace {

const CellValue emptyCell;

QString dateText(double serial)
{
    double days = std::floor(serial);
    auto seconds = static_cast<qint64>(std::llround((serial - days) * 86400.0));
    if (seconds >= 86400) {
        days += 1;
        seconds -= 86400;
    }
    const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds));
    if (days == 0 && serial > 0)
        return time.toString(QStringLiteral("HH:mm:ss"));
    // Serial days below 61 count the 1900 leap day that never was.
    const QDate base = days < 61 ? QDate(1899, 12, 31) : QDate(1899, 12, 30);
    const QDate date = base.addDays(static_cast<qint64>(days));
    const QString dateString = date.toString(QStringLiteral("yyyy-MM-dd"));
    return seconds == 0 ? dateString : dateString + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

WorkbookError::WorkbookError(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description)
{
}

QString CellAddress(int row, int column)
{
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

QString CellText(const CellValue& value, int row, int column)
{
    switch (value.kind) {
    case CellValue::Kind::Empty:
        return {};
    case CellValue::Kind::Text:
        return value.text;
    case CellValue::Kind::Number:
        return support::NumberText(value.number);
    case CellValue::Kind::Date:
        return dateText(value.number);
    case CellValue::Kind::Boolean:
        return value.number != 0 ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case CellValue::Kind::Error:
        break;
    }
    throw WorkbookError(QStringLiteral("单元格 %1 含有错误值 %2").arg(CellAddress(row, column), value.text));
}

const CellValue& Worksheet::cell(int row, int column) const
{
    if (row < 1 || row > lastRow())
        return emptyCell;
    const Row& cells = rows_[static_cast<size_t>(row - 1)];
    const auto it = std::lower_bound(cells.begin(), cells.end(), column,
                                     [](const auto& entry, int c) { return entry.first < c; });
    return it != cells.end() && it->first == column ? it->second : emptyCell;
}

int Worksheet::lastColumn(int row) const
{
    if (row < 1 || row > lastRow())
        return 0;
    const Row& cells = rows_[static_cast<size_t>(row - 1)];
    return cells.empty() ? 0 : cells.back().first;
}

QString Worksheet::text(int row, int column) const
{
    return CellText(cell(row, column), row, column);
}

void Worksheet::set(int row, int column, CellValue value)
{
    if (row < 1 || column < 1)
        return;
    if (row > lastRow())
        rows_.resize(static_cast<size_t>(row));
    Row& cells = rows_[static_cast<size_t>(row - 1)];
    // Writers store cells left to right, so appending is the common case.
    if (cells.empty() || cells.back().first < column) {
        cells.emplace_back(column, std::move(value));
        ++cells_;
        return;
    }
    const auto it = std::lower_bound(cells.begin(), cells.end(), column,
                                     [](const auto& entry, int c) { return entry.first < c; });
    if (it != cells.end() && it->first == column) {
        it->second = std::move(value);
    } else {
        cells.emplace(it, column, std::move(value));
        ++cells_;
    }
}

void Worksheet::reserve(int row, int cells)
{
    if (row < 1 || cells < 1)
        return;
    if (row > lastRow())
        rows_.resize(static_cast<size_t>(row));
    Row& entries = rows_[static_cast<size_t>(row - 1)];
    entries.reserve(entries.size() + static_cast<size_t>(cells));
}

std::unique_ptr<Workbook> Workbook::Bind(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw WorkbookError(QStringLiteral("“%1”是一个文件夹，不是工作簿文件。").arg(path));
    QFile file(path);
    if (!file.exists())
        throw WorkbookError(QStringLiteral("文件“%1”不存在。").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray head = file.read(8);
    file.close();
    if (head.isEmpty())
        throw WorkbookError(QStringLiteral("文件“%1”是空文件，不是工作簿。").arg(path));
    if (head.startsWith(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) || StartsWithBiffBof(head))
        return OpenXls(path);
    if (head.startsWith("PK\x03\x04"))
        return OpenXlsx(path);
    throw WorkbookError(QStringLiteral("文件“%1”不是Excel工作簿（既不是.xls也不是.xlsx格式）。").arg(path));
}

QString Workbook::Name(int position) const
{
    checkPosition(position);
    return names_[position - 1];
}

const Worksheet& Workbook::GetWorksheet(int position)
{
    checkPosition(position);
    if (sheets_.size() != static_cast<size_t>(Count()))
        sheets_.resize(static_cast<size_t>(Count()));
    auto& slot = sheets_[static_cast<size_t>(position - 1)];
    if (!slot)
        slot = std::make_unique<Worksheet>(readSheet(position - 1));
    return *slot;
}

void Workbook::Close()
{
    sheets_.clear();
}

void Workbook::checkPosition(int position) const
{
    if (position < 1 || position > Count())
        throw WorkbookError(QStringLiteral("工作表序号 %1 超出范围：工作簿共有 %2 个工作表。").arg(position).arg(Count()));
}

} // namespace workbook
