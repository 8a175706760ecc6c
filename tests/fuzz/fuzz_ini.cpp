// The settings-file reader on any bytes.
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz-ini-%1.ini").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    IniFile ini(path);
    const QString keys[][2] = {{"Connect", "ConnectOption"}, {"LocalDB", "DBnames"}, {"LocalDB", "DbPost"},
                               {"DataBase", "ServerName"}, {"DataBase", "Password"}, {"database", "USERNAME"}};
    for (const auto& k : keys) {
        const QString v = ini.readString(k[0], k[1], QStringLiteral("default"));
        if (v.toLocal8Bit().size() > 4 * 2047)
            std::abort();
        ini.readInteger(k[0], k[1], 1);
    }
    ini.writeString(QStringLiteral("LocalDB"), QStringLiteral("DBnames"), QStringLiteral("/tmp/数据.VRD"));
    if (ini.readString(QStringLiteral("localdb"), QStringLiteral("dbnames"), QString()) != QStringLiteral("/tmp/数据.VRD"))
        std::abort();
    return 0;
}
