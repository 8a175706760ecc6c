// The marker parser of the query: any statement text, any line split.
#include "platform/db/Connection.h"
#include "platform/db/Query.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Connection connection;
    Query q(connection);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& line : text.split(u'\n'))
        q.add(line);
    const QStringList names = q.parameterNames();
    for (const QString& n : names) {
        q.setText(n, QStringLiteral("v"));
        // Names match case-insensitively character by character; a full
        // case mapping may change the length (U+0149 becomes two letters).
        const QString upper = n.toUpper(), lower = n.toLower();
        if (upper.compare(n, Qt::CaseInsensitive) == 0)
            q.setInteger(upper, 1);
        if (lower.compare(n, Qt::CaseInsensitive) == 0)
            q.setNull(lower);
    }
    // Every marker's name must be one of the parameters, case aside.
    if (names.size() > text.count(u':'))
        std::abort();
    q.clear();
    if (!q.parameterNames().isEmpty())
        std::abort();
    return 0;
}
