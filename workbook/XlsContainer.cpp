#include "workbook/XlsContainer.h"

#include "workbook/CompoundFile.h"
#include "workbook/Readers.h"
#include "workbook/XlsGlobals.h"

#include <QFile>

namespace workbook::xls {
namespace {

const QByteArray ole2Signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

[[noreturn]] void refuseOldFormat(const QString& path)
{
    throw WorkbookError(QStringLiteral("文件“%1”是Excel 2.x～4.0格式的旧工作簿，本程序不能读取。"
                                       "请在Excel中将其另存为“Excel 97-2003 工作簿(*.xls)”或“Excel 工作簿(*.xlsx)”后再试。")
                            .arg(path));
}

WorkbookStream readFromContainer(const QString& path, QFile& file)
{
    const cfb::CompoundFile container(file);
    if (std::optional<QByteArray> stream = container.readRootStream(u"Workbook"))
        return {std::move(*stream), false};
    if (std::optional<QByteArray> stream = container.readRootStream(u"Book"))
        return {std::move(*stream), true};
    if (container.hasRootStream(u"EncryptedPackage"))
        throw WorkbookError(EncryptedDescription());
    throw WorkbookError(QStringLiteral("文件“%1”不是Excel工作簿：其中没有工作簿数据（可能是Word文档等其他Office文件）。").arg(path));
}

} // namespace

WorkbookStream ReadWorkbookStream(const QString& path)
{
    QFile file(path);
    // Unbuffered: the container reader reads each stream straight into its buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray head = file.peek(8);
    if (head.startsWith(ole2Signature)) {
        try {
            return readFromContainer(path, file);
        } catch (const cfb::DamagedContainer& damage) {
            throw WorkbookError(QStringLiteral("文件“%1”的OLE2复合文档结构已损坏，无法作为.xls工作簿读取：%2。")
                                    .arg(path, damage.description()));
        }
    }
    if (!StartsWithBiffBof(head))
        throw WorkbookError(QStringLiteral("文件“%1”不是.xls格式的Excel工作簿。").arg(path));
    if (head[1] != '\x08')
        refuseOldFormat(path);
    const QByteArray data = file.readAll();
    return {data, data.size() >= 6 && data[4] == '\x00' && data[5] == '\x05'};
}

} // namespace workbook::xls

namespace workbook {

bool StartsWithBiffBof(QByteArrayView head)
{
    if (head.size() < 8 || head[0] != '\x09')
        return false;
    const char version = head[1];
    const int length = static_cast<uint8_t>(head[2]) | static_cast<uint8_t>(head[3]) << 8;
    // BOF ids 0x0009, 0x0209, 0x0409 (Excel 2.x, 3.0, 4.0) and 0x0809 (BIFF5/8).
    return (version == '\x00' || version == '\x02' || version == '\x04' || version == '\x08') && length >= 4
           && length <= 20;
}

} // namespace workbook
