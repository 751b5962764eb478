#pragma once

#include "workbook/Workbook.h"

#include <QByteArrayView>

class QFile;

namespace workbook {

// The format readers behind Workbook::Bind, chosen by the file's signature.
std::unique_ptr<Workbook> OpenXls(const QString& path);
std::unique_ptr<Workbook> OpenXlsx(const QString& path);

// Whether a file starts with the BOF record of a workbook stream stored without
// an OLE2 container, as Excel 2.x to 4.0 wrote them.
bool StartsWithBiffBof(QByteArrayView head);

} // namespace workbook
