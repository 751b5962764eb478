#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

// The OLE2 compound file (the container of .xls workbooks and of encrypted
// .xlsx packages): a small file system of fixed-size sectors chained by an
// allocation table. Only reading, and nothing from the file is trusted: every
// chain is followed at most as many steps as there are sectors, sector numbers
// are checked against the file's size, a stream's size against its chain, and
// nothing is allocated beyond what the file's own bytes can back.
class QIODevice;

namespace workbook::cfb {

// Raised for a container that does not hold what it claims; the description
// says in Chinese what is wrong, so a reader can put it into its own message.
class DamagedContainer : public std::runtime_error {
public:
    explicit DamagedContainer(const QString& description);
    QString description() const { return description_; }

private:
    QString description_;
};

class CompoundFile {
public:
    // Reads the header, the sector allocation table and the directory from a
    // device open for reading (a file, or a buffer in memory), which must
    // outlive the object; every read moves its position. Streams are read
    // straight from the device into their buffers. Throws DamagedContainer.
    explicit CompoundFile(QIODevice& device);

    // The streams stored directly in the root storage, in directory order.
    std::vector<QString> rootStreams() const;
    // Whether the root storage holds a stream of that name, letter case ignored.
    bool hasRootStream(QStringView name) const { return findRootStream(name).has_value(); }
    // The whole content of the root storage's stream of that name, letter case
    // ignored, or nothing when there is none. Throws DamagedContainer.
    std::optional<QByteArray> readRootStream(QStringView name) const;

private:
    struct Entry {
        QString name;
        uint8_t type = 0;
        uint32_t left = 0;
        uint32_t right = 0;
        uint32_t child = 0;
        uint32_t start = 0;
        uint64_t size = 0;
    };
    // The root entry's stream, which holds the small streams, and its table.
    struct MiniStore {
        QByteArray bytes;
        std::vector<uint32_t> table;
    };

    void readHeader();
    void readAllocationTable();
    std::vector<uint32_t> allocationTableSectors() const;
    void readDirectory();
    void findRootChildren();
    std::optional<uint32_t> findRootStream(QStringView name) const;
    QByteArray readStream(const Entry& entry) const;
    const MiniStore& miniStore() const;
    QByteArray readMiniStream(const Entry& entry) const;
    void readAt(qint64 offset, char* destination, qsizetype length, const QString& what) const;
    QByteArray readTable(const std::vector<uint32_t>& sectors, const QString& what) const;

    QIODevice& device_;
    qint64 size_;
    uint32_t sectorSize_ = 512;
    // The sectors after the header, the last of them possibly cut short.
    uint32_t sectorCount_ = 0;
    uint32_t allocationSectorCount_ = 0;
    uint32_t firstDirectorySector_ = 0;
    uint32_t miniStreamCutoff_ = 4096;
    uint32_t firstMiniAllocationSector_ = 0;
    uint32_t firstMasterSector_ = 0;
    // The header lists the first sectors of the allocation table itself.
    static constexpr int kHeaderMasterEntries = 109;
    std::array<uint32_t, kHeaderMasterEntries> headerMasterEntries_{};
    std::vector<uint32_t> allocation_;
    std::vector<Entry> directory_;
    std::vector<uint32_t> rootChildren_;
    mutable std::optional<MiniStore> miniStore_;
};

} // namespace workbook::cfb
