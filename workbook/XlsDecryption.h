#pragma once

#include <QByteArray>

namespace workbook::xls {

// Excel encrypts a workbook whose structure is protected with its built-in
// password "VelvetSweatshop" and opens it without asking. When the FILEPASS
// record of the workbook stream says RC4 or RC4 CryptoAPI encryption and that
// password fits, the stream is decrypted in place; FILEPASS stays, in the
// clear. A stream without FILEPASS is left as it is. Throws WorkbookError for
// a workbook that has a password of its own or another kind of encryption,
// biff::CorruptRecord for a damaged FILEPASS record.
void DecryptWithDefaultPassword(QByteArray& stream);

} // namespace workbook::xls
