#include "platform/workbook/Encryption.h"

#include "platform/workbook/Container.h"
#include "platform/workbook/XmlStream.h"

#include <QFile>
#include <QFileInfo>

#include <gsf/gsf.h>
// RC4 sits in OpenSSL 3's legacy provider for EVP; its own API still works.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/evp.h>
#include <openssl/rc4.h>

#include <array>
#include <cstring>
#include <memory>

namespace encryption {
namespace {

const char16_t* const kPassword = u"工作簿有密码保护，请先取消密码";
constexpr QByteArrayView kDefaultPassword("V\0e\0l\0v\0e\0t\0S\0w\0e\0a\0t\0s\0h\0o\0p\0", 30); // UTF-16LE

// BIFF: each 1024 bytes of the stream have their own key.
constexpr std::uint32_t kBiffBlock = 1024;
// Agile packages: each 4096 bytes have their own initialisation vector.
constexpr qsizetype kAgileSegment = 4096;
// Office writes 100,000; far more would only burn the clerk's time.
constexpr qint64 kMaxSpinCount = 10'000'000;
constexpr int kStandardSpinCount = 50'000;
constexpr qsizetype kMaxInfoBytes = qsizetype(1) << 20;

std::uint16_t u16(const uchar* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t u32(const uchar* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
QByteArray le32(std::uint32_t v)
{
    const char b[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    return QByteArray(b, 4);
}
const uchar* bytes(QByteArrayView v) { return reinterpret_cast<const uchar*>(v.data()); }

struct FreeMdCtx {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct FreeCipherCtx {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// A hash of the pieces one after another; empty when OpenSSL fails.
class Hasher {
public:
    explicit Hasher(const EVP_MD* md) : md_(md), ctx_(EVP_MD_CTX_new()) {}
    QByteArray operator()(std::initializer_list<QByteArrayView> pieces)
    {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned int n = 0;
        if (!ctx_ || !md_ || EVP_DigestInit_ex(ctx_.get(), md_, nullptr) != 1)
            return QByteArray();
        for (QByteArrayView p : pieces)
            if (EVP_DigestUpdate(ctx_.get(), p.data(), size_t(p.size())) != 1)
                return QByteArray();
        if (EVP_DigestFinal_ex(ctx_.get(), out, &n) != 1)
            return QByteArray();
        return QByteArray(reinterpret_cast<const char*>(out), int(n));
    }
    int size() const { return md_ ? EVP_MD_get_size(md_) : 0; }

private:
    const EVP_MD* md_;
    std::unique_ptr<EVP_MD_CTX, FreeMdCtx> ctx_;
};

// AES without padding over whole blocks; ECB when `iv` is empty. Null on
// a key or length OpenSSL refuses.
QByteArray aesDecrypt(QByteArrayView key, QByteArrayView iv, QByteArrayView data)
{
    const bool cbc = !iv.isEmpty();
    const EVP_CIPHER* cipher = nullptr;
    switch (key.size()) {
    case 16: cipher = cbc ? EVP_aes_128_cbc() : EVP_aes_128_ecb(); break;
    case 24: cipher = cbc ? EVP_aes_192_cbc() : EVP_aes_192_ecb(); break;
    case 32: cipher = cbc ? EVP_aes_256_cbc() : EVP_aes_256_ecb(); break;
    default: return QByteArray();
    }
    if ((cbc && iv.size() != 16) || data.size() % 16 != 0)
        return QByteArray();
    std::unique_ptr<EVP_CIPHER_CTX, FreeCipherCtx> ctx(EVP_CIPHER_CTX_new());
    QByteArray out(data.size() + 16, Qt::Uninitialized);
    int n = 0, tail = 0;
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), cipher, nullptr, bytes(key), cbc ? bytes(iv) : nullptr) != 1
        || EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1
        || EVP_DecryptUpdate(ctx.get(), reinterpret_cast<uchar*>(out.data()), &n, bytes(data), int(data.size())) != 1
        || EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<uchar*>(out.data()) + n, &tail) != 1)
        return QByteArray();
    out.truncate(n + tail);
    return out;
}

// Cut to `n` bytes, or filled up with `fill` to them.
QByteArray fitted(QByteArray b, qsizetype n, char fill)
{
    if (b.size() > n)
        b.truncate(n);
    else
        b.append(n - b.size(), fill);
    return b;
}

// --- .xls ------------------------------------------------------------------

// The key of each 1024-byte block of the stream.
class BiffKeys {
public:
    virtual ~BiffKeys() = default;
    virtual QByteArray key(std::uint32_t block) = 0;
};

// RC4 (Office binary document RC4 encryption): MD5 keys of 40 bits of hash.
class Rc4Keys final : public BiffKeys {
public:
    explicit Rc4Keys(QByteArrayView salt)
    {
        const QByteArray h0 = md5_({kDefaultPassword}).left(5);
        QByteArray repeated;
        for (int i = 0; i < 16; ++i)
            repeated += h0 + salt.toByteArray();
        truncated_ = md5_({repeated}).left(5);
    }
    QByteArray key(std::uint32_t block) override { return md5_({truncated_, le32(block)}); }

private:
    Hasher md5_{EVP_md5()};
    QByteArray truncated_;
};

// RC4 CryptoAPI: SHA-1 keys of the header's size; 40-bit keys are padded
// with zeros to 128 bits, as CryptoAPI does.
class CryptoApiKeys final : public BiffKeys {
public:
    CryptoApiKeys(QByteArrayView salt, int keyBytes) : keyBytes_(keyBytes)
    {
        h0_ = sha1_({salt, kDefaultPassword});
    }
    QByteArray key(std::uint32_t block) override
    {
        const QByteArray k = sha1_({h0_, le32(block)}).left(keyBytes_);
        return keyBytes_ == 5 ? fitted(k, 16, '\0') : k;
    }

private:
    Hasher sha1_{EVP_sha1()};
    QByteArray h0_;
    int keyBytes_;
};

// RC4's key stream from the start of a block's key.
QByteArray rc4(QByteArrayView key, QByteArrayView data)
{
    RC4_KEY state;
    RC4_set_key(&state, int(key.size()), bytes(key));
    QByteArray out(data.size(), Qt::Uninitialized);
    RC4(&state, size_t(data.size()), bytes(data), reinterpret_cast<uchar*>(out.data()));
    return out;
}

// The keys of a FILEPASS record whose verifier the default password opens.
std::unique_ptr<BiffKeys> biffKeys(QByteArrayView fp)
{
    const uchar* d = bytes(fp);
    if (fp.size() < 6 || u16(d) != 1)
        return nullptr; // XOR obfuscation, or no scheme we know
    const std::uint16_t major = u16(d + 2), minor = u16(d + 4);
    if (major == 1 && minor == 1) {
        if (fp.size() < 54)
            return nullptr;
        auto keys = std::make_unique<Rc4Keys>(fp.sliced(6, 16));
        const QByteArray plain = rc4(keys->key(0), fp.sliced(22, 32));
        Hasher md5(EVP_md5());
        return md5({plain.left(16)}) == plain.mid(16, 16) ? std::move(keys) : nullptr;
    }
    if (major >= 2 && major <= 4 && minor == 2) {
        if (fp.size() < 14)
            return nullptr;
        const std::uint32_t headerSize = u32(d + 10);
        if (headerSize < 32 || headerSize > std::uint32_t(fp.size()))
            return nullptr;
        std::uint32_t keyBits = u32(d + 14 + 16);
        keyBits = keyBits == 0 ? 40 : keyBits;
        const qsizetype v = 14 + qsizetype(headerSize); // the verifier
        if (keyBits % 8 != 0 || keyBits < 40 || keyBits > 128 || fp.size() < v + 60 || u32(d + v) != 16)
            return nullptr;
        auto keys = std::make_unique<CryptoApiKeys>(fp.sliced(v + 4, 16), int(keyBits / 8));
        // The verifier and its hash run on in one key stream.
        const QByteArray sealed = fp.sliced(v + 20, 16).toByteArray() + fp.sliced(v + 40, 20).toByteArray();
        const QByteArray plain = rc4(keys->key(0), sealed);
        Hasher sha1(EVP_sha1());
        return sha1({plain.left(16)}) == plain.mid(16, 20) ? std::move(keys) : nullptr;
    }
    return nullptr;
}

// Records whose data stays in the clear: BOF, FILEPASS, USREXCL, FILELOCK,
// INTERFACEHDR, RRDINFO, RRDHEAD.
bool clearRecord(std::uint16_t type)
{
    switch (type) {
    case 0x0809: case 0x002F: case 0x0194: case 0x0195: case 0x00E1: case 0x0196: case 0x0138:
        return true;
    default:
        return false;
    }
}

// --- .xlsx -----------------------------------------------------------------

const EVP_MD* digestNamed(QByteArrayView name)
{
    if (name == "SHA1" || name == "SHA-1")
        return EVP_sha1();
    if (name == "SHA256" || name == "SHA-256")
        return EVP_sha256();
    if (name == "SHA384" || name == "SHA-384")
        return EVP_sha384();
    if (name == "SHA512" || name == "SHA-512")
        return EVP_sha512();
    if (name == "MD5")
        return EVP_md5();
    return nullptr;
}

// The attributes of keyData and of the password's encryptedKey.
class AgileInfo final : public XmlHandler {
public:
    struct Params {
        QByteArray hash, salt, cipher, chaining;
        qint64 keyBits = 0, blockSize = 0, spinCount = 0;
        QByteArray hashInput, hashValue, keyValue;
        bool seen = false;
    };
    Params keyData, password;

    void startElement(QByteArrayView, QByteArrayView name, const XmlAttribute* a, int n) override
    {
        if (name == "keyData" && !keyData.seen)
            read(keyData, a, n);
        else if (name == "encryptedKey" && !password.seen && !attributeValue(a, n, "encryptedKeyValue").isNull())
            read(password, a, n);
    }
    void endElement(QByteArrayView, QByteArrayView) override {}
    void text(QByteArrayView) override {}

private:
    static void read(Params& p, const XmlAttribute* a, int n)
    {
        auto text = [&](const char* name) { return attributeValue(a, n, name).toByteArray(); };
        auto number = [&](const char* name) { return text(name).toLongLong(); };
        auto base64 = [&](const char* name) { return QByteArray::fromBase64(text(name)); };
        p.seen = true;
        p.hash = text("hashAlgorithm");
        p.cipher = text("cipherAlgorithm");
        p.chaining = text("cipherChaining");
        p.salt = base64("saltValue");
        p.keyBits = number("keyBits");
        p.blockSize = number("blockSize");
        p.spinCount = number("spinCount");
        p.hashInput = base64("encryptedVerifierHashInput");
        p.hashValue = base64("encryptedVerifierHashValue");
        p.keyValue = base64("encryptedKeyValue");
    }
};

bool aesCbc(const AgileInfo::Params& p)
{
    return p.cipher == "AES" && p.chaining == "ChainingModeCBC" && p.blockSize == 16
        && (p.keyBits == 128 || p.keyBits == 192 || p.keyBits == 256) && !p.salt.isEmpty() && p.salt.size() <= 64
        && digestNamed(p.hash);
}

// The EncryptedPackage stream: the plain size (8 bytes), then the sealed
// bytes; null when the stated size is more than the stream holds.
QByteArrayView sealedPackage(QByteArrayView package, quint64& plainSize)
{
    if (package.size() < 8)
        return {};
    plainSize = quint64(u32(bytes(package))) | (quint64(u32(bytes(package) + 4)) << 32);
    const QByteArrayView data = package.sliced(8);
    return plainSize > quint64(data.size()) ? QByteArrayView() : data;
}

QByteArray decryptAgile(QByteArrayView xml, QByteArrayView package)
{
    AgileInfo info;
    try {
        XmlStream::parse(info, xml, QString());
    } catch (const std::exception&) {
        return QByteArray();
    }
    const AgileInfo::Params& kd = info.keyData;
    const AgileInfo::Params& pw = info.password;
    if (!aesCbc(kd) || !aesCbc(pw) || pw.spinCount < 0 || pw.spinCount > kMaxSpinCount)
        return QByteArray();

    Hasher hash(digestNamed(pw.hash));
    QByteArray h = hash({pw.salt, kDefaultPassword});
    for (qint64 i = 0; i < pw.spinCount && !h.isEmpty(); ++i)
        h = hash({le32(std::uint32_t(i)), h});
    const qsizetype keyBytes = pw.keyBits / 8;
    auto open = [&](const char* block, const QByteArray& sealed) {
        const QByteArray key = fitted(hash({h, QByteArrayView(block, 8)}), keyBytes, '\x36');
        return aesDecrypt(key, pw.salt.left(16), sealed);
    };
    const QByteArray input = open("\xfe\xa7\xd2\x76\x3b\x4b\x9e\x79", pw.hashInput);
    const QByteArray value = open("\xd7\xaa\x0f\x6d\x30\x61\x34\x4e", pw.hashValue);
    const QByteArray secret = open("\x14\x6e\x0b\xe7\xab\xac\xd0\xd6", pw.keyValue);
    if (input.size() < pw.salt.size() || value.size() < hash.size() || secret.size() < kd.keyBits / 8
        || hash({input.left(pw.salt.size())}) != value.left(hash.size()))
        return QByteArray();
    const QByteArray key = secret.left(kd.keyBits / 8);

    quint64 plainSize = 0;
    const QByteArrayView data = sealedPackage(package, plainSize);
    if (data.isNull())
        return QByteArray();
    Hasher ivHash(digestNamed(kd.hash));
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype at = 0, i = 0; at < data.size() && quint64(out.size()) < plainSize; at += kAgileSegment, ++i) {
        const QByteArrayView segment = data.sliced(at, std::min(kAgileSegment, data.size() - at));
        const QByteArray iv = fitted(ivHash({kd.salt, le32(std::uint32_t(i))}), 16, '\x36');
        const QByteArray plain = aesDecrypt(key, iv, segment.first(segment.size() - segment.size() % 16));
        if (plain.isNull())
            return QByteArray();
        out += plain;
    }
    if (quint64(out.size()) < plainSize)
        return QByteArray();
    out.truncate(qsizetype(plainSize));
    return out;
}

QByteArray decryptStandard(QByteArrayView info, QByteArrayView package)
{
    const uchar* d = bytes(info);
    if (info.size() < 12)
        return QByteArray();
    const std::uint32_t headerSize = u32(d + 8);
    if (headerSize < 32 || headerSize > std::uint32_t(info.size()))
        return QByteArray();
    const std::uint32_t algorithm = u32(d + 12 + 8), keyBits = u32(d + 12 + 16);
    const qsizetype v = 12 + qsizetype(headerSize);
    if ((algorithm != 0x660E && algorithm != 0x660F && algorithm != 0x6610)
        || (keyBits != 128 && keyBits != 192 && keyBits != 256) || info.size() < v + 72 || u32(d + v) != 16)
        return QByteArray();
    const QByteArrayView salt = info.sliced(v + 4, 16);

    Hasher sha1(EVP_sha1());
    QByteArray h = sha1({salt, kDefaultPassword});
    for (int i = 0; i < kStandardSpinCount && !h.isEmpty(); ++i)
        h = sha1({le32(std::uint32_t(i)), h});
    const QByteArray final = sha1({h, le32(0)});
    if (final.size() != 20)
        return QByteArray();
    QByteArray inner(64, '\x36'), outer(64, '\x5C');
    for (int i = 0; i < 20; ++i) {
        inner[i] = char(inner[i] ^ final[i]);
        outer[i] = char(outer[i] ^ final[i]);
    }
    const QByteArray key = (sha1({inner}) + sha1({outer})).left(qsizetype(keyBits / 8));

    const QByteArray verifier = aesDecrypt(key, {}, info.sliced(v + 20, 16));
    const QByteArray verifierHash = aesDecrypt(key, {}, info.sliced(v + 40, 32));
    if (verifier.isNull() || verifierHash.size() < 20 || sha1({verifier}) != verifierHash.left(20))
        return QByteArray();

    quint64 plainSize = 0;
    const QByteArrayView data = sealedPackage(package, plainSize);
    if (data.isNull())
        return QByteArray();
    QByteArray out = aesDecrypt(key, {}, data.first(data.size() - data.size() % 16));
    if (quint64(out.size()) < plainSize)
        return QByteArray();
    out.truncate(qsizetype(plainSize));
    return out;
}

// A whole stream of the OLE2 file; null when it is not there.
QByteArray oleStream(GsfInfile* ole, const char* name, qint64 fileSize)
{
    GsfInput* child = gsf_infile_child_by_name(ole, name);
    if (!child)
        return QByteArray();
    const gsf_off_t size = gsf_input_size(child);
    QByteArray out;
    // The stream lives inside the file: a larger size is a lie.
    if (size >= 0 && size <= fileSize) {
        out.resize(qsizetype(size));
        if (size > 0 && !gsf_input_read(child, size_t(size), reinterpret_cast<guint8*>(out.data())))
            out = QByteArray();
    }
    g_object_unref(child);
    return out;
}

} // namespace

bool decryptBiff(char* stream, std::uint32_t size, std::uint32_t from, QByteArrayView filePass)
{
    const std::unique_ptr<BiffKeys> keys = biffKeys(filePass);
    if (!keys)
        return false;
    auto* d = reinterpret_cast<uchar*>(stream);
    std::int64_t block = -1;
    std::array<uchar, kBiffBlock> keyStream{};
    static const std::array<uchar, kBiffBlock> zeros{};
    // Positions count from the stream's start, record headers included.
    for (std::uint32_t pos = from; pos <= size && size - pos >= 4;) {
        const std::uint16_t type = u16(d + pos);
        const std::uint32_t length = std::min<std::uint32_t>(u16(d + pos + 2), size - pos - 4);
        const std::uint32_t end = pos + 4 + length;
        std::uint32_t at = pos + 4 + (type == 0x0085 ? std::min<std::uint32_t>(4, length) : 0); // BOUNDSHEET's offset
        if (clearRecord(type))
            at = end;
        for (; at < end; ++at) {
            if (at / kBiffBlock != block) {
                block = at / kBiffBlock;
                RC4_KEY state;
                const QByteArray key = keys->key(std::uint32_t(block));
                RC4_set_key(&state, int(key.size()), bytes(key));
                RC4(&state, kBiffBlock, zeros.data(), keyStream.data());
            }
            d[at] ^= keyStream[at % kBiffBlock];
        }
        pos = end;
    }
    return true;
}

QByteArray decryptPackage(QByteArrayView info, QByteArrayView package)
{
    if (info.size() < 8)
        return QByteArray();
    const std::uint16_t major = u16(bytes(info)), minor = u16(bytes(info) + 2);
    if (major == 4 && minor == 4)
        return decryptAgile(info.sliced(8), package);
    if (major >= 2 && major <= 4 && minor == 2)
        return decryptStandard(info, package);
    return QByteArray();
}

QByteArray encryptedPackageOf(const QString& path)
{
    container::initGsf();
    const qint64 fileSize = QFileInfo(path).size();
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(QFile::encodeName(path).constData(), &err);
    if (!input) {
        if (err)
            g_error_free(err);
        return QByteArray(); // the .xls reader says why
    }
    GsfInfile* ole = gsf_infile_msole_new(input, nullptr);
    g_object_unref(input);
    if (!ole)
        return QByteArray();
    QByteArray package = oleStream(ole, "EncryptedPackage", fileSize);
    QByteArray info;
    if (!package.isNull())
        info = oleStream(ole, "EncryptionInfo", std::min<qint64>(fileSize, kMaxInfoBytes));
    g_object_unref(ole);
    if (package.isNull())
        return QByteArray();
    // Without its EncryptionInfo a package is sealed for good, as under a
    // password we do not know.
    QByteArray plain = info.isNull() ? QByteArray() : decryptPackage(info, package);
    if (plain.isNull())
        container::fail(QString::fromUtf16(kPassword), path);
    return plain;
}

} // namespace encryption
