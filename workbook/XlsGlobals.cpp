#include "workbook/XlsGlobals.h"

#include "workbook/NumberFormats.h"
#include "workbook/BiffRecords.h"
#include "workbook/Workbook.h"

#include <QHash>

namespace workbook::xls {
namespace {

using namespace biff;

constexpr uint16_t kBiff5Version = 0x0500;
constexpr uint16_t kBiff8Version = 0x0600;

// Excel's own code page numbers for Mac Roman and for its Windows-1252 variant.
int windowsCodePage(uint16_t codePage)
{
    switch (codePage) {
    case 32768:
        return 10000;
    case 32769:
        return 1252;
    default:
        return codePage;
    }
}

class GlobalsReader {
public:
    GlobalsReader(QByteArrayView stream, bool namedBook)
        : records_(stream), streamSize_(stream.size()), namedBook_(namedBook)
    {
    }

    Globals read()
    {
        readBof();
        while (records_.next() && records_.id() != kEof)
            dispatch(records_.cursor());
        markDateStyles();
        return std::move(globals_);
    }

private:
    void readBof()
    {
        if (!records_.next() || records_.id() != kBof || records_.size() < 4)
            throw CorruptRecord(QStringLiteral("工作簿数据不是以BOF记录开头"));
        const uint16_t version = records_.cursor().u16();
        globals_.biff8 = version == kBiff8Version || (version != kBiff5Version && !namedBook_);
    }

    void dispatch(RecordCursor record)
    {
        switch (records_.id()) {
        case kCodePage:
            globals_.codePage = windowsCodePage(record.u16());
            break;
        case kDateMode:
            globals_.date1904 = record.u16() == 1;
            break;
        case kBoundSheet:
            readBoundSheet(record);
            break;
        case kXf:
            record.skip(2);
            styleFormats_.push_back(record.u16());
            break;
        case kFormat:
            readFormat(record);
            break;
        case kSst:
            if (globals_.biff8)
                readSharedStrings(record);
            break;
        default:
            break;
        }
    }

    void readBoundSheet(RecordCursor record)
    {
        const uint32_t offset = record.u32();
        record.skip(1);
        const uint8_t type = record.u8();
        const QString name = globals_.biff8 ? record.unicodeString8() : record.byteString8(globals_.codePage);
        // 1: macro sheet, 2: chart, 6: Visual Basic module.
        if (type == 0)
            globals_.sheets.push_back({name, static_cast<qsizetype>(offset)});
    }

    void readFormat(RecordCursor record)
    {
        // A damaged format string only costs the cells using it their date form.
        try {
            const uint16_t index = record.u16();
            formats_.insert(index, globals_.biff8 ? record.unicodeString16() : record.byteString8(globals_.codePage));
        } catch (const CorruptRecord&) {
        }
    }

    void readSharedStrings(RecordCursor record)
    {
        // The counts in front are not trusted: some writers get them wrong, and
        // hostile files claim billions. The strings are read while bytes last.
        record.skip(4);
        // Every string takes at least three bytes of the stream: its length and its flags.
        const uint32_t claimed = record.u32();
        std::vector<QString>& strings = *globals_.sharedStrings;
        strings.reserve(std::min<size_t>(claimed, static_cast<size_t>(streamSize_) / 3));
        try {
            while (!record.atEnd())
                strings.push_back(record.unicodeString16());
        } catch (const CorruptRecord&) {
            // A cell referring to a string that was cut off is refused when read.
        }
    }

    bool isDateFormat(uint16_t index) const
    {
        // Format 0 is "General" whatever its stored (possibly translated) name.
        if (index == 0)
            return false;
        const auto it = formats_.constFind(index);
        return it != formats_.cend() ? IsDateFormatCode(*it) : IsBuiltInDateFormat(index);
    }

    void markDateStyles()
    {
        globals_.dateStyles.reserve(styleFormats_.size());
        for (uint16_t format : styleFormats_)
            globals_.dateStyles.push_back(isDateFormat(format));
    }

    RecordStream records_;
    qsizetype streamSize_;
    bool namedBook_;
    Globals globals_;
    std::vector<uint16_t> styleFormats_;
    QHash<uint16_t, QString> formats_;
};

} // namespace

QString EncryptedDescription()
{
    return QStringLiteral("工作簿已加密（设有打开密码），无法读取。请在Excel中取消密码并保存后再试。");
}

Globals ReadGlobals(QByteArrayView stream, bool namedBook)
{
    return GlobalsReader(stream, namedBook).read();
}

} // namespace workbook::xls
