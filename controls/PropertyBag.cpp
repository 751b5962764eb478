#include "controls/PropertyBag.h"

#include <QBuffer>
#include <QDataStream>
#include <QFontInfo>

#include <algorithm>

namespace controls {
namespace {

constexpr quint32 BagMagic = 0x56504231; // "VPB1"

// Pictures are kept in one format so that a picture read back from its PNG
// bytes compares equal to the one written.
QImage normalisedPicture(const QImage& picture)
{
    return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32);
}

QByteArray pngBytes(const QImage& picture)
{
    QByteArray bytes;
    if (picture.isNull())
        return bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

void writeValue(QDataStream& out, const PropertyBag::Value& value)
{
    out << static_cast<quint8>(value.index());
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, SavedFont>)
                out << v.Name << v.Size << v.Bold << v.Italic << v.Underline << v.Strikethrough << v.Weight
                    << v.Charset;
            else if constexpr (std::is_same_v<T, QImage>)
                out << pngBytes(v);
            else
                out << v;
        },
        value);
}

PropertyBag::Value readValue(QDataStream& in, const QString& name)
{
    quint8 type = 0;
    in >> type;
    switch (type) {
    case 0: {
        int16_t v = 0;
        in >> v;
        return v;
    }
    case 1: {
        int32_t v = 0;
        in >> v;
        return v;
    }
    case 2: {
        bool v = false;
        in >> v;
        return v;
    }
    case 3: {
        SavedFont v;
        in >> v.Name >> v.Size >> v.Bold >> v.Italic >> v.Underline >> v.Strikethrough >> v.Weight >> v.Charset;
        return v;
    }
    case 4: {
        QByteArray png;
        in >> png;
        if (png.isEmpty())
            return QImage();
        const QImage picture = QImage::fromData(png, "PNG");
        if (picture.isNull())
            throw PropertyBagError(QStringLiteral("保存的属性 %1 不是可读的图片").arg(name));
        return normalisedPicture(picture);
    }
    default:
        throw PropertyBagError(QStringLiteral("保存的属性 %1 类型未知").arg(name));
    }
}

} // namespace

SavedFont SavedFont::FromQFont(const QFont& font, int16_t charset)
{
    SavedFont saved;
    saved.Name = font.family();
    saved.Size = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
    saved.Bold = font.bold();
    saved.Italic = font.italic();
    saved.Underline = font.underline();
    saved.Strikethrough = font.strikeOut();
    saved.Weight = static_cast<int16_t>(font.weight());
    saved.Charset = charset;
    return saved;
}

QFont SavedFont::ToQFont() const
{
    QFont font(Name);
    if (Size > 0)
        font.setPointSizeF(Size);
    // Qt takes the weights 1 to 1000 of the saved form as they are.
    if (Weight >= 1 && Weight <= 1000)
        font.setWeight(static_cast<QFont::Weight>(Weight));
    else
        font.setBold(Bold);
    font.setItalic(Italic);
    font.setUnderline(Underline);
    font.setStrikeOut(Strikethrough);
    return font;
}

QStringList PropertyBag::Names() const
{
    QStringList names;
    for (const auto& entry : entries_)
        names << entry.first;
    return names;
}

const PropertyBag::Value* PropertyBag::find(const QString& name) const
{
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&name](const auto& entry) { return entry.first == name; });
    return it == entries_.end() ? nullptr : &it->second;
}

void PropertyBag::store(const QString& name, Value value)
{
    if (const QImage* picture = std::get_if<QImage>(&value))
        value = normalisedPicture(*picture);
    for (auto& entry : entries_) {
        if (entry.first == name) {
            entry.second = std::move(value);
            return;
        }
    }
    entries_.append({name, std::move(value)});
}

void PropertyBag::remove(const QString& name)
{
    entries_.removeIf([&name](const auto& entry) { return entry.first == name; });
}

QByteArray PropertyBag::ToBytes() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << BagMagic << static_cast<quint32>(entries_.size());
    for (const auto& [name, value] : entries_) {
        out << name;
        writeValue(out, value);
    }
    return bytes;
}

PropertyBag PropertyBag::FromBytes(const QByteArray& bytes)
{
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0;
    quint32 count = 0;
    in >> magic >> count;
    if (in.status() != QDataStream::Ok || magic != BagMagic)
        throw PropertyBagError(QStringLiteral("不是控件的保存状态"));
    PropertyBag bag;
    for (quint32 i = 0; i < count; ++i) {
        QString name;
        in >> name;
        Value value = readValue(in, name);
        if (in.status() != QDataStream::Ok)
            throw PropertyBagError(QStringLiteral("控件的保存状态不完整"));
        bag.store(name, std::move(value));
    }
    if (!in.atEnd())
        throw PropertyBagError(QStringLiteral("控件的保存状态末尾有多余的数据"));
    return bag;
}

} // namespace controls
