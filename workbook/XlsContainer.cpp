#include "workbook/XlsContainer.h"

#include "workbook/Readers.h"
#include "workbook/XlsGlobals.h"

#include <QFile>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>

#include <algorithm>
#include <memory>

namespace workbook::xls {
namespace {

const QByteArray ole2Signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

struct GObjectUnref {
    void operator()(void* object) const { g_object_unref(object); }
};
using InputPtr = std::unique_ptr<GsfInput, GObjectUnref>;
using InfilePtr = std::unique_ptr<GsfInfile, GObjectUnref>;

[[noreturn]] void refuseOldFormat(const QString& path)
{
    throw WorkbookError(QStringLiteral("文件“%1”是Excel 2.x～4.0格式的旧工作簿，本程序不能读取。"
                                       "请在Excel中将其另存为“Excel 97-2003 工作簿(*.xls)”或“Excel 工作簿(*.xlsx)”后再试。")
                            .arg(path));
}

[[noreturn]] void refuseDamaged(const QString& path)
{
    throw WorkbookError(QStringLiteral("文件“%1”的OLE2复合文档结构已损坏，无法作为.xls工作簿读取。").arg(path));
}

// GLib takes file names in UTF-8 on Windows and as the file system's bytes elsewhere.
QByteArray glibFileName(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

InfilePtr openContainer(const QString& path)
{
    GError* error = nullptr;
    InputPtr input(gsf_input_stdio_new(glibFileName(path).constData(), &error));
    g_clear_error(&error);
    if (!input)
        throw WorkbookError(QStringLiteral("无法打开文件“%1”。").arg(path));
    InfilePtr container(gsf_infile_msole_new(input.get(), &error));
    g_clear_error(&error);
    if (!container)
        refuseDamaged(path);
    return container;
}

// The index of the child called name, whatever the letter case, or -1.
int findChild(GsfInfile* container, const char* name)
{
    const int count = gsf_infile_num_children(container);
    for (int i = 0; i < count; ++i) {
        const char* childName = gsf_infile_name_by_index(container, i);
        if (childName && qstricmp(childName, name) == 0)
            return i;
    }
    return -1;
}

QByteArray readWhole(GsfInput* stream, qint64 limit, const QString& path)
{
    const gsf_off_t size = gsf_input_size(stream);
    // A stream never holds more than the file it is stored in.
    if (size < 0 || size > limit)
        refuseDamaged(path);
    QByteArray data(static_cast<qsizetype>(size), Qt::Uninitialized);
    constexpr qsizetype chunk = 1 << 20;
    for (qsizetype done = 0; done < data.size();) {
        const qsizetype step = std::min(chunk, data.size() - done);
        if (!gsf_input_read(stream, static_cast<size_t>(step), reinterpret_cast<guint8*>(data.data() + done)))
            refuseDamaged(path);
        done += step;
    }
    return data;
}

WorkbookStream readFromContainer(const QString& path, qint64 fileSize)
{
    const InfilePtr container = openContainer(path);
    const int workbook = findChild(container.get(), "Workbook");
    const int index = workbook >= 0 ? workbook : findChild(container.get(), "Book");
    if (index < 0) {
        if (findChild(container.get(), "EncryptedPackage") >= 0)
            throw WorkbookError(EncryptedDescription());
        throw WorkbookError(QStringLiteral("文件“%1”不是Excel工作簿：其中没有工作簿数据（可能是Word文档等其他Office文件）。").arg(path));
    }
    const InputPtr stream(gsf_infile_child_by_index(container.get(), index));
    if (!stream)
        refuseDamaged(path);
    return {readWhole(stream.get(), fileSize, path), workbook < 0};
}

} // namespace

WorkbookStream ReadWorkbookStream(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw WorkbookError(QStringLiteral("无法打开文件“%1”：%2").arg(path, file.errorString()));
    const QByteArray head = file.peek(8);
    if (head.startsWith(ole2Signature)) {
        const qint64 size = file.size();
        file.close();
        return readFromContainer(path, size);
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
