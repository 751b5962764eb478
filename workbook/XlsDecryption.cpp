#include "workbook/XlsDecryption.h"

#include "workbook/BiffRecords.h"
#include "workbook/Rc4.h"
#include "workbook/Workbook.h"
#include "workbook/XlsGlobals.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <array>
#include <functional>

namespace workbook::xls {
namespace {

using namespace biff;

// Each 1024-byte block of the stream is encrypted with a key of its own.
constexpr qsizetype kBlockSize = 1024;
using BlockKey = std::function<QByteArray(uint32_t block)>;

// Records that stay in the clear in an encrypted stream, besides every record header.
constexpr uint16_t kInterfaceHeader = 0x00E1;
constexpr uint16_t kRevisionHeader = 0x0138;
constexpr uint16_t kUserExclusive = 0x0194;
constexpr uint16_t kFileLock = 0x0195;
constexpr uint16_t kRevisionInfo = 0x0196;
// BOUNDSHEET keeps the stream position of its sheet in the clear.
constexpr qsizetype kBoundSheetClearBytes = 4;

constexpr uint16_t kRc4CryptoApiHash = 0x8004;
constexpr uint16_t kRc4CryptoApiCipher = 0x6801;

QByteArray defaultPassword()
{
    static const QString password = QStringLiteral("VelvetSweatshop");
    QByteArray bytes(password.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(password.utf16(), password.size(), bytes.data());
    return bytes;
}

QByteArray littleEndian32(uint32_t value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray md5(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QByteArray sha1(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

QByteArray readBytes(RecordCursor& record, int count)
{
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(record.u8());
    return bytes;
}

// The password check stored in FILEPASS: a random verifier and its hash,
// encrypted one after the other with the key of block 0.
struct Verifier {
    QByteArray encrypted;
    QByteArray encryptedHash;
    QCryptographicHash::Algorithm hash;

    bool acceptsKey(const QByteArray& key) const
    {
        Rc4 cipher(key);
        QByteArray verifier = encrypted;
        QByteArray verifierHash = encryptedHash;
        cipher.apply(verifier.data(), verifier.size());
        cipher.apply(verifierHash.data(), verifierHash.size());
        return QCryptographicHash::hash(verifier, hash) == verifierHash;
    }
};

struct Encryption {
    BlockKey key;
    Verifier verifier;
};

[[noreturn]] void refuseUnsupported(const QString& kind)
{
    throw WorkbookError(QStringLiteral("工作簿已加密（%1），本程序不能读取。请在Excel中取消密码并保存后再试。").arg(kind));
}

// RC4 with MD5: the password's hash cut to 40 bits and mixed with the salt
// gives a base, and the base with the block number each block's key.
Encryption readRc4(RecordCursor& record)
{
    const QByteArray salt = readBytes(record, 16);
    Verifier verifier{readBytes(record, 16), readBytes(record, 16), QCryptographicHash::Md5};
    const QByteArray truncated = md5(defaultPassword()).left(5);
    const QByteArray base = md5((truncated + salt).repeated(16)).left(5);
    return {[base](uint32_t block) { return md5(base + littleEndian32(block)); }, std::move(verifier)};
}

// RC4 CryptoAPI: SHA-1 of the salted password, then of that with the block
// number, cut to the key size.
Encryption readRc4CryptoApi(RecordCursor& record)
{
    record.skip(4); // the flags, repeated in the header
    const uint32_t headerSize = record.u32();
    if (headerSize < 20)
        throw CorruptRecord(QStringLiteral("FILEPASS 记录中加密信息的长度不正确"));
    record.skip(8); // flags, extra size
    const uint32_t cipher = record.u32();
    const uint32_t hash = record.u32();
    uint32_t keyBits = record.u32();
    record.skip(static_cast<qsizetype>(headerSize) - 20); // provider type, reserved fields, provider name
    // A key size of 0 stands for 40 bits.
    if (keyBits == 0)
        keyBits = 40;
    if ((cipher != 0 && cipher != kRc4CryptoApiCipher) || (hash != 0 && hash != kRc4CryptoApiHash) || keyBits < 40
        || keyBits > 128 || keyBits % 8 != 0 || record.u32() != 16)
        refuseUnsupported(QStringLiteral("其CryptoAPI加密参数不受支持"));
    const QByteArray salt = readBytes(record, 16);
    const QByteArray encrypted = readBytes(record, 16);
    if (record.u32() != 20)
        refuseUnsupported(QStringLiteral("其CryptoAPI加密参数不受支持"));
    Verifier verifier{encrypted, readBytes(record, 20), QCryptographicHash::Sha1};
    const QByteArray saltedPassword = sha1(salt + defaultPassword());
    const auto keyBytes = static_cast<qsizetype>(keyBits / 8);
    return {[saltedPassword, keyBytes](uint32_t block) {
                QByteArray key = sha1(saltedPassword + littleEndian32(block)).left(keyBytes);
                // A 40-bit key is used as 128 bits, the rest zero.
                if (keyBytes == 5)
                    key.append(11, '\0');
                return key;
            },
            std::move(verifier)};
}

Encryption readFilePass(RecordCursor record)
{
    // Excel 5.0/95 stores only the XOR obfuscation's key and password hash.
    if (record.available() == 4)
        refuseUnsupported(QStringLiteral("旧式的XOR加密，设有打开密码"));
    const uint16_t type = record.u16();
    if (type == 0)
        refuseUnsupported(QStringLiteral("旧式的XOR加密，设有打开密码"));
    const uint16_t major = record.u16();
    const uint16_t minor = record.u16();
    if (type == 1 && major == 1 && minor == 1)
        return readRc4(record);
    if (type == 1 && major >= 2 && major <= 4 && minor == 2)
        return readRc4CryptoApi(record);
    refuseUnsupported(QStringLiteral("加密方式不受支持"));
}

// The keystream of the stream: the byte at stream position p is taken from
// block p / 1024's cipher, p % 1024 bytes in.
class BlockKeystream {
public:
    explicit BlockKeystream(BlockKey key) : key_(std::move(key)) {}

    void apply(char* stream, qsizetype offset, qsizetype length)
    {
        while (length > 0) {
            const qsizetype block = offset / kBlockSize;
            if (block != block_)
                load(block);
            const qsizetype within = offset % kBlockSize;
            const qsizetype step = std::min(length, kBlockSize - within);
            for (qsizetype i = 0; i < step; ++i)
                stream[offset + i] = static_cast<char>(stream[offset + i] ^ keystream_[static_cast<size_t>(within + i)]);
            offset += step;
            length -= step;
        }
    }

private:
    void load(qsizetype block)
    {
        keystream_.fill(0);
        Rc4(key_(static_cast<uint32_t>(block))).apply(keystream_.data(), kBlockSize);
        block_ = block;
    }

    BlockKey key_;
    std::array<char, kBlockSize> keystream_{};
    qsizetype block_ = -1;
};

bool staysInClear(uint16_t id)
{
    switch (id) {
    case kBof:
    case kFilePass:
    case kInterfaceHeader:
    case kRevisionHeader:
    case kUserExclusive:
    case kFileLock:
    case kRevisionInfo:
        return true;
    default:
        return false;
    }
}

// Decrypts every record after FILEPASS, in every sheet's part of the stream.
void decryptRecords(char* stream, RecordStream records, BlockKeystream keystream)
{
    try {
        while (records.next()) {
            if (staysInClear(records.id()))
                continue;
            const qsizetype clear = records.id() == kBoundSheet ? std::min(records.size(), kBoundSheetClearBytes) : 0;
            keystream.apply(stream, records.begin() + clear, records.size() - clear);
        }
    } catch (const CorruptRecord&) {
        // A record running past the end of the stream ends the decryption;
        // the readers describe it when they come to it.
    }
}

} // namespace

void DecryptWithDefaultPassword(QByteArray& stream)
{
    char* bytes = stream.data();
    const QByteArrayView view(bytes, stream.size());
    RecordStream records(view);
    if (!records.next() || records.id() != kBof)
        return;
    while (records.next() && records.id() != kEof) {
        if (records.id() != kFilePass)
            continue;
        Encryption encryption = readFilePass(records.cursor());
        if (!encryption.verifier.acceptsKey(encryption.key(0)))
            throw WorkbookError(EncryptedDescription());
        decryptRecords(bytes, records, BlockKeystream(std::move(encryption.key)));
        return;
    }
}

} // namespace workbook::xls
