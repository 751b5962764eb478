#include "workbook/XlsxPackage.h"

#include "workbook/Workbook.h"
#include "workbook/XlsxFormats.h"

#include <QFile>
#include <QUrl>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <zip.h>

namespace workbook::xlsx {
namespace {

// What a zip failure means to the user; libzip's own words for the rare rest.
QString zipErrorText(zip_error_t* error)
{
    switch (zip_error_code_zip(error)) {
    case ZIP_ER_CRC:
        return QStringLiteral("数据校验（CRC）失败");
    case ZIP_ER_NOZIP:
        return QStringLiteral("找不到压缩包的目录，文件可能不完整");
    case ZIP_ER_EOF:
        return QStringLiteral("文件提前结束");
    case ZIP_ER_INCONS:
        return QStringLiteral("压缩包的目录前后不一致");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        return QStringLiteral("压缩数据已损坏");
    default:
        return QString::fromLocal8Bit(zip_error_strerror(error));
    }
}

#ifdef Q_OS_WIN
// A file name given to libzip as char* is not sure to reach the file system
// whole on Windows; its wide-character source takes any name.
zip_t* openArchive(const QString& path, int& code)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_win32w_create(reinterpret_cast<const wchar_t*>(path.utf16()), 0, -1, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive) {
        code = zip_error_code_zip(&error);
        zip_source_free(source);
    }
    zip_error_fini(&error);
    return archive;
}
#else
zip_t* openArchive(const QString& path, int& code)
{
    return zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &code);
}
#endif

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

} // namespace

Package::Package(const QString& path) : path_(path)
{
    int code = 0;
    zip_ = openArchive(path, code);
    if (!zip_) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const QString reason = zipErrorText(&error);
        zip_error_fini(&error);
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏或不完整，无法读取其中的压缩包（%2）。").arg(path, reason));
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

uint64_t Package::declaredSize(const QString& partName) const
{
    zip_stat_t stat;
    const int64_t index = indexOf(partName);
    if (index < 0 || zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0)
        return 0;
    return stat.size;
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
                relationship.id = Utf8Text(value);
            else if (attribute == "Type")
                relationship.type = Utf8Text(value.substr(value.rfind('/') + 1));
            else if (attribute == "Target")
                relationship.target = Utf8Text(value);
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

namespace {

// Runs `fill` on a thread of its own, a few blocks ahead of the reader, so
// inflating a big part and scanning it share the two cores. The reader gets
// the same bytes, and the same failure at the same place, as from `fill`.
class ReadAhead {
public:
    using Fill = std::function<size_t(char* buffer, size_t size)>;

    explicit ReadAhead(Fill fill) : fill_(std::move(fill))
    {
        for (Block& block : blocks_)
            block.bytes = std::make_unique<char[]>(BlockBytes);
        thread_ = std::thread([this] { run(); });
    }

    ~ReadAhead()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    size_t read(char* buffer, size_t size)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return filled_ > 0 || finished_; });
        if (filled_ == 0) {
            if (failure_)
                std::rethrow_exception(failure_);
            return 0;
        }
        // The filler leaves a filled block alone until it is given back.
        lock.unlock();
        const Block& block = blocks_[head_];
        const size_t count = std::min(size, block.size - offset_);
        std::memcpy(buffer, block.bytes.get() + offset_, count);
        offset_ += count;
        if (offset_ == block.size) {
            offset_ = 0;
            head_ = (head_ + 1) % Blocks;
            lock.lock();
            --filled_;
            changed_.notify_all();
        }
        return count;
    }

private:
    static constexpr size_t Blocks = 4;
    static constexpr size_t BlockBytes = size_t(256) << 10;

    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t size = 0;
    };

    void run()
    {
        for (size_t tail = 0;; tail = (tail + 1) % Blocks) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return filled_ < Blocks || stopping_; });
                if (stopping_)
                    return;
            }
            Block& block = blocks_[tail];
            std::exception_ptr failure;
            try {
                block.size = fill_(block.bytes.get(), BlockBytes);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard lock(mutex_);
            if (failure || block.size == 0) {
                failure_ = failure;
                finished_ = true;
            } else {
                ++filled_;
            }
            changed_.notify_all();
            if (finished_)
                return;
        }
    }

    Fill fill_;
    Block blocks_[Blocks];
    size_t head_ = 0;   // the reader's block
    size_t offset_ = 0; // how much of it is read
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t filled_ = 0;
    bool finished_ = false;
    bool stopping_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace

// One zip entry as the scanner's byte source; a failure to inflate, or
// inflating too much, ends the scan with a WorkbookError.
class PartSource : public ByteSource {
public:
    PartSource(Package& package, const QString& partName)
        : package_(package), partName_(partName), file_(package.open(partName))
    {
        if (package.declaredSize(partName) >= ReadAheadFrom)
            ahead_ = std::make_unique<ReadAhead>([this](char* buffer, size_t size) { return inflate(buffer, size); });
    }
    ~PartSource() override
    {
        ahead_.reset();
        zip_fclose(file_);
    }
    PartSource(const PartSource&) = delete;
    PartSource& operator=(const PartSource&) = delete;

    size_t read(char* buffer, size_t size) override { return ahead_ ? ahead_->read(buffer, size) : inflate(buffer, size); }

private:
    // Smaller parts are inflated as they are read: a thread would cost more
    // than it saves.
    static constexpr uint64_t ReadAheadFrom = uint64_t(4) << 20;

    size_t inflate(char* buffer, size_t size)
    {
        const int64_t got = zip_fread(file_, buffer, static_cast<zip_uint64_t>(size));
        if (got < 0) {
            throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：部件 %2 无法解压（%3）。")
                                    .arg(package_.path(), partName_, zipErrorText(zip_file_get_error(file_))));
        }
        if (!package_.account(got))
            throw WorkbookError(package_.inflatedTooMuch());
        return static_cast<size_t>(got);
    }

    Package& package_;
    const QString& partName_;
    zip_file* file_;
    std::unique_ptr<ReadAhead> ahead_;
};

namespace {

// Reads the rest of a part whose XML is malformed: damage to the compressed
// data often shows first as bytes that are no XML, and only the end of the
// part, where its checksum is compared, says that it is damaged. The read
// then throws the description of the damage.
void readToEnd(ByteSource& source)
{
    std::vector<char> buffer(size_t(256) << 10);
    while (source.read(buffer.data(), buffer.size()) > 0) {
    }
}

} // namespace

void ParsePart(Package& package, const QString& partName, XmlHandler& handler)
{
    PartSource source(package, partName);
    try {
        ScanXml(source, handler);
    } catch (const XmlError& error) {
        if (error.kind == XmlError::Kind::Malformed)
            readToEnd(source);
        switch (error.kind) {
        case XmlError::Kind::Dtd:
            throw WorkbookError(QStringLiteral("工作簿“%1”的部件 %2 含有DTD声明，不是合规的.xlsx文件。")
                                    .arg(package.path(), partName));
        case XmlError::Kind::UnknownEncoding:
            throw WorkbookError(QStringLiteral("工作簿“%1”的部件 %2 使用了无法识别的字符编码“%3”，无法读取。")
                                    .arg(package.path(), partName, error.detail));
        case XmlError::Kind::Malformed:
            break;
        }
        throw WorkbookError(QStringLiteral("工作簿“%1”已损坏：部件 %2 不是格式正确的XML（第%3行：%4）。")
                                .arg(package.path(), partName)
                                .arg(error.line)
                                .arg(error.detail));
    }
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
