#pragma once

#include <QByteArray>
#include <QString>

// The settings file and the pinyin initials work on GBK bytes; everything
// else in the program is Unicode.
namespace Gbk {

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);

// Encodes one character (one code point); false when GBK has no code for it.
bool encodeChar(char32_t ch, QByteArray& out);

// Byte length of the text in GBK; a character GBK lacks counts as one byte,
// as the replacement "?" would.
qsizetype byteLength(const QString& text);

} // namespace Gbk
