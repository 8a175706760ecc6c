// libFuzzer entry for the cell-to-text conversion. The input's first eight
// bytes are a double (any bit pattern), the next one picks the date system,
// the rest is a date format and a text to trim. Checks what must hold for
// every value, not just that nothing crashes.
#include "import/CellText.h"

#include <QByteArray>
#include <QString>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    double value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    const bool dates1904 = size > 8 && (data[8] & 1);
    const QByteArray rest = size > 9 ? QByteArray(reinterpret_cast<const char*>(data + 9), qsizetype(size - 9))
                                     : QByteArray();
    const qsizetype split = rest.indexOf('\n');
    const QString format = QString::fromUtf8(split < 0 ? rest : rest.left(split));
    const QString text = QString::fromUtf8(split < 0 ? QByteArray() : rest.mid(split + 1));

    // Numbers: every finite value gives text that reads back within 15
    // significant digits; the others give null.
    const QString number = CellText::numberText(value);
    check(number.isNull() == !std::isfinite(value));
    if (!number.isNull()) {
        check(number.size() <= 24);
        // Rounding the largest values to 15 digits may overflow, and some
        // libraries call subnormals out of range.
        const QByteArray latin = number.toLatin1();
        double back = 0;
        const auto r = std::from_chars(latin.constData(), latin.constData() + latin.size(), back);
        check(r.ptr == latin.constData() + latin.size());
        if (r.ec == std::errc::result_out_of_range)
            check(std::fabs(value) > 1.7976931348623e308 || std::fabs(value) < 2.3e-308);
        else
            check(back == value || std::fabs(back - value) <= std::fabs(value) * 1e-14);
    }

    // Dates: null outside the range of days, else non-empty text.
    for (const QString& f : {QStringLiteral("yyyy-MM-dd"), format}) {
        const QString date = CellText::dateText(value, dates1904, f);
        if (!std::isfinite(value) || value < 0 || value >= 2958466.0)
            check(date.isNull());
        else if (value < 1 && std::llround(value * 86400.0) < 86400)
            check(date.size() == 8); // a time alone
    }

    // Trimming: idempotent, nothing up to U+0020 left at either end, the
    // middle untouched.
    const QString trimmed = CellText::trimmed(text);
    check(CellText::trimmed(trimmed) == trimmed);
    if (!trimmed.isEmpty()) {
        check(trimmed.front().unicode() > 0x20 && trimmed.back().unicode() > 0x20);
        check(text.contains(trimmed));
    }
    return 0;
}
