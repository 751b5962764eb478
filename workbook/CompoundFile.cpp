#include "workbook/CompoundFile.h"

#include <QIODevice>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <functional>

namespace workbook::cfb {
namespace {

const QByteArray signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr qsizetype kHeaderSize = 512;
constexpr qsizetype kEntrySize = 128;
constexpr uint32_t kMiniSectorSize = 64;
// Sector numbers above this one are marks, not sectors.
constexpr uint32_t kLastRegularSector = 0xFFFFFFFA;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFreeSector = 0xFFFFFFFF;
constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr uint8_t kStreamEntry = 2;
constexpr uint8_t kRootEntry = 5;

uint16_t u16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<uint16_t>(bytes.data() + at);
}

uint32_t u32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<uint32_t>(bytes.data() + at);
}

uint64_t u64(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<uint64_t>(bytes.data() + at);
}

uint64_t unitsFor(uint64_t size, uint32_t unit)
{
    return size / unit + (size % unit != 0);
}

// Guards one chain of sectors: each step must name a sector of the file that
// the chain has not passed yet, so no chain runs longer than the file has
// sectors, however its links lie.
class ChainGuard {
public:
    ChainGuard(uint32_t count, QString what) : seen_(count), what_(std::move(what)) {}

    void visit(uint32_t sector)
    {
        if (sector > kLastRegularSector) {
            throw DamagedContainer(sector == kEndOfChain ? QStringLiteral("%1的扇区链比其长度所需的短").arg(what_)
                                                         : QStringLiteral("%1的扇区链中断").arg(what_));
        }
        if (sector >= seen_.size())
            throw DamagedContainer(QStringLiteral("%1的扇区链指向文件之外的扇区 %2").arg(what_).arg(sector));
        if (seen_[sector])
            throw DamagedContainer(QStringLiteral("%1的扇区链有环（扇区 %2 出现了两次）").arg(what_).arg(sector));
        seen_[sector] = true;
    }

private:
    std::vector<bool> seen_;
    QString what_;
};

// The sectors of the chain from start through table: as many as hold size
// bytes when the size is known, else up to the end-of-chain mark.
std::vector<uint32_t> followChain(const std::vector<uint32_t>& table, uint32_t count, uint32_t start,
                                  std::optional<uint64_t> sectorsNeeded, const QString& what)
{
    ChainGuard guard(count, what);
    std::vector<uint32_t> sectors;
    if (sectorsNeeded)
        sectors.reserve(*sectorsNeeded);
    for (uint32_t current = start; sectorsNeeded ? sectors.size() < *sectorsNeeded : current != kEndOfChain;) {
        guard.visit(current);
        sectors.push_back(current);
        current = current < table.size() ? table[current] : kFreeSector;
    }
    return sectors;
}

// Copies length bytes from offset of the sectors' source into destination.
using Copy = std::function<void(char* destination, qint64 offset, qsizetype length)>;

// Gathers size bytes from the sectors, sector n lying at first + n * unit of
// the source; runs of consecutive sectors are copied at once.
QByteArray gather(const Copy& copy, qint64 first, uint32_t unit, const std::vector<uint32_t>& sectors, uint64_t size)
{
    QByteArray data(static_cast<qsizetype>(size), Qt::Uninitialized);
    qsizetype done = 0;
    for (size_t i = 0; i < sectors.size();) {
        size_t run = 1;
        while (i + run < sectors.size() && sectors[i + run] == sectors[i] + run)
            ++run;
        const qsizetype length = std::min<qsizetype>(static_cast<qsizetype>(run) * unit, data.size() - done);
        copy(data.data() + done, first + static_cast<qint64>(sectors[i]) * unit, length);
        done += length;
        i += run;
    }
    return data;
}

std::vector<uint32_t> entriesOf(const QByteArray& table)
{
    std::vector<uint32_t> entries(static_cast<size_t>(table.size() / 4));
    if (!entries.empty())
        qFromLittleEndian<uint32_t>(table.constData(), static_cast<qsizetype>(entries.size()), entries.data());
    return entries;
}

QString streamName(const QString& name)
{
    return QStringLiteral("数据流“%1”").arg(name);
}

} // namespace

DamagedContainer::DamagedContainer(const QString& description)
    : std::runtime_error(description.toStdString()), description_(description)
{
}

CompoundFile::CompoundFile(QIODevice& device) : device_(device), size_(device.size())
{
    readHeader();
    readAllocationTable();
    readDirectory();
    findRootChildren();
}

void CompoundFile::readHeader()
{
    QByteArray header(kHeaderSize, Qt::Uninitialized);
    if (size_ < kHeaderSize)
        throw DamagedContainer(QStringLiteral("文件比复合文档的文件头还短"));
    readAt(0, header.data(), kHeaderSize, QStringLiteral("文件头"));
    if (!header.startsWith(signature))
        throw DamagedContainer(QStringLiteral("文件不是以复合文档的签名开头"));
    if (u16(header, 28) != 0xFFFE)
        throw DamagedContainer(QStringLiteral("文件头的字节顺序标记不正确"));
    const uint16_t sectorShift = u16(header, 30);
    if (sectorShift != 9 && sectorShift != 12)
        throw DamagedContainer(QStringLiteral("扇区大小的指数为 %1，应为 9 或 12（512 或 4096 字节）").arg(sectorShift));
    if (u16(header, 32) != 6)
        throw DamagedContainer(QStringLiteral("小扇区大小的指数为 %1，应为 6（64 字节）").arg(u16(header, 32)));
    sectorSize_ = 1u << sectorShift;
    const qint64 afterHeader = std::max<qint64>(size_ - sectorSize_, 0);
    sectorCount_ = static_cast<uint32_t>(
        std::min<uint64_t>(unitsFor(static_cast<uint64_t>(afterHeader), sectorSize_), kLastRegularSector + 1ull));
    allocationSectorCount_ = u32(header, 44);
    firstDirectorySector_ = u32(header, 48);
    miniStreamCutoff_ = u32(header, 56);
    firstMiniAllocationSector_ = u32(header, 60);
    firstMasterSector_ = u32(header, 68);
    for (int i = 0; i < kHeaderMasterEntries; ++i)
        headerMasterEntries_[static_cast<size_t>(i)] = u32(header, 76 + 4 * i);
    if (allocationSectorCount_ > sectorCount_)
        throw DamagedContainer(QStringLiteral("扇区分配表声明占用 %1 个扇区，而文件只有 %2 个扇区")
                                   .arg(allocationSectorCount_)
                                   .arg(sectorCount_));
}

// The first 109 sectors of the allocation table are listed in the header, the
// others in a chain of master sectors, each ending with the next one's number.
std::vector<uint32_t> CompoundFile::allocationTableSectors() const
{
    std::vector<uint32_t> sectors;
    sectors.reserve(allocationSectorCount_);
    for (int i = 0; i < kHeaderMasterEntries && sectors.size() < allocationSectorCount_; ++i)
        sectors.push_back(headerMasterEntries_[static_cast<size_t>(i)]);
    const uint32_t perSector = sectorSize_ / 4 - 1;
    const QString what = QStringLiteral("扇区分配表的目录（DIFAT）");
    ChainGuard guard(sectorCount_, what);
    for (uint32_t master = firstMasterSector_; sectors.size() < allocationSectorCount_;) {
        guard.visit(master);
        const QByteArray entries = readTable({master}, what);
        for (uint32_t i = 0; i < perSector && sectors.size() < allocationSectorCount_; ++i)
            sectors.push_back(u32(entries, 4 * i));
        master = u32(entries, 4 * perSector);
    }
    return sectors;
}

void CompoundFile::readAllocationTable()
{
    const std::vector<uint32_t> sectors = allocationTableSectors();
    for (size_t i = 0; i < sectors.size(); ++i) {
        if (sectors[i] >= sectorCount_)
            throw DamagedContainer(QStringLiteral("扇区分配表的第 %1 个扇区（%2）在文件之外").arg(i + 1).arg(sectors[i]));
    }
    allocation_ = entriesOf(readTable(sectors, QStringLiteral("扇区分配表")));
}

void CompoundFile::readDirectory()
{
    const QString what = QStringLiteral("目录");
    const std::vector<uint32_t> sectors = followChain(allocation_, sectorCount_, firstDirectorySector_, std::nullopt, what);
    const QByteArray entries = readTable(sectors, what);
    directory_.reserve(static_cast<size_t>(entries.size() / kEntrySize));
    for (qsizetype at = 0; at + kEntrySize <= entries.size(); at += kEntrySize) {
        Entry entry;
        char16_t name[32];
        std::memcpy(name, entries.data() + at, sizeof name);
        const qsizetype length = std::min<qsizetype>(u16(entries, at + 64) / 2, 32);
        entry.name = QString::fromUtf16(name, std::find(name, name + length, u'\0') - name);
        entry.type = static_cast<uint8_t>(entries[at + 66]);
        entry.left = u32(entries, at + 68);
        entry.right = u32(entries, at + 72);
        entry.child = u32(entries, at + 76);
        entry.start = u32(entries, at + 116);
        // Files with 512-byte sectors are limited to 4 GiB streams, and
        // their writers may leave anything in the upper half of the size.
        entry.size = sectorSize_ == 512 ? u32(entries, at + 120) : u64(entries, at + 120);
        directory_.push_back(std::move(entry));
    }
    if (directory_.empty() || directory_.front().type != kRootEntry)
        throw DamagedContainer(QStringLiteral("目录的第一项不是根存储"));
}

// The root storage's children form a tree through their sibling links; it is
// walked with every entry visited at most once.
void CompoundFile::findRootChildren()
{
    std::vector<bool> seen(directory_.size());
    std::vector<uint32_t> pending{directory_.front().child};
    while (!pending.empty()) {
        const uint32_t index = pending.back();
        pending.pop_back();
        if (index == kNoEntry)
            continue;
        if (index >= directory_.size())
            throw DamagedContainer(QStringLiteral("目录引用了不存在的第 %1 项").arg(index));
        if (seen[index] || index == 0)
            throw DamagedContainer(QStringLiteral("目录的树结构有环（第 %1 项出现了两次）").arg(index));
        seen[index] = true;
        const Entry& entry = directory_[index];
        if (entry.type == kStreamEntry)
            rootChildren_.push_back(index);
        pending.push_back(entry.left);
        pending.push_back(entry.right);
    }
    std::sort(rootChildren_.begin(), rootChildren_.end());
}

std::vector<QString> CompoundFile::rootStreams() const
{
    std::vector<QString> names;
    names.reserve(rootChildren_.size());
    for (uint32_t index : rootChildren_)
        names.push_back(directory_[index].name);
    return names;
}

std::optional<uint32_t> CompoundFile::findRootStream(QStringView name) const
{
    for (uint32_t index : rootChildren_) {
        if (name.compare(directory_[index].name, Qt::CaseInsensitive) == 0)
            return index;
    }
    return std::nullopt;
}

std::optional<QByteArray> CompoundFile::readRootStream(QStringView name) const
{
    const std::optional<uint32_t> index = findRootStream(name);
    if (!index)
        return std::nullopt;
    const Entry& entry = directory_[*index];
    return entry.size < miniStreamCutoff_ ? readMiniStream(entry) : readStream(entry);
}

void CompoundFile::readAt(qint64 offset, char* destination, qsizetype length, const QString& what) const
{
    if (offset + length > size_)
        throw DamagedContainer(QStringLiteral("%1超出了文件的末尾").arg(what));
    if (!device_.seek(offset) || device_.read(destination, length) != length)
        throw DamagedContainer(QStringLiteral("读取%1时出错：%2").arg(what, device_.errorString()));
}

// The whole sectors of a table, in order. The file may end inside the last
// sector of the file; what is missing reads as 0xFF bytes: free sectors, no
// entries.
QByteArray CompoundFile::readTable(const std::vector<uint32_t>& sectors, const QString& what) const
{
    const Copy clipped = [this, &what](char* destination, qint64 offset, qsizetype length) {
        const auto present = static_cast<qsizetype>(std::min<qint64>(length, size_ - offset));
        readAt(offset, destination, present, what);
        std::memset(destination + present, 0xFF, static_cast<size_t>(length - present));
    };
    return gather(clipped, sectorSize_, sectorSize_, sectors, static_cast<uint64_t>(sectors.size()) * sectorSize_);
}

QByteArray CompoundFile::readStream(const Entry& entry) const
{
    const QString what = entry.type == kRootEntry ? QStringLiteral("小数据流的存储区") : streamName(entry.name);
    const uint64_t needed = unitsFor(entry.size, sectorSize_);
    if (needed > sectorCount_)
        throw DamagedContainer(QStringLiteral("%1声明的长度（%2 字节）超出了文件的大小").arg(what).arg(entry.size));
    const std::vector<uint32_t> sectors = followChain(allocation_, sectorCount_, entry.start, needed, what);
    const Copy fromFile = [this, &what](char* destination, qint64 offset, qsizetype length) {
        readAt(offset, destination, length, what);
    };
    return gather(fromFile, sectorSize_, sectorSize_, sectors, entry.size);
}

// Streams shorter than the cutoff lie in 64-byte mini sectors of one stream,
// the root entry's, chained by their own allocation table. Both are read once,
// when the first such stream is.
const CompoundFile::MiniStore& CompoundFile::miniStore() const
{
    if (!miniStore_) {
        const QString what = QStringLiteral("小扇区分配表");
        const std::vector<uint32_t> sectors =
            followChain(allocation_, sectorCount_, firstMiniAllocationSector_, std::nullopt, what);
        miniStore_ = MiniStore{readStream(directory_.front()), entriesOf(readTable(sectors, what))};
    }
    return *miniStore_;
}

QByteArray CompoundFile::readMiniStream(const Entry& entry) const
{
    const QString what = streamName(entry.name);
    const MiniStore& store = miniStore();
    const auto count = static_cast<uint32_t>(unitsFor(static_cast<uint64_t>(store.bytes.size()), kMiniSectorSize));
    const uint64_t needed = unitsFor(entry.size, kMiniSectorSize);
    if (needed > count)
        throw DamagedContainer(QStringLiteral("%1声明的长度（%2 字节）超出了小数据流的存储区").arg(what).arg(entry.size));
    const std::vector<uint32_t> sectors = followChain(store.table, count, entry.start, needed, what);
    const Copy fromStore = [&store, &what](char* destination, qint64 offset, qsizetype length) {
        if (offset + length > store.bytes.size())
            throw DamagedContainer(QStringLiteral("%1超出了小数据流的存储区").arg(what));
        std::memcpy(destination, store.bytes.constData() + offset, static_cast<size_t>(length));
    };
    return gather(fromStore, 0, kMiniSectorSize, sectors, entry.size);
}

} // namespace workbook::cfb
