// The built program's tray icon in real tray hosts, on a private Xvfb with openbox and a private session
// bus. XEmbed: trayer embeds the icon, a click on it opens the menu, the keyboard chooses Preferences.
// StatusNotifierItem: this test is the watcher and the host (as a panel would be): the program registers
// its item, Activate opens the menu, the menu's entries are read over DBusMenu and "clicked" on
// Preferences opens the window.
#include "support/x11/ProgramFixture.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace sm {
namespace {

using x11::test::waitUntil;

// The least of org.kde.StatusNotifierWatcher that Qt's tray needs: a host is there, items register.
class Watcher : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

public:
    explicit Watcher(QObject* parent) : QDBusAbstractAdaptor(parent) {}
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message) {
        // An item names its bus service, or only its object path on the caller's connection.
        items_ << (service.startsWith(u'/') ? message.service() + service : service);
    }
    void RegisterStatusNotifierHost(const QString&) {}

private:
    QStringList items_;
};

struct MenuItem {
    int id = 0;
    QString label;
    bool visible = true;
};

// com.canonical.dbusmenu's layout (ia{sv}av), flattened one level below the root.
std::vector<MenuItem> childrenOf(const QDBusArgument& layout) {
    std::vector<MenuItem> out;
    int id = 0;
    QVariantMap properties;
    layout.beginStructure();
    layout >> id >> properties;
    layout.beginArray();
    while (!layout.atEnd()) {
        QDBusVariant child;
        layout >> child;
        const auto argument = child.variant().value<QDBusArgument>();
        MenuItem item;
        QVariantMap childProperties;
        argument.beginStructure();
        argument >> item.id >> childProperties;
        argument.endStructure();
        item.label = childProperties.value(QStringLiteral("label")).toString();
        item.visible = childProperties.value(QStringLiteral("visible"), true).toBool();
        out.push_back(item);
    }
    layout.endArray();
    layout.endStructure();
    return out;
}

class TrayTest : public x11::test::ProgramFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        if (IsSkipped()) return;
        // A bus of its own: no watcher on it unless the test is one.
        busAddress = sm::test::startSessionBus(bus);
        ASSERT_FALSE(busAddress.isEmpty()) << "no private session bus (is dbus-daemon installed?)";
    }
    void TearDown() override {
        for (QProcess* p : {&program, &host, &bus})
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished();
            }
    }
    void startProgram() {
        auto env = environment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(SM_PROGRAM, {});
        ASSERT_TRUE(program.waitForStarted());
    }
    // The program's shown popups: override-redirect windows at the root (the embedded icon is one
    // too, but inside the tray).
    int popupMenus() const {
        int menus = 0;
        const QStringList windows = tool("xdotool", {"search", "--onlyvisible", "--classname", "spacemarquee"})
                                        .split(u'\n', Qt::SkipEmptyParts);
        for (const QString& w : windows) {
            const QString info = tool("xwininfo", {"-children", "-id", w});
            const QString attributes = tool("xwininfo", {"-id", w});
            if (info.contains("(the root window)") && attributes.contains("Override Redirect State: yes")) ++menus;
        }
        return menus;
    }
    bool preferencesShown() const {
        return !tool("xdotool", {"search", "--onlyvisible", "--name", "^Spacemarquee Preferences$"}).trimmed().isEmpty();
    }

    QProcess bus, host, program;
    QString busAddress;
};

TEST_F(TrayTest, XEmbedIconInTrayerOpensTheMenuAndPreferences) {
    host.setProcessEnvironment([] {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", session->display());
        return env;
    }());
    host.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                                          "120", "--height", "32", "--SetDockType", "true"});
    if (!host.waitForStarted()) GTEST_SKIP() << "trayer is not installed";
    QString panel;
    ASSERT_TRUE(waitUntil([&] {
        panel = tool("xdotool", {"search", "--onlyvisible", "--classname", "^panel$"}).section(u'\n', 0, 0);
        return !panel.isEmpty() || host.state() == QProcess::NotRunning;
    }, 10000) && !panel.isEmpty())
        << "trayer showed no panel (" << (host.state() == QProcess::NotRunning ? "it exited" : "still running")
        << "): " << host.readAllStandardError().toStdString();
    startProgram();

    // The icon: the window trayer embedded, where xwininfo gives its place on the screen.
    static const QRegularExpression child(QStringLiteral(R"("Spacemarquee".* (\d+)x(\d+)\+\d+\+\d+\s+\+(\d+)\+(\d+))"));
    QRegularExpressionMatch icon;
    ASSERT_TRUE(waitUntil([&] {
        icon = child.match(tool("xwininfo", {"-tree", "-id", panel}));
        return icon.hasMatch();
    }, 15000)) << "the icon was not embedded";
    const int x = icon.captured(3).toInt() + icon.captured(1).toInt() / 2;
    const int y = icon.captured(4).toInt() + icon.captured(2).toInt() / 2;
    const int before = popupMenus(); // what else the program has mapped at the root meanwhile
    session->run("xdotool", {"mousemove", QString::number(x), QString::number(y), "click", "1"});
    ASSERT_TRUE(waitUntil([&] { return popupMenus() == before + 1; }, 10000))
        << "a click on the icon opened no menu";

    // Down once: add or remove the tag (one of them is shown); once more: Preferences.
    session->run("xdotool", {"key", "Down", "Down", "Return"});
    EXPECT_TRUE(waitUntil([&] { return preferencesShown(); }, 10000));
    EXPECT_EQ(popupMenus(), before);
}

TEST_F(TrayTest, StatusNotifierItemRegistersOpensTheMenuAndItsPreferencesEntry) {
    QObject root;
    auto* watcher = new Watcher(&root);
    QDBusConnection connection = QDBusConnection::connectToBus(busAddress, QStringLiteral("host"));
    ASSERT_TRUE(connection.isConnected());
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root));
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    startProgram();
    ASSERT_TRUE(waitUntil([&] { return !watcher->items().isEmpty(); }, 15000)) << "no item registered";

    const QString service = watcher->items().front().section(u'/', 0, 0);
    // Asynchronous, so that this process goes on answering for the watcher while it waits.
    const auto call = [&](const QString& objectPath, const QString& interface, const QString& method,
                          const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(service, objectPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = connection.asyncCall(message);
        waitUntil([&] { return pending.isFinished(); }, 10000);
        return pending.reply();
    };
    const QString itemPath = QStringLiteral("/StatusNotifierItem");
    const QString itemInterface = QStringLiteral("org.kde.StatusNotifierItem");
    const QDBusMessage menuProperty = call(itemPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                           QStringLiteral("Get"), {itemInterface, QStringLiteral("Menu")});
    ASSERT_EQ(menuProperty.type(), QDBusMessage::ReplyMessage) << menuProperty.errorMessage().toStdString();
    const QString menuPath =
        menuProperty.arguments().at(0).value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    ASSERT_FALSE(menuPath.isEmpty());

    // A left click in the host.
    const int before = popupMenus();
    call(itemPath, itemInterface, QStringLiteral("Activate"), {600, 10});
    ASSERT_TRUE(waitUntil([&] { return popupMenus() == before + 1; }, 10000)) << "Activate opened no menu";
    session->run("xdotool", {"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return popupMenus() == before; }, 10000));

    const QString menuInterface = QStringLiteral("com.canonical.dbusmenu");
    call(menuPath, menuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage reply = call(menuPath, menuInterface, QStringLiteral("GetLayout"), {0, -1, QStringList()});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    QStringList shown;
    int preferences = -1;
    for (const MenuItem& entry : childrenOf(reply.arguments().at(1).value<QDBusArgument>())) {
        if (entry.visible && !entry.label.isEmpty()) shown << entry.label;
        if (entry.label == QStringLiteral("Preferences…")) preferences = entry.id;
    }
    // One of "Add tag to this desktop" and "Remove tag from this desktop" is shown, never both.
    EXPECT_EQ(shown.filter(QStringLiteral(" tag ")).size(), 1) << shown.join(u',').toStdString();
    EXPECT_EQ(shown.mid(1), (QStringList{"Preferences…", "About Spacemarquee", "Report a Problem…",
                                         "Check for Updates…", "Quit Spacemarquee"}));
    ASSERT_GE(preferences, 0) << shown.join(u',').toStdString();
    call(menuPath, menuInterface, QStringLiteral("Event"),
         {preferences, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    EXPECT_TRUE(waitUntil([&] { return preferencesShown(); }, 10000));
}

} // namespace
} // namespace sm

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // waitUntil turns the event loop
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "Tray_e2e_test.moc"
