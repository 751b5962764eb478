#pragma once

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <variant>

namespace controls {

// A font as a saved state keeps it. Qt fonts carry no character set, so the
// set travels beside the font to be saved again as it was read.
struct SavedFont {
    QString Name;
    double Size = 0; // points
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;
    int16_t Weight = 400;
    int16_t Charset = 0;

    static SavedFont FromQFont(const QFont& font, int16_t charset = 0);
    QFont ToQFont() const;

    friend bool operator==(const SavedFont&, const SavedFont&) = default;
};

// A saved state that cannot be read, or a key read as a type it was not saved as.
class PropertyBagError : public std::runtime_error {
public:
    explicit PropertyBagError(const QString& description) : std::runtime_error(description.toStdString()) {}
};

// The saved settings of one control: typed values by key. A value equal to
// its default is not stored, so reading it back gives the default.
class PropertyBag {
public:
    // A picture is kept as an image; "none" is the null image.
    using Value = std::variant<int16_t, int32_t, bool, SavedFont, QImage>;

    template <typename T>
    T ReadProperty(const QString& name, const T& defaultValue) const
    {
        const Value* stored = find(name);
        if (!stored)
            return defaultValue;
        if (const T* value = std::get_if<T>(stored))
            return *value;
        throw PropertyBagError(QStringLiteral("保存的属性 %1 类型不符").arg(name));
    }

    template <typename T>
    void WriteProperty(const QString& name, const T& value, const T& defaultValue)
    {
        if (value == defaultValue)
            remove(name);
        else
            store(name, Value(std::in_place_type<T>, value));
    }

    bool Contains(const QString& name) const { return find(name) != nullptr; }
    // The stored keys in the order they were first written.
    QStringList Names() const;

    // A byte form that FromBytes reads back to an equal bag.
    QByteArray ToBytes() const;
    static PropertyBag FromBytes(const QByteArray& bytes);

    friend bool operator==(const PropertyBag&, const PropertyBag&) = default;

private:
    const Value* find(const QString& name) const;
    void store(const QString& name, Value value);
    void remove(const QString& name);

    QList<std::pair<QString, Value>> entries_;
};

} // namespace controls
