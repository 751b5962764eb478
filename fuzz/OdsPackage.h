#pragma once

#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <zip.h>

// An OpenDocument spreadsheet package around a given content.xml, as the
// .ods fuzz target feeds the reader and as the tests replay its findings.
inline bool WriteOdsPackage(const QString& path, QByteArrayView content)
{
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (!archive)
        return false;
    static const char mimeType[] = "application/vnd.oasis.opendocument.spreadsheet";
    const struct {
        const char* name;
        const void* bytes;
        size_t size;
    } entries[] = {{"mimetype", mimeType, sizeof mimeType - 1},
                   {"content.xml", content.data(), static_cast<size_t>(content.size())}};
    for (const auto& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.bytes, entry.size, 0);
        const zip_int64_t index = source ? zip_file_add(archive, entry.name, source, ZIP_FL_OVERWRITE) : -1;
        if (index < 0 || zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) < 0) {
            if (source && index < 0)
                zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}
