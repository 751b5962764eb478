// The OLE2 compound file reader, on containers built here: every layout it
// must read, and every lie it must refuse with a description.
#include "TestMain.h"
#include "workbook/CompoundFile.h"
#include "workbook/Workbook.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <functional>

using workbook::cfb::CompoundFile;
using workbook::cfb::DamagedContainer;

namespace {

constexpr uint32_t EndOfChain = 0xFFFFFFFE;
constexpr uint32_t FreeSector = 0xFFFFFFFF;
constexpr uint32_t NoEntry = 0xFFFFFFFF;

struct Part {
    QString name;
    QByteArray data;
    // The directory index of the storage holding it; 0 is the root.
    int parent = 0;
    bool storage = false;
};

QByteArray content(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + seed * 13 + i / 251) & 0xFF);
    return bytes;
}

// A compound file as writers lay it out: allocation table sectors first, then
// the master sectors, the directory, the mini allocation table, the mini
// stream and the big streams, each chain running through consecutive sectors.
// It remembers where it put everything, so the tests can damage it.
class Container {
public:
    Container(std::vector<Part> parts, int sectorShift = 9) : parts_(std::move(parts)), size_(1u << sectorShift)
    {
        layOut();
        write(sectorShift);
    }

    QByteArray bytes;
    std::vector<uint32_t> fatSectors;
    std::vector<uint32_t> masterSectors;
    uint32_t directorySector = 0;
    uint32_t miniFatSector = EndOfChain;
    // Per part: its first sector, or first mini sector when it lies in the mini stream.
    std::vector<uint32_t> starts;

    qsizetype sectorOffset(uint32_t sector) const { return (static_cast<qsizetype>(sector) + 1) * size_; }
    qsizetype entryOffset(int entry) const { return sectorOffset(directorySector) + entry * 128; }
    qsizetype fatEntryOffset(uint32_t sector) const
    {
        return sectorOffset(fatSectors[sector / (size_ / 4)]) + (sector % (size_ / 4)) * 4;
    }
    qsizetype miniFatEntryOffset(uint32_t miniSector) const { return sectorOffset(miniFatSector) + miniSector * 4; }
    void set(qsizetype at, uint32_t value) { qToLittleEndian(value, bytes.data() + at); }
    void set16(qsizetype at, uint16_t value) { qToLittleEndian(value, bytes.data() + at); }

private:
    static bool inMiniStream(const Part& part) { return !part.storage && part.data.size() < 4096; }

    uint32_t sectorsFor(qsizetype bytesNeeded) const { return static_cast<uint32_t>((bytesNeeded + size_ - 1) / size_); }

    void layOut()
    {
        for (const Part& part : parts_) {
            if (inMiniStream(part)) {
                starts.push_back(part.data.isEmpty() ? EndOfChain : static_cast<uint32_t>(miniStream_.size() / 64));
                miniStream_ += part.data;
                miniStream_.append((64 - miniStream_.size() % 64) % 64, '\0');
            } else {
                starts.push_back(0);
            }
        }
        const uint32_t perSector = size_ / 4;
        const uint32_t directory = sectorsFor((static_cast<qsizetype>(parts_.size()) + 1) * 128);
        const uint32_t miniFat = sectorsFor(miniStream_.size() / 64 * 4);
        uint32_t data = directory + miniFat + sectorsFor(miniStream_.size());
        for (const Part& part : parts_)
            data += inMiniStream(part) ? 0 : sectorsFor(part.data.size());
        uint32_t fat = 1;
        uint32_t master = 0;
        for (;;) {
            const uint32_t neededFat = (data + fat + master + perSector - 1) / perSector;
            const uint32_t neededMaster = neededFat > 109 ? (neededFat - 109 + perSector - 2) / (perSector - 1) : 0;
            if (neededFat == fat && neededMaster == master)
                break;
            fat = neededFat;
            master = neededMaster;
        }
        fat_.assign(static_cast<size_t>(fat) * perSector, FreeSector);
        uint32_t next = 0;
        for (uint32_t i = 0; i < fat; ++i, ++next) {
            fatSectors.push_back(next);
            fat_[next] = 0xFFFFFFFD;
        }
        for (uint32_t i = 0; i < master; ++i, ++next) {
            masterSectors.push_back(next);
            fat_[next] = 0xFFFFFFFC;
        }
        directorySector = chain(next, directory);
        miniFatSector = chain(next, miniFat);
        miniStreamSector_ = chain(next, sectorsFor(miniStream_.size()));
        for (size_t i = 0; i < parts_.size(); ++i) {
            if (!inMiniStream(parts_[i]))
                starts[i] = chain(next, sectorsFor(parts_[i].data.size()));
        }
        sectorCount_ = next;
    }

    // Chains count sectors from next on; the first of them, or the end mark.
    uint32_t chain(uint32_t& next, uint32_t count)
    {
        if (count == 0)
            return EndOfChain;
        const uint32_t first = next;
        for (uint32_t i = 0; i < count; ++i, ++next)
            fat_[next] = i + 1 < count ? next + 1 : EndOfChain;
        return first;
    }

    void write(int sectorShift)
    {
        bytes = QByteArray(sectorOffset(sectorCount_), '\0');
        bytes.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
        set16(24, 0x3E);
        set16(26, sectorShift == 9 ? 3 : 4);
        set16(28, 0xFFFE);
        set16(30, static_cast<uint16_t>(sectorShift));
        set16(32, 6);
        set(40, sectorShift == 9 ? 0 : sectorsFor((static_cast<qsizetype>(parts_.size()) + 1) * 128));
        set(44, static_cast<uint32_t>(fatSectors.size()));
        set(48, directorySector);
        set(56, 4096);
        set(60, miniFatSector);
        set(64, sectorsFor(miniStream_.size() / 64 * 4));
        set(68, masterSectors.empty() ? EndOfChain : masterSectors.front());
        set(72, static_cast<uint32_t>(masterSectors.size()));
        for (int i = 0; i < 109; ++i)
            set(76 + 4 * i, i < static_cast<int>(fatSectors.size()) ? fatSectors[static_cast<size_t>(i)] : FreeSector);
        writeMasterSectors();
        for (size_t i = 0; i < fat_.size(); ++i)
            set(sectorOffset(fatSectors[i / (size_ / 4)]) + static_cast<qsizetype>(i % (size_ / 4)) * 4, fat_[i]);
        writeDirectory();
        writeMiniAllocationTable();
        for (size_t i = 0; i < parts_.size(); ++i) {
            if (!inMiniStream(parts_[i]))
                bytes.replace(sectorOffset(starts[i]), parts_[i].data.size(), parts_[i].data);
        }
        if (!miniStream_.isEmpty())
            bytes.replace(sectorOffset(miniStreamSector_), miniStream_.size(), miniStream_);
    }

    void writeMiniAllocationTable()
    {
        if (miniFatSector == EndOfChain)
            return;
        bytes.replace(sectorOffset(miniFatSector), sectorsFor(miniStream_.size() / 64 * 4) * size_,
                      QByteArray(sectorsFor(miniStream_.size() / 64 * 4) * size_, '\xFF'));
        uint32_t miniSector = 0;
        for (const Part& part : parts_) {
            if (!inMiniStream(part))
                continue;
            const auto count = static_cast<uint32_t>((part.data.size() + 63) / 64);
            for (uint32_t n = 0; n < count; ++n, ++miniSector)
                set(miniFatEntryOffset(miniSector), n + 1 < count ? miniSector + 1 : EndOfChain);
        }
    }

    void writeMasterSectors()
    {
        const uint32_t perSector = size_ / 4 - 1;
        for (size_t m = 0; m < masterSectors.size(); ++m) {
            const qsizetype at = sectorOffset(masterSectors[m]);
            for (uint32_t i = 0; i < perSector; ++i) {
                const size_t fat = 109 + m * perSector + i;
                set(at + 4 * i, fat < fatSectors.size() ? fatSectors[fat] : FreeSector);
            }
            set(at + 4 * perSector, m + 1 < masterSectors.size() ? masterSectors[m + 1] : EndOfChain);
        }
    }

    void writeDirectory()
    {
        std::vector<Part> entries{{QStringLiteral("Root Entry"), miniStream_, -1, true}};
        entries.insert(entries.end(), parts_.begin(), parts_.end());
        for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
            const qsizetype at = entryOffset(e);
            const QString& name = entries[static_cast<size_t>(e)].name;
            for (qsizetype c = 0; c < name.size(); ++c)
                set16(at + 2 * c, name[c].unicode());
            set16(at + 64, static_cast<uint16_t>((name.size() + 1) * 2));
            bytes[at + 66] = static_cast<char>(e == 0 ? 5 : entries[static_cast<size_t>(e)].storage ? 1 : 2);
            bytes[at + 67] = 1;
            set(at + 116, e == 0 ? miniStreamSector_ : starts[static_cast<size_t>(e - 1)]);
            set(at + 120, static_cast<uint32_t>(entries[static_cast<size_t>(e)].data.size()));
        }
        for (int e = 0; e < static_cast<int>(entries.size()); ++e) {
            std::vector<int> children;
            for (int c = 1; c < static_cast<int>(entries.size()); ++c) {
                if (entries[static_cast<size_t>(c)].parent == e)
                    children.push_back(c);
            }
            set(entryOffset(e) + 76, tree(children, 0, static_cast<int>(children.size())));
        }
        set(entryOffset(0) + 68, NoEntry);
        set(entryOffset(0) + 72, NoEntry);
        for (int e = static_cast<int>(entries.size()); e < static_cast<int>(size_ / 128 * sectorsFor(static_cast<qsizetype>(entries.size()) * 128)); ++e) {
            set(entryOffset(e) + 68, NoEntry);
            set(entryOffset(e) + 72, NoEntry);
            set(entryOffset(e) + 76, NoEntry);
        }
    }

    // Links siblings [begin, end) as a balanced tree; returns its top.
    uint32_t tree(const std::vector<int>& siblings, int begin, int end)
    {
        if (begin >= end)
            return NoEntry;
        const int middle = (begin + end) / 2;
        const qsizetype at = entryOffset(siblings[static_cast<size_t>(middle)]);
        set(at + 68, tree(siblings, begin, middle));
        set(at + 72, tree(siblings, middle + 1, end));
        return static_cast<uint32_t>(siblings[static_cast<size_t>(middle)]);
    }

    std::vector<Part> parts_;
    uint32_t size_;
    QByteArray miniStream_;
    std::vector<uint32_t> fat_;
    uint32_t miniStreamSector_ = EndOfChain;
    uint32_t sectorCount_ = 0;
};

// Calls read with the compound file made of the bytes.
template <typename Read>
auto withFile(QByteArray bytes, Read read)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const CompoundFile file(buffer);
    return read(file);
}

// Opens the container and reads every stream of its root storage, as the
// fuzz target does; a refusal must say what is wrong.
QString readEverything(const QByteArray& bytes)
{
    try {
        withFile(bytes, [](const CompoundFile& file) {
            for (const QString& name : file.rootStreams())
                file.readRootStream(name);
        });
        return {};
    } catch (const DamagedContainer& damage) {
        return damage.description().isEmpty() ? QStringLiteral("(no description)") : damage.description();
    }
}

// A workbook stream in sectors, a small stream in the mini stream.
Container damageable()
{
    return Container({{QStringLiteral("Workbook"), content(10000, 1)}, {QStringLiteral("Small"), content(3000, 2)}});
}

using Damage = std::function<void(Container&)>;

} // namespace

class TestCompoundFile : public QObject {
    Q_OBJECT

private slots:
    void readsEveryStream_data()
    {
        QTest::addColumn<int>("sectorShift");
        QTest::addColumn<int>("size");
        for (int shift : {9, 12}) {
            for (int size : {0, 1, 63, 64, 4095, 4096, 4097, 5000, 123457}) {
                QTest::addRow("%d-byte sectors, %d bytes", 1 << shift, size) << shift << size;
            }
        }
    }
    void readsEveryStream()
    {
        QFETCH(int, sectorShift);
        QFETCH(int, size);
        const std::vector<Part> parts{{QStringLiteral("Workbook"), content(size, 1)},
                                      {QStringLiteral("\x05SummaryInformation"), content(200, 2)},
                                      {QStringLiteral("Empty"), {}},
                                      {QStringLiteral("Other"), content(70, 3)}};
        const Container container(parts, sectorShift);
        withFile(container.bytes, [&](const CompoundFile& file) {
            QCOMPARE(file.rootStreams().size(), parts.size());
            for (const Part& part : parts)
                QCOMPARE(file.readRootStream(part.name).value(), part.data);
            QCOMPARE(file.readRootStream(u"WORKBOOK").value(), parts.front().data);
            QVERIFY(!file.readRootStream(u"Book"));
        });
    }

    // More than 109 allocation table sectors: the rest are listed in master sectors.
    void readsTheMasterSectorChain()
    {
        const QByteArray big = content(17 << 20, 4);
        const Container container({{QStringLiteral("Workbook"), big}});
        QCOMPARE(container.masterSectors.size(), size_t(2));
        QCOMPARE(withFile(container.bytes, [](const CompoundFile& file) { return file.readRootStream(u"Workbook").value(); }), big);
    }

    // An embedded object's storage may hold a "Workbook" of its own.
    void streamsOfOtherStoragesAreNotTheRoot()
    {
        const Container container({{QStringLiteral("MBD00000001"), {}, 0, true},
                                   {QStringLiteral("Workbook"), content(5000, 5), 1},
                                   {QStringLiteral("Book"), content(6000, 6)}});
        withFile(container.bytes, [](const CompoundFile& file) {
            QVERIFY(!file.readRootStream(u"Workbook"));
            QCOMPARE(file.readRootStream(u"Book").value(), content(6000, 6));
            QCOMPARE(file.rootStreams(), std::vector<QString>{QStringLiteral("Book")});
        });
    }

    // Office keeps a password-protected .xlsx in a compound file of its own.
    void encryptedPackageIsRefusedForItsPassword()
    {
        const Container container({{QStringLiteral("EncryptionInfo"), content(240, 7)},
                                   {QStringLiteral("EncryptedPackage"), content(9000, 8)}});
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("protected.xlsx"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(container.bytes);
        file.close();
        try {
            workbook::Workbook::Bind(path);
            QFAIL("the file opened");
        } catch (const workbook::WorkbookError& error) {
            QVERIFY2(error.description().contains(QStringLiteral("设有打开密码")), qPrintable(error.description()));
        }
    }

    void refusesLies_data()
    {
        QTest::addColumn<Damage>("damage");
        QTest::addColumn<QString>("fragment");
        const auto add = [](const char* name, Damage damage, const char* fragment) {
            QTest::newRow(name) << damage << QString::fromUtf8(fragment);
        };
        add("byte order", [](Container& c) { c.set16(28, 0xFEFF); }, "字节顺序");
        add("sector size", [](Container& c) { c.set16(30, 10); }, "扇区大小的指数为 10");
        add("mini sector size", [](Container& c) { c.set16(32, 7); }, "小扇区大小的指数为 7");
        add("no allocation table", [](Container& c) { c.set(44, 0); }, "目录的扇区链中断");
        add("more table sectors than the file has", [](Container& c) { c.set(44, 1000); }, "扇区分配表声明占用 1000 个扇区");
        add("table sector outside the file", [](Container& c) { c.set(76, 5000); }, "在文件之外");
        add("directory chain loops", [](Container& c) { c.set(c.fatEntryOffset(c.directorySector), c.directorySector); },
            "目录的扇区链有环");
        add("directory chain runs outside", [](Container& c) { c.set(48, 4000); }, "目录的扇区链指向文件之外的扇区 4000");
        add("not a root entry first", [](Container& c) { c.bytes[c.entryOffset(0) + 66] = 1; }, "目录的第一项不是根存储");
        add("sibling beyond the directory", [](Container& c) { c.set(c.entryOffset(0) + 76, 77); }, "不存在的第 77 项");
        add("sibling loop", [](Container& c) { c.set(c.entryOffset(1) + 68, 1); }, "树结构有环");
        add("child back to the root", [](Container& c) { c.set(c.entryOffset(1) + 72, 0); }, "树结构有环");
        add("stream chain loops", [](Container& c) { c.set(c.fatEntryOffset(c.starts[0] + 5), c.starts[0] + 2); },
            "数据流“Workbook”的扇区链有环");
        add("stream chain ends early", [](Container& c) { c.set(c.fatEntryOffset(c.starts[0] + 5), EndOfChain); },
            "数据流“Workbook”的扇区链比其长度所需的短");
        add("stream chain runs into a free sector", [](Container& c) { c.set(c.fatEntryOffset(c.starts[0] + 5), FreeSector); },
            "数据流“Workbook”的扇区链中断");
        add("stream starts outside", [](Container& c) { c.set(c.entryOffset(1) + 116, 999); }, "指向文件之外的扇区 999");
        add("stream larger than the file", [](Container& c) { c.set(c.entryOffset(1) + 120, 0x7FFFFFFF); },
            "数据流“Workbook”声明的长度（2147483647 字节）超出了文件的大小");
        add("file cut inside the stream", [](Container& c) { c.bytes.chop(340); }, "数据流“Workbook”超出了文件的末尾");
        add("mini chain loops", [](Container& c) { c.set(c.miniFatEntryOffset(c.starts[1] + 2), c.starts[1]); },
            "数据流“Small”的扇区链有环");
        add("mini stream larger than its store", [](Container& c) { c.set(c.entryOffset(2) + 120, 4000); },
            "超出了小数据流的存储区");
        add("mini store chain loops", [](Container& c) {
            const uint32_t store = qFromLittleEndian<uint32_t>(c.bytes.constData() + c.entryOffset(0) + 116);
            c.set(c.fatEntryOffset(store), store);
        }, "小数据流的存储区的扇区链有环");
        add("mini table chain loops", [](Container& c) { c.set(c.fatEntryOffset(c.miniFatSector), c.miniFatSector); },
            "小扇区分配表的扇区链有环");
    }
    void refusesLies()
    {
        QFETCH(Damage, damage);
        QFETCH(QString, fragment);
        Container container = damageable();
        QCOMPARE(readEverything(container.bytes), QString());
        damage(container);
        const QString description = readEverything(container.bytes);
        QVERIFY2(description.contains(fragment), qPrintable(description));
    }

    void refusesAMasterSectorLoop()
    {
        Container container({{QStringLiteral("Workbook"), content(17 << 20, 4)}});
        const uint32_t first = container.masterSectors.front();
        container.set(container.sectorOffset(first) + 508, first);
        QVERIFY2(readEverything(container.bytes).contains(QStringLiteral("DIFAT）的扇区链有环")),
                 qPrintable(readEverything(container.bytes)));
    }

    // Cut and scrambled copies read or are refused with a description.
    void damagedCopiesReadOrAreRefused()
    {
        const QByteArray original = damageable().bytes;
        for (qsizetype size = 0; size <= original.size(); size += 64)
            QVERIFY(readEverything(original.left(size)) != QStringLiteral("(no description)"));
        QRandomGenerator random(7);
        for (int round = 0; round < 2000; ++round) {
            QByteArray bytes = original;
            for (int flip = 0; flip < 3; ++flip)
                bytes[random.bounded(1536)] = static_cast<char>(random.bounded(256));
            QVERIFY(readEverything(bytes) != QStringLiteral("(no description)"));
        }
    }
};

VELTRIN_TEST_GUILESS_MAIN(TestCompoundFile)
#include "tst_compoundfile.moc"
