#pragma once

#include "workbook/Workbook.h"
#include "workbook/XlsGlobals.h"

#include <QByteArrayView>

namespace workbook::xls {

// Reads the cells of one worksheet substream into a table. Throws
// biff::CorruptRecord for damage.
Worksheet ReadSheet(QByteArrayView stream, const Globals& globals, const SheetEntry& entry);

} // namespace workbook::xls
