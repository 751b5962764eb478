#pragma once

#include "workbook/XmlScanner.h"

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;

// The zip package of a .xlsx workbook and the streaming XML parsing of its
// parts. Every failure throws workbook::WorkbookError saying what is wrong.
namespace workbook::xlsx {

struct Relationship {
    QString id;
    QString type;   // the last segment of the type URI: "worksheet", "styles"...
    QString target; // the part name it points to, resolved against the source
};

class Package {
public:
    explicit Package(const QString& path);
    ~Package();
    Package(const Package&) = delete;
    Package& operator=(const Package&) = delete;

    const QString& path() const { return path_; }
    // Part names are compared without regard to letter case, as the package rules say.
    bool contains(const QString& partName) const;
    // The start of a part, for a look at its first bytes (empty when it is absent).
    QByteArray head(const QString& partName, int size);
    // The relationships of a part, from "<dir>/_rels/<name>.rels"; empty when
    // that part is absent. External targets are left out.
    std::vector<Relationship> relationships(const QString& partName);

    // Decompressing more than this in all is taken for a zip bomb.
    static constexpr uint64_t MaxInflated = uint64_t(1) << 30;

private:
    friend class PartSource;
    zip_file* open(const QString& partName);
    int64_t indexOf(const QString& partName) const;
    // What the zip directory says the part inflates to; 0 when it does not say.
    uint64_t declaredSize(const QString& partName) const;
    // Counts bytes decompressed; false once the total passes MaxInflated.
    // The sizes that the zip directory declares are checked first, but they
    // may lie, so what is really inflated is counted too.
    bool account(int64_t bytes);
    QString inflatedTooMuch() const;

    QString path_;
    zip* zip_ = nullptr;
    uint64_t inflated_ = 0;
};

// Streams one part through the XML scanner, inflating it as the scanner asks
// for more, so a big sheet is never held in memory whole. DTDs are refused.
// Throws WorkbookError when the part is absent or damaged, or passes on what
// the handler threw.
void ParsePart(Package& package, const QString& partName, XmlHandler& handler);

// Collects the text of a shared string item <si> or an inline string <is>:
// its <t> runs joined, phonetic runs <rPh> left out.
class StringItemText {
public:
    // A cell holds at most 32767 characters; text far beyond that is refused
    // rather than collected without end.
    static constexpr size_t MaxBytes = size_t(1) << 20;

    void startElement(std::string_view name);
    void endElement(std::string_view name);
    // False, and nothing added, when the text would pass MaxBytes.
    [[nodiscard]] bool text(std::string_view text);
    std::string& value() { return value_; }
    void clear();

private:
    int inRun_ = 0;
    int inPhonetic_ = 0;
    std::string value_;
};

} // namespace workbook::xlsx
