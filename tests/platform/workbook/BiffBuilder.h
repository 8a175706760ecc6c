#pragma once

#include <QByteArray>
#include <QString>

#include <cstring>
#include <vector>

// Puts small BIFF8 workbook streams together record by record, for cases
// no fixture file shows.
namespace biff {

inline QByteArray u16(unsigned v)
{
    QByteArray b(2, '\0');
    b[0] = char(v & 0xFF);
    b[1] = char((v >> 8) & 0xFF);
    return b;
}
inline QByteArray u32(unsigned v) { return u16(v & 0xFFFF) + u16(v >> 16); }
inline QByteArray f64(double d)
{
    QByteArray b(8, '\0');
    std::memcpy(b.data(), &d, 8);
    return b;
}
inline QByteArray record(unsigned type, const QByteArray& data) { return u16(type) + u16(unsigned(data.size())) + data; }
inline QByteArray bof(unsigned dt) { return record(0x0809, u16(0x0600) + u16(dt) + u16(0x0DBB) + u16(0x07CC) + u32(0) + u32(6)); }
inline QByteArray eof() { return record(0x000A, {}); }
inline QByteArray cell(unsigned row, unsigned col, unsigned xf = 0) { return u16(row) + u16(col) + u16(xf); }
inline QByteArray number(unsigned row, unsigned col, double v, unsigned xf = 0) { return record(0x0203, cell(row, col, xf) + f64(v)); }
inline QByteArray latin1String(const QByteArray& s) { return u16(unsigned(s.size())) + QByteArray(1, '\0') + s; }

// A workbook of worksheets given as their cell records, the first active.
inline QByteArray workbook(const std::vector<QByteArray>& sheets, const QByteArray& globalsExtra = {})
{
    auto bound = [](unsigned offset, int i) {
        const QByteArray name = "S" + QByteArray::number(i + 1);
        return record(0x0085, u32(offset) + QByteArray(2, '\0') + QByteArray(1, char(name.size())) + QByteArray(1, '\0') + name);
    };
    QByteArray head = bof(5) + globalsExtra;
    qsizetype size = head.size() + eof().size();
    for (size_t i = 0; i < sheets.size(); ++i)
        size += bound(0, int(i)).size();
    QByteArray out = head;
    qsizetype offset = size;
    for (size_t i = 0; i < sheets.size(); ++i) {
        out += bound(unsigned(offset), int(i));
        offset += bof(0x10).size() + sheets[i].size() + eof().size();
    }
    out += eof();
    for (const QByteArray& s : sheets)
        out += bof(0x10) + s + eof();
    return out;
}

} // namespace biff
