// The file manager seam over a private session bus: ShowItems reaches whoever owns the freedesktop
// name, and with nobody there the folder opens instead.
#include "platform/linux/DBusFileManager.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace sm {
namespace {

// Answers ShowItems as a file manager would, recording the URIs.
struct FakeFileManager final : QDBusVirtualObject {
    QStringList shown;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != QLatin1String("ShowItems")) return false;
        shown = message.arguments().value(0).toStringList();
        connection.send(message.createReply());
        return true;
    }
    QString introspect(const QString&) const override { return {}; }
};

TEST(DBusFileManager, RevealsThroughTheFileManagerOrElseOpensTheFolder) {
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForReadyRead(5000));
    const QByteArray address = daemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address); // before the first use of the session bus
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name};
    QCoreApplication app(argc, argv);

    QList<QUrl> opened;
    DBusFileManager files([&](const QUrl& url) { return opened << url, true; }, Logger{});
    const QStringList paths{"/tmp/traces/spacemarquee-trace.log", "/tmp/traces/spacemarquee-trace-1.log"};
    files.revealFiles(paths);
    EXPECT_TRUE(test::waitUntil([&] { return !opened.isEmpty(); }));
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile("/tmp/traces")});

    {
        FakeFileManager fake;
        QDBusConnection service = QDBusConnection::connectToBus(QString::fromUtf8(address), "fake");
        ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/FileManager1", &fake));
        ASSERT_TRUE(service.registerService("org.freedesktop.FileManager1"));
        opened.clear();
        files.revealFiles(paths);
        EXPECT_TRUE(test::waitUntil([&] { return !fake.shown.isEmpty(); }));
        EXPECT_EQ(fake.shown, (QStringList{"file:///tmp/traces/spacemarquee-trace.log",
                                           "file:///tmp/traces/spacemarquee-trace-1.log"}));
        QCoreApplication::processEvents();
        EXPECT_TRUE(opened.isEmpty());
        service.unregisterObject("/org/freedesktop/FileManager1");
    }
    QDBusConnection::disconnectFromBus("fake");
    daemon.kill();
    daemon.waitForFinished();
}

} // namespace
} // namespace sm
