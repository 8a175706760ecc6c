#include "platform/Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace Gbk {

QByteArray encode(const QString& text)
{
    QStringEncoder enc("GBK");
    return enc.encode(text);
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder dec("GBK");
    return dec.decode(bytes);
}

bool encodeChar(char32_t ch, QByteArray& out)
{
    if (ch < 0x80) {
        out = QByteArray(1, char(ch));
        return true;
    }
    // Opening a converter costs far more than one character.
    static thread_local QStringEncoder enc("GBK", QStringConverter::Flag::Stateless);
    enc.resetState();
    const QString s = QString::fromUcs4(&ch, 1);
    out = enc.encode(s);
    // ICU substitutes unmappable characters instead of flagging every one.
    if (enc.hasError()) {
        // The error sticks to the converter: start a clean one.
        enc = QStringEncoder("GBK", QStringConverter::Flag::Stateless);
        return false;
    }
    if (out.isEmpty() || out == "?" || out == "\x1a")
        return false;
    return true;
}

qsizetype byteLength(const QString& text)
{
    return encode(text).size();
}

} // namespace Gbk
