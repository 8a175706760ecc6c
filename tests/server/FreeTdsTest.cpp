// SQL Server through FreeTDS, checked by what the program sends: no SQL
// Server runs here, so a loopback listener stands in for one and never
// answers.

#include "data/UserDMUnit.h"
#include "platform/Errors.h"
#include "platform/Shell.h"
#include "services/userGlobal.h"
#include "server/LoopbackListener.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Stands in for SQL Server: answers each TDS pre-login (no encryption),
// keeps the login packet that follows, then hangs up on the first client and
// stays silent to the later ones.
class MuteTdsServer {
public:
    MuteTdsServer()
    {
        fd_ = listenOnLoopback(4, port_);
        thread_ = std::thread([this] { serve(); });
    }
    ~MuteTdsServer()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    QString port() const { return QString::number(port_); }
    int logins() const { return loginCount_; }

    // A text field of login packet k by its index in the LOGIN7 offset table
    // (1 user, 2 password, 8 database).
    QString loginField(int k, int index) const
    {
        if (k >= loginCount_)
            return QStringLiteral("<no login packet>");
        const QByteArray body = logins_[size_t(k)].mid(8);
        if (body.size() < 40 + 4 * index)
            return QStringLiteral("<short login packet>");
        const auto u16 = [&](int at) { return int(quint8(body[at])) | int(quint8(body[at + 1])) << 8; };
        const int offset = u16(36 + 4 * index), chars = u16(38 + 4 * index);
        QByteArray bytes = body.mid(offset, chars * 2);
        if (index == 2) {
            // Passwords travel with nibbles swapped and XOR 0xA5.
            for (char& c : bytes) {
                const quint8 b = quint8(c) ^ 0xA5;
                c = char(quint8(b << 4 | b >> 4));
            }
        }
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    }

private:
    void serve()
    {
        int client = -1;
        QByteArray in;
        bool preloginAnswered = false;
        while (!stop_) {
            pollfd p {client < 0 ? fd_ : client, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            if (client < 0) {
                client = ::accept(fd_, nullptr, nullptr);
                in.clear();
                preloginAnswered = false;
                continue;
            }
            char buf[4096];
            const ssize_t n = ::recv(client, buf, sizeof buf, 0);
            if (n <= 0) {
                ::close(client);
                client = -1;
                continue;
            }
            in.append(buf, int(n));
            if (in.size() < 8)
                continue;
            const int length = int(quint8(in[2])) << 8 | quint8(in[3]);
            if (in.size() < length)
                continue;
            if (!preloginAnswered) {
                if (quint8(in[0]) != 0x12)  // not a TDS 7 pre-login
                    break;
                // VERSION and ENCRYPTION "not supported", as a server without TLS says.
                static const char reply[] = {0x04, 0x01, 0x00, 26, 0x00, 0x00, 0x01, 0x00,
                                             0x00, 0x00, 11, 0x00, 6, 0x01, 0x00, 17, 0x00, 1, char(0xFF),
                                             0x0F, 0x00, 0x07, 0x00, 0x00, 0x00, 0x02};
                ::send(client, reply, sizeof reply, MSG_NOSIGNAL);
                preloginAnswered = true;
                in.remove(0, length);
            } else if (loginCount_ < 2 && in.size() >= length) {
                logins_[size_t(loginCount_.load())] = in.left(length);
                in.clear();
                if (++loginCount_ == 1) {
                    ::close(client);
                    client = -1;
                }
            }
        }
        if (client >= 0)
            ::close(client);
    }

    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::array<QByteArray, 2> logins_;
    std::atomic<int> loginCount_{0};
};

} // namespace

void writeServerSettings(const QString& dir, const QString& password, const QString& port)
{
    QFile f(dir + QStringLiteral("/MyConnect.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QStringEncoder gbk("GBK");  // the settings file's code page
    // No Driver key: FreeTDS is the default.
    f.write(gbk(QStringLiteral("[Connect]\nConnectOption=0\n[DataBase]\nServerName=127.0.0.1\nDataBaseName=人事 库\n"
                               "UserName=sa\nPassword=%1\nOptions=Port=%2;TDS_Version=7.4;ClientCharset=UTF-8\n")
                    .arg(password, port)));
}

// Two attempts: the first is refused after its login, the second meets a
// server that never answers and gives up after the login timeout.
TEST(SqlServerViaFreeTds, SettingsReachTheServerAndTheLoginTimesOut)
{
    TempDir dir;
    ResetGlobalRecords();
    Shell::overrideExecutableDirectory(dir.path());
    MuteTdsServer server;
    writeServerSettings(dir.path(), QStringLiteral("a;b\"c d"), server.port());
    int dialogs = 0;
    setShowSetConfigHook([&] {
        ++dialogs;
        writeServerSettings(dir.path(), QStringLiteral("x}y\"z"), server.port());
        return true;
    });

    TUserDM dm;
    QElapsedTimer t;
    t.start();
    EXPECT_THROW(dm.DataModuleCreate(), DbError);
    const qint64 ms = t.elapsed();

    // The exact ODBC string and the login timeout handed to unixODBC.
    const QSqlDatabase db = dm.ADOConnection1.database();
    EXPECT_EQ(db.driverName(), QStringLiteral("QODBC"));
    EXPECT_EQ(db.databaseName(), QStringLiteral("DRIVER={FreeTDS};SERVER=127.0.0.1;DATABASE=人事 库;UID=sa;"
                                                "PWD=x}y\"z;Port=%1;TDS_Version=7.4;ClientCharset=UTF-8")
                                     .arg(server.port()));
    EXPECT_EQ(db.connectOptions(), QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=5"));

    // FreeTDS sent user, password and database as the settings hold them.
    ASSERT_EQ(server.logins(), 2);
    EXPECT_EQ(server.loginField(0, 1), QStringLiteral("sa"));
    EXPECT_EQ(server.loginField(0, 2), QStringLiteral("a;b\"c d"));
    EXPECT_EQ(server.loginField(0, 8), QStringLiteral("人事 库"));
    EXPECT_EQ(server.loginField(1, 2), QStringLiteral("x}y\"z"));

    EXPECT_FALSE(dm.ADOConnection1.connected());
    EXPECT_GE(ms, 4000);
    EXPECT_LT(ms, 8000);
    EXPECT_EQ(dialogs, 1);
    ASSERT_EQ(scriptedDialogs().boxes.size(), 1);
    EXPECT_EQ(scriptedDialogs().boxes[0].caption, QStringLiteral("警告"));

    setShowSetConfigHook(nullptr);
    Shell::overrideExecutableDirectory(QString());
    ResetGlobalRecords();
}
