#include "services/userGlobal.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray initials = GetPyString(bytes, 3);
    if (initials.size() > 3)
        std::abort();
    // One output character per single byte or double-byte character.
    const QByteArray all = GetPyString(bytes, int(size) + 1);
    if (all.size() > bytes.size())
        std::abort();
    const QString text = QString::fromUtf8(bytes);
    if (GetPyString(text, 3).size() > 3)
        std::abort();
    return 0;
}
