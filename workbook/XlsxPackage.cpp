#include "workbook/XlsxPackage.h"

#include "workbook/Workbook.h"

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <exception>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <zip.h>

namespace workbook::xlsx {
namespace {

QString zipErrorText(zip_error_t* error)
{
    return QString::fromLocal8Bit(zip_error_strerror(error));
}

QByteArray nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8(); // libzip takes UTF-8 file names on Windows
#else
    return QFile::encodeName(path);
#endif
}

QString directoryOf(const QString& partName)
{
    const qsizetype slash = partName.lastIndexOf(u'/');
    return slash < 0 ? QString() : partName.left(slash + 1);
}

// Resolves "." and ".." segments; a ".." above the root stays at the root.
QString normalisedPartName(const QString& name)
{
    QStringList segments;
    for (const QString& segment : name.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u"..") {
            if (!segments.isEmpty())
                segments.removeLast();
        } else if (segment != u".") {
            segments.append(segment);
        }
    }
    return segments.join(u'/');
}

QString resolvedTarget(const QString& sourcePart, const QString& target)
{
    const QString decoded = QUrl::fromPercentEncoding(target.toUtf8());
    if (decoded.startsWith(u'/'))
        return normalisedPartName(decoded);
    return normalisedPartName(directoryOf(sourcePart) + decoded);
}

QString relationshipsPartOf(const QString& partName)
{
    const QString directory = directoryOf(partName);
    return directory + QStringLiteral("_rels/") + partName.mid(directory.size()) + QStringLiteral(".rels");
}

QString qstring(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Package::Package(const QString& path) : path_(path)
{
    int code = 0;
    zip_ = zip_open(nativePath(path).constData(), ZIP_RDONLY, &code);
    if (!zip_) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString reason = zipErrorText(&error);
        zip_error_fini(&error);
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏或不完整，无法作为.xlsx文件读取（%2）。").arg(path, reason));
    }
}

Package::~Package()
{
    zip_discard(zip_);
}

int64_t Package::indexOf(const QString& partName) const
{
    const int64_t index = zip_name_locate(zip_, partName.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    if (index >= 0 || !partName.contains(u'/'))
        return index;
    // Some Windows tools store entry names with backslashes.
    QString windowsName = partName;
    windowsName.replace(u'/', u'\\');
    return zip_name_locate(zip_, windowsName.toUtf8().constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
}

bool Package::contains(const QString& partName) const
{
    return indexOf(partName) >= 0;
}

zip_file* Package::open(const QString& partName)
{
    const int64_t index = indexOf(partName);
    if (index < 0)
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：缺少部件 %2。").arg(path_, partName));
    zip_stat_t stat;
    if (zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) != 0
        && stat.size > MaxInflated - std::min(inflated_, MaxInflated)) {
        throw WorkbookError(inflatedTooMuch());
    }
    zip_file* file = zip_fopen_index(zip_, static_cast<zip_uint64_t>(index), 0);
    if (!file && zip_error_code_zip(zip_get_error(zip_)) == ZIP_ER_NOPASSWD) {
        throw WorkbookError(QStringLiteral("工作簿“%1”的压缩包设有密码，请去掉密码后另存为.xlsx再导入。").arg(path_));
    }
    if (!file) {
        throw WorkbookError(QStringLiteral("工作簿“%1”的部件 %2 无法解压（%3）。")
                                .arg(path_, partName, zipErrorText(zip_get_error(zip_))));
    }
    return file;
}

QString Package::inflatedTooMuch() const
{
    return QStringLiteral("工作簿“%1”解压后超过1 GiB，可能是恶意构造的压缩文件，已停止读取。").arg(path_);
}

bool Package::account(int64_t bytes)
{
    inflated_ += static_cast<uint64_t>(bytes);
    return inflated_ <= MaxInflated;
}

QByteArray Package::head(const QString& partName, int size)
{
    if (!contains(partName))
        return {};
    zip_file* file = open(partName);
    QByteArray bytes(size, Qt::Uninitialized);
    const int64_t got = zip_fread(file, bytes.data(), static_cast<zip_uint64_t>(size));
    zip_fclose(file);
    bytes.resize(got < 0 ? 0 : static_cast<qsizetype>(got));
    account(bytes.size());
    return bytes;
}

namespace {

class RelationshipsHandler : public XmlHandler {
public:
    explicit RelationshipsHandler(const QString& sourcePart) : sourcePart_(sourcePart) {}

    void startElement(std::string_view name, const Attributes& attributes) override
    {
        if (name != "Relationship")
            return;
        Relationship relationship;
        bool external = false;
        attributes.forEach([&](std::string_view attribute, std::string_view value) {
            if (attribute == "Id")
                relationship.id = qstring(value);
            else if (attribute == "Type")
                relationship.type = qstring(value.substr(value.rfind('/') + 1));
            else if (attribute == "Target")
                relationship.target = qstring(value);
            else if (attribute == "TargetMode")
                external = value == "External";
        });
        if (!external && !relationship.target.isEmpty()) {
            relationship.target = resolvedTarget(sourcePart_, relationship.target);
            found.push_back(std::move(relationship));
        }
    }

    std::vector<Relationship> found;

private:
    const QString& sourcePart_;
};

} // namespace

std::vector<Relationship> Package::relationships(const QString& partName)
{
    const QString relsPart = relationshipsPartOf(partName);
    if (!contains(relsPart))
        return {};
    RelationshipsHandler handler(partName);
    ParsePart(*this, relsPart, handler);
    return std::move(handler.found);
}

// Runs libxml2's SAX2 parser over one zip entry. Exceptions must not cross
// libxml2's C frames, so a callback that fails records the failure, stops the
// parser, and the failure is thrown once the parser has returned.
class PartParser {
public:
    PartParser(Package& package, const QString& partName, XmlHandler& handler)
        : package_(package), partName_(partName), handler_(handler)
    {
    }

    void run()
    {
        xmlSAXHandler sax {};
        sax.initialized = XML_SAX2_MAGIC;
        sax.startElementNs = &PartParser::startElement;
        sax.endElementNs = &PartParser::endElement;
        sax.characters = &PartParser::characters;
        sax.ignorableWhitespace = &PartParser::characters;
        sax.internalSubset = &PartParser::refuseDtd;
        sax.serror = &PartParser::recordError;

        zip_file* file = package_.open(partName_);
        file_ = file;
        context_ = xmlCreateIOParserCtxt(&sax, this, &PartParser::readPart, nullptr, this, XML_CHAR_ENCODING_NONE);
        if (!context_) {
            zip_fclose(file);
            throw WorkbookError(QStringLiteral("工作簿“%1”的部件 %2 无法读取。").arg(package_.path(), partName_));
        }
        xmlCtxtUseOptions(context_, XML_PARSE_NONET | XML_PARSE_NOCDATA);
        xmlParseDocument(context_);
        const bool wellFormed = context_->wellFormed != 0;
        xmlFreeParserCtxt(context_);
        zip_fclose(file);
        if (handlerFailure_)
            std::rethrow_exception(handlerFailure_);
        if (!failure_.isEmpty())
            throw WorkbookError(failure_);
        if (!wellFormed)
            throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：部件 %2 无法读取。").arg(package_.path(), partName_));
    }

private:
    static PartParser& self(void* context) { return *static_cast<PartParser*>(context); }

    template <typename F>
    void guarded(F&& f) noexcept
    {
        if (stopped())
            return;
        try {
            f();
        } catch (...) {
            handlerFailure_ = std::current_exception();
            xmlStopParser(context_);
        }
    }

    bool stopped() const { return handlerFailure_ || !failure_.isEmpty(); }

    static void startElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int, const xmlChar**,
                             int attributeCount, int, const xmlChar** attributes)
    {
        PartParser& parser = self(context);
        parser.guarded([&] {
            parser.handler_.startElement(reinterpret_cast<const char*>(localName),
                                         Attributes(attributes, attributeCount));
        });
    }

    static void endElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*)
    {
        PartParser& parser = self(context);
        parser.guarded([&] { parser.handler_.endElement(reinterpret_cast<const char*>(localName)); });
    }

    static void characters(void* context, const xmlChar* text, int length)
    {
        PartParser& parser = self(context);
        parser.guarded([&] {
            parser.handler_.text(std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length)));
        });
    }

    static void refuseDtd(void* context, const xmlChar*, const xmlChar*, const xmlChar*)
    {
        PartParser& parser = self(context);
        parser.failure_ = QStringLiteral("工作簿“%1”的部件 %2 含有DTD声明，不是合规的.xlsx文件。")
                              .arg(parser.package_.path(), parser.partName_);
        xmlStopParser(parser.context_);
    }

    static void recordError(void* context, xmlErrorPtr error)
    {
        PartParser& parser = self(context);
        if (parser.stopped() || error->level < XML_ERR_ERROR)
            return;
        parser.failure_ = QStringLiteral("工作簿“%1”已损坏：部件 %2 不是格式正确的XML（第%3行：%4）。")
                              .arg(parser.package_.path(), parser.partName_)
                              .arg(error->line)
                              .arg(QString::fromUtf8(error->message).trimmed());
    }

    static int readPart(void* context, char* buffer, int length)
    {
        PartParser& parser = self(context);
        if (parser.stopped())
            return -1;
        const int64_t got = zip_fread(parser.file_, buffer, static_cast<zip_uint64_t>(length));
        if (got < 0) {
            parser.failure_ = QStringLiteral("工作簿“%1”已损坏：部件 %2 无法解压（%3）。")
                                  .arg(parser.package_.path(), parser.partName_,
                                       zipErrorText(zip_file_get_error(parser.file_)));
            return -1;
        }
        if (!parser.package_.account(got)) {
            parser.failure_ = parser.package_.inflatedTooMuch();
            return -1;
        }
        return static_cast<int>(got);
    }

    Package& package_;
    const QString& partName_;
    XmlHandler& handler_;
    zip_file* file_ = nullptr;
    xmlParserCtxtPtr context_ = nullptr;
    std::exception_ptr handlerFailure_;
    QString failure_;
};

void ParsePart(Package& package, const QString& partName, XmlHandler& handler)
{
    PartParser(package, partName, handler).run();
}

void StringItemText::startElement(std::string_view name)
{
    if (name == "t")
        ++inRun_;
    else if (name == "rPh")
        ++inPhonetic_;
}

void StringItemText::endElement(std::string_view name)
{
    if (name == "t" && inRun_ > 0)
        --inRun_;
    else if (name == "rPh" && inPhonetic_ > 0)
        --inPhonetic_;
}

bool StringItemText::text(std::string_view text)
{
    if (inRun_ == 0 || inPhonetic_ > 0)
        return true;
    if (value_.size() + text.size() > MaxBytes)
        return false;
    value_ += text;
    return true;
}

void StringItemText::clear()
{
    inRun_ = 0;
    inPhonetic_ = 0;
    value_.clear();
}

} // namespace workbook::xlsx
