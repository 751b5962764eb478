#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace support {

// The tool's multi-byte code page is GBK (Windows code page 936) on every
// operating system, so URL encoding and the aligned contact names come out the
// same everywhere.

// A character that GBK cannot hold becomes "?" (one byte per character; a lone
// surrogate half counts as one character).
QByteArray ToGbk(QStringView text);

// A byte sequence that is not GBK becomes U+FFFD, one per undecodable byte.
QString FromGbk(QByteArrayView bytes);

// Decodes bytes written in a Windows code page (936, 1252, 950, 54936 for
// GB18030, ...), as older workbooks and servers declare it. An unknown code page is read as Windows-1252.
QString FromCodePage(QByteArrayView bytes, int codePage);

} // namespace support
