#pragma once

#include "workbook/Workbook.h"

class QFile;

namespace workbook {

// The format readers behind Workbook::Bind, chosen by the file's signature.
std::unique_ptr<Workbook> OpenXls(const QString& path);
std::unique_ptr<Workbook> OpenXlsx(const QString& path);

} // namespace workbook
