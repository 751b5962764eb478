#include "workbook/Readers.h"

namespace workbook {

std::unique_ptr<Workbook> OpenXls(const QString& path)
{
    throw WorkbookError(QStringLiteral("暂不支持读取.xls工作簿：%1").arg(path));
}

} // namespace workbook
