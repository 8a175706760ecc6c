#include "platform/IniFile.h"

#include "platform/Errors.h"
#include "platform/Gbk.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// Bytes pass through untouched; we decode GBK ourselves.
#define SI_NO_CONVERSION
// Debian ships the member definitions behind this switch.
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <climits>

namespace {

// GetPrivateProfileString reads into a 2048-byte buffer.
constexpr qsizetype MaxValueBytes = 2047;

// CSimpleIniA is the variant whose names match without regard to case
// (CSimpleIniCaseA is the case-sensitive one).
using Ini = CSimpleIniA;

void configure(Ini& ini)
{
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
}

// Loads the file as it is now; a missing, unreadable or garbled file is an
// empty one, so that every read gives its default.
void load(const QString& path, Ini& ini)
{
    configure(ini);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = f.readAll();
    if (ini.LoadData(bytes.constData(), size_t(bytes.size())) < 0) {
        ini.Reset();
        configure(ini);
    }
}

// Cuts GBK bytes to at most max bytes without splitting a double-byte
// character.
QByteArray cutGbk(const QByteArray& bytes, qsizetype max)
{
    if (bytes.size() <= max)
        return bytes;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const qsizetype len = (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) ? 2 : 1;
        if (i + len > max)
            break;
        i += len;
    }
    return bytes.left(i);
}

bool readRaw(const QString& path, const QString& section, const QString& key, QByteArray& out)
{
    Ini ini;
    load(path, ini);
    const QByteArray s = Gbk::encode(section);
    const QByteArray k = Gbk::encode(key);
    const char* v = ini.GetValue(s.constData(), k.constData(), nullptr);
    if (!v)
        return false;
    out = cutGbk(QByteArray(v), MaxValueBytes);
    return true;
}

bool parseWholeNumber(const QByteArray& text, int& out)
{
    const QByteArray t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i >= t.size())
        return false;
    qint64 v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        v = v * 10 + (t[i] - '0');
        if (v > qint64(INT_MAX) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    out = int(v);
    return true;
}

} // namespace

IniFile::IniFile(const QString& path)
    : path_(path)
{
}

bool IniFile::exists() const
{
    return QFileInfo(path_).isFile();
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue) const
{
    QByteArray raw;
    if (!readRaw(path_, section, key, raw))
        return defaultValue;
    return Gbk::decode(raw);
}

int IniFile::readInteger(const QString& section, const QString& key, int defaultValue) const
{
    QByteArray raw;
    int v = 0;
    if (!readRaw(path_, section, key, raw) || !parseWholeNumber(raw, v))
        return defaultValue;
    return v;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    const auto fail = [this] { throw Error(QStringLiteral("Unable to write to %1").arg(path_)); };

    // A file we cannot read would be rewritten without its other content.
    const bool existed = QFileInfo::exists(path_);
    if (existed && !QFileInfo(path_).isReadable())
        fail();
    Ini ini;
    load(path_, ini);
    const QByteArray s = Gbk::encode(section);
    const QByteArray k = Gbk::encode(key);
    // A line break would start a new key of its own on the next read.
    QByteArray v = Gbk::encode(value);
    v.replace('\r', ' ').replace('\n', ' ');
    if (ini.SetValue(s.constData(), k.constData(), v.constData()) < 0)
        fail();
    std::string out;
    if (ini.Save(out) < 0)
        fail();

    QSaveFile file(path_);
    // A folder we may not write into still lets us rewrite a file we may.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        fail();
    if (!existed)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(out.data(), qint64(out.size())) != qint64(out.size()))
        fail();
    if (!file.commit())
        fail();
}
