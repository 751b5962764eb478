#include "filedialog/FilePattern.h"

namespace filedialog {
namespace {

QRegularExpression wildcardExpression(QStringView wildcard)
{
    QString expression;
    for (const QChar c : wildcard) {
        if (c == QLatin1Char('*'))
            expression += QLatin1String(".*");
        else if (c == QLatin1Char('?'))
            expression += QLatin1Char('.');
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption
                                  | QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

std::optional<FilePattern> FilePattern::parse(const QString& text)
{
    FilePattern pattern;
    for (const QString& rawPart : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString part = rawPart.trimmed();
        if (part.isEmpty())
            continue;
        if (part.contains(QLatin1Char('/')) || part.contains(QLatin1Char('\\')))
            return std::nullopt;
        pattern.parts_.append(wildcardExpression(part));
        // "*.*" lists every file, "README" too: a trailing ".*" also matches
        // a name without any extension.
        if (part.endsWith(QLatin1String(".*")))
            pattern.parts_.append(wildcardExpression(QStringView(part).chopped(2)));
    }
    return pattern;
}

bool FilePattern::matches(const QString& fileName) const
{
    for (const QRegularExpression& part : parts_) {
        if (part.match(fileName).hasMatch())
            return true;
    }
    return false;
}

} // namespace filedialog
