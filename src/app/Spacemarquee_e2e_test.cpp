// The built program on a private Xvfb with openbox: desktops switched with wmctrl, URL commands sent
// the way xdg-open sends them (by running the program with the URL), a second copy, SIGTERM.
#include "platform/linux/FileDefaults.h"
#include "support/x11/ProgramFixture.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace sm {
namespace {

using x11::test::waitUntil;

class ProgramTest : public x11::test::ProgramFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        if (IsSkipped()) return;
        FileDefaults(path("config/spacemarquee"))
            .setValue(QStringLiteral("Spacemarquee.VerboseTracing"), true);
        ASSERT_EQ(wmctrl({"-n", "4"}), 0);
        ASSERT_EQ(wmctrl({"-s", "0"}), 0);
    }
    void TearDown() override {
        if (first && first->state() != QProcess::NotRunning) {
            first->kill();
            first->waitForFinished();
        }
        if (const qint64 pid = lockHolder(); pid > 0 && (!first || pid != first->processId()))
            ::kill(static_cast<pid_t>(pid), SIGKILL); // a copy a command started
    }
    qint64 lockHolder() const {
        QFile f(path("run/spacemarquee/spacemarquee.lock"));
        return f.open(QIODevice::ReadOnly) ? f.readLine().trimmed().toLongLong() : 0;
    }

    QProcessEnvironment environment() const {
        auto env = ProgramFixture::environment();
        env.insert("SPACEMARQUEE_TEST_DISMISS_ALERTS_MS", "200");
        return env;
    }
    int wmctrl(const QStringList& arguments) { return session->run("wmctrl", arguments); }
    // Root writes into any folder; without the override capabilities it obeys the folder's mode, as
    // the user's own copy would. Copies the program starts inherit the limit.
    static QStringList obeyingFileModes(const QStringList& arguments) {
        if (::geteuid() != 0) return arguments;
        return QStringList{"--bounding-set", "-dac_override,-dac_read_search", SM_PROGRAM} + arguments;
    }
    static QString programObeyingFileModes() { return ::geteuid() == 0 ? "setpriv" : SM_PROGRAM; }

    void startFirst() {
        first = std::make_unique<QProcess>();
        first->setProcessEnvironment(environment());
        first->start(SM_PROGRAM, {});
        ASSERT_TRUE(first->waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return trace().contains("session tags="); }, 15000))
            << trace().toStdString();
    }
    // Runs a short-lived copy; its exit code, -1 when it had to be killed.
    int runCopy(const QStringList& arguments, QProcessEnvironment env = {}, QString* err = nullptr,
                QString* output = nullptr, const QString& program = SM_PROGRAM) {
        x11::test::ProcessOutput out;
        const int code =
            x11::test::runProcess(program, arguments, env.isEmpty() ? environment() : env, 20000, &out);
        if (err) *err = out.standardError;
        if (output) *output = out.standardOutput;
        return code;
    }
    QStringList rootDesktopNames() const { return session->desktopNames(); }
    int currentDesktop() const {
        return tool("xprop", {"-root", "_NET_CURRENT_DESKTOP"}).section('=', 1).trimmed().toInt();
    }
    // The title of the window the window manager has in front; empty when none.
    QString activeWindowTitle() const {
        QString out;
        session->run("xprop", {"-root", "_NET_ACTIVE_WINDOW"}, &out);
        static const QRegularExpression id(R"(# (0x[0-9a-f]+))");
        const auto match = id.match(out);
        if (!match.hasMatch() || match.captured(1) == "0x0") return {};
        session->run("xprop", {"-id", match.captured(1), "_NET_WM_NAME"}, &out);
        static const QRegularExpression quoted(R"re("(.*)")re");
        return quoted.match(out).captured(1);
    }
    QByteArray settingsFile() const {
        QFile f(path("config/spacemarquee/defaults.json"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList titles() const {
        FileDefaults defaults(path("config/spacemarquee"));
        const auto text = defaults.dataValue("Spacemarquee.Tags").value_or(QByteArray());
        QStringList out;
        for (const auto& t : QJsonDocument::fromJson(text).array())
            out << t.toObject().value("title").toString();
        return out;
    }
    void switchAndWaitForLabel(int desktop, qsizetype tags) {
        ASSERT_EQ(wmctrl({"-s", QString::number(desktop)}), 0);
        ASSERT_TRUE(waitUntil([&] { return titles().size() == tags; }, 15000))
            << titles().join(',').toStdString() << "\n"
            << trace().toStdString();
        // The label is stored a moment before its window is shown; switching away earlier would show
        // it on the next desktop instead. The overlay traces when it learns the window is up here.
        ASSERT_TRUE(waitUntil([&] { return trace().count("createPanel id=") == tags; }));
        static const QRegularExpression created(R"(createPanel id=(\S+))");
        QString id;
        for (auto it = created.globalMatch(trace()); it.hasNext();)
            id = it.next().captured(1);
        const QRegularExpression shown("occlusionChange id=" + QRegularExpression::escape(id) +
                                       " raw=true renderVisible=\\S+ onActiveSpace=true");
        ASSERT_TRUE(waitUntil([&] { return trace().contains(shown); }, 15000)) << trace().toStdString();
    }

    std::unique_ptr<QProcess> first;
};

// However many signals come at the end, and of whatever kind (a session manager sends SIGHUP, then
// SIGTERM), the end runs once and to its close: the window manager gets its own desktop names back.
TEST_F(ProgramTest, NamesDesktopsByUrlIgnoresHostileCommandsAndEndsInOrderOnABurstOfSignals) {
    const QStringList own = rootDesktopNames();
    ASSERT_GE(own.size(), 4);
    startFirst();
    switchAndWaitForLabel(0, 1);
    switchAndWaitForLabel(1, 2);
    // Typed as a person would, raw space and all; "ok" comes only once the name is on disk.
    EXPECT_EQ(runCopy({"spacemarquee://set-current-tag?title=My Mail"}), 0);
    EXPECT_TRUE(titles().contains("My Mail")) << titles().join(',').toStdString();

    for (const QByteArray& url : {QByteArray("https://set-current-tag?title=Evil"),
                                  QByteArray("spacemarquee://format-disk?title=Evil"),
                                  QByteArray("spacemarquee://set-current-tag?title=%ZZ"),
                                  QByteArray("spacemarquee://set-current-tag?title=Ev%07il"),
                                  QByteArray("spacemarquee://set-current-tag?title=%FF%FE"),
                                  "spacemarquee://set-current-tag?title=" + QByteArray(100000, 'x')}) {
        QString err;
        EXPECT_EQ(runCopy({QString::fromLatin1(url)}, {}, &err), 1) << url.left(60).toStdString();
        EXPECT_TRUE(err.contains("refused the command: ")) << err.toStdString();
    }
    // A megabyte straight into the socket.
    QLocalSocket raw;
    raw.connectToServer(path("run/spacemarquee/spacemarquee.socket"));
    ASSERT_TRUE(raw.waitForConnected());
    raw.write("spacemarquee://set-current-tag?title=" + QByteArray(1 << 20, 'y') + "\n");
    QByteArray reply;
    while (!reply.contains('\n') && raw.waitForReadyRead(5000))
        reply += raw.readAll();
    EXPECT_EQ(reply, "too-long\n");
    raw.abort();

    EXPECT_EQ(titles().filter("Mail").size(), 1);
    EXPECT_TRUE(titles().filter("Evil").isEmpty() && titles().filter("yyyy").isEmpty())
        << titles().join(',').toStdString();

    ASSERT_TRUE(waitUntil([&] { return rootDesktopNames().value(1) == "My Mail"; }))
        << rootDesktopNames().join(',').toStdString();
    const auto pid = static_cast<pid_t>(first->processId());
    for (int i = 0; i < 50; ++i)
        ::kill(pid, SIGHUP);
    ::kill(pid, SIGTERM);
    ASSERT_TRUE(first->waitForFinished(10000));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first->exitCode(), 0);
    const QString t = trace();
    qsizetype at = 0;
    for (const char* line :
         {"SESSION END applicationWillTerminate", "terminate STOPPED service=staleTagSweeper",
          "terminate STOPPED service=keyMonitor", "terminate STOPPED service=spaceTracker",
          "terminate STOPPED service=overlayManager"}) {
        const qsizetype next = t.indexOf(QLatin1String(line), at);
        EXPECT_GT(next, at) << line;
        at = std::max(at, next);
    }
    EXPECT_TRUE(titles().contains("My Mail"));
    EXPECT_EQ(rootDesktopNames().join(u',').toStdString(), own.join(u',').toStdString());
}

// Started again from a launcher, it opens the running copy's Preferences, in front, and leaves;
// started again as the login item, it explains and leaves. Neither touches the stored data.
TEST_F(ProgramTest, ASecondStartOpensPreferencesInTheRunningCopy) {
    startFirst();
    switchAndWaitForLabel(0, 1);
    // The running copy keeps what it only observed (when a label was last seen) for up to 2 s before
    // it saves it. A name is saved at once, with all it still held; the last the running copy writes
    // of its own is the name lent to the window manager's desktop.
    ASSERT_EQ(runCopy({"spacemarquee://set-current-tag?title=Mail"}), 0);
    ASSERT_TRUE(waitUntil([&] {
        const QByteArray data = settingsFile();
        const qsizetype lent = data.indexOf("Spacemarquee.DesktopNamesLent");
        return lent >= 0 && data.indexOf("\"Mail\"", data.indexOf("\"written\"", lent)) >= 0;
    }));
    const QByteArray before = settingsFile();
    QString err;
    EXPECT_EQ(runCopy({}, {}, &err), 0) << err.toStdString();
    EXPECT_TRUE(trace().contains("command preferences SHOWN")) << trace().toStdString();
    EXPECT_TRUE(waitUntil([&] { return activeWindowTitle() == "Spacemarquee Preferences"; }))
        << activeWindowTitle().toStdString();
    EXPECT_EQ(trace().count("singleInstance alert PRESENTING"), 0);

    EXPECT_EQ(runCopy({"--login-item"}), 0);
    EXPECT_EQ(settingsFile(), before);
    const QString t = trace();
    EXPECT_TRUE(t.contains(QStringLiteral("others=[%1:").arg(first->processId()))) << t.toStdString();
    EXPECT_LT(t.indexOf("singleInstance alert PRESENTING"),
              t.indexOf("singleInstance alert DISMISSED by user"));
    EXPECT_EQ(t.count("SESSION START"), 1); // the running copy's file was not rotated
    EXPECT_EQ(first->state(), QProcess::Running);
}

// With none running, list and quit say so and start nothing, and under Wayland it says it needs X11;
// preferences and report open their windows in front, starting the program when none runs; quit
// ends the running copy in order and never starts one.
TEST_F(ProgramTest, SaysClearlyWhenItCannotRunAndCommandsOpenTheWindowsAndQuit) {
    QString err, out;
    for (const char* command : {"quit", "list"}) {
        EXPECT_EQ(runCopy({command}, {}, &err), 1) << command;
        EXPECT_TRUE(err.contains("Spacemarquee is not running")) << err.toStdString();
    }
    auto wayland = environment();
    wayland.insert("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_EQ(runCopy({}, wayland, &err), 1);
    EXPECT_TRUE(err.contains("X11")) << err.toStdString();
    EXPECT_TRUE(settingsFile().contains("VerboseTracing") && !settingsFile().contains("Tags"));
    EXPECT_EQ(lockHolder(), 0);

    EXPECT_EQ(runCopy({"preferences"}, {}, &err), 0) << err.toStdString();
    const qint64 started = lockHolder();
    ASSERT_GT(started, 0);
    EXPECT_TRUE(waitUntil([&] { return activeWindowTitle() == "Spacemarquee Preferences"; }))
        << activeWindowTitle().toStdString();
    EXPECT_EQ(runCopy({"report"}, {}, &err), 0) << err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return activeWindowTitle() == "Report a Problem"; }))
        << activeWindowTitle().toStdString();
    // Asked for at once after a window not yet mapped, the later one stays in front: checked once the
    // report is mapped and the program has turned its loop since.
    const auto reportMapped = [&] {
        return tool("xwininfo", {"-name", "Report a Problem"}).contains(QLatin1String("IsViewable"));
    };
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(wmctrl({"-c", "Report a Problem"}), 0);
        EXPECT_TRUE(waitUntil([&] { return !reportMapped(); }));
        EXPECT_EQ(runCopy({"report"}, {}, &err), 0) << err.toStdString();
        EXPECT_EQ(runCopy({"preferences"}, {}, &err), 0) << err.toStdString();
        EXPECT_TRUE(waitUntil([&] { return reportMapped(); }));
        EXPECT_EQ(runCopy({"list"}, {}, &err), 0) << err.toStdString();
        EXPECT_TRUE(waitUntil([&] { return activeWindowTitle() == "Spacemarquee Preferences"; }))
            << round << ": " << activeWindowTitle().toStdString();
    }
    EXPECT_EQ(lockHolder(), started);
    EXPECT_EQ(runCopy({"report", "now"}, {}, &err), 2);

    EXPECT_EQ(runCopy({"quit"}, {}, &err), 0) << err.toStdString();
    EXPECT_TRUE(waitUntil([&] { return ::kill(static_cast<pid_t>(started), 0) != 0; }, 10000));
    EXPECT_TRUE(trace().contains("terminate STOPPED service=overlayManager")) << trace().toStdString();
    EXPECT_EQ(runCopy({"quit"}, {}, &err), 1);
    EXPECT_TRUE(err.contains("Spacemarquee is not running")) << err.toStdString();

    ASSERT_EQ(runCopy({"--help"}, {}, nullptr, &out), 0);
    for (const char* word : {"\n  preferences ", "\n  report ", "\n  quit "})
        EXPECT_TRUE(out.contains(QLatin1String(word))) << out.toStdString();
}

// A signal ends it in order from the first moment of main on, and at once while a copy that yields
// shows its "already running" alert.
TEST_F(ProgramTest, SignalsEndItInOrderFromTheStartAndDuringTheAlert) {
    auto mainBegun = [](qint64 pid) { // main ignores SIGPIPE right after installing its handlers
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        const QByteArray status = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const qsizetype at = status.indexOf("SigIgn:\t");
        return at >= 0 && (status.mid(at + 8, 16).toULongLong(nullptr, 16) >> (SIGPIPE - 1)) & 1;
    };
    auto env = environment();
    env.remove("SPACEMARQUEE_TEST_DISMISS_ALERTS_MS");
    for (const auto& [signal, delayMs, duringAlert] : {std::tuple{SIGTERM, 0, false},
                                                       {SIGHUP, 30, false},
                                                       {SIGINT, 100, false},
                                                       {SIGTERM, 0, true},
                                                       {SIGHUP, 0, true},
                                                       {SIGINT, 0, true}}) {
        if (duringAlert && !first) { // startFirst() must not take the earlier rows' trace for its own
            QFile::remove(path("run/spacemarquee/spacemarquee-trace.log"));
            startFirst();
        }
        const auto alerts = trace().count("singleInstance alert PRESENTING");
        QProcess p;
        p.setProcessEnvironment(env);
        // As the login item: a plain second start opens Preferences instead of an alert.
        p.start(SM_PROGRAM, duringAlert ? QStringList{"--login-item"} : QStringList{});
        ASSERT_TRUE(waitUntil(
            [&] {
                return duringAlert ? trace().count("singleInstance alert PRESENTING") > alerts
                                   : mainBegun(p.processId());
            },
            10000))
            << signal << duringAlert;
        QThread::msleep(delayMs);
        ::kill(static_cast<pid_t>(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(5000)) << signal;
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << signal << duringAlert;
        EXPECT_EQ(p.exitCode(), 0) << signal << duringAlert;
    }
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramTest, CommandLineNamesListsAndClearsThroughTheRunningCopy) {
    startFirst();
    switchAndWaitForLabel(0, 1);
    switchAndWaitForLabel(1, 2);
    EXPECT_EQ(runCopy({"name", "Mail & more"}), 0);
    EXPECT_TRUE(titles().contains("Mail & more")) << titles().join(',').toStdString();
    QString out, err;
    ASSERT_EQ(runCopy({"list", "--json"}, {}, &err, &out), 0) << err.toStdString();
    const auto listed = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(listed.value("version").toInt(), 1);
    QStringList seen;
    for (const auto& entry : listed.value("tags").toArray()) {
        const QJsonObject t = entry.toObject();
        seen << QStringLiteral("%1@%2:%3")
                    .arg(t.value("title").toString())
                    .arg(t.value("desktop").toInt(-1))
                    .arg(t.value("userOwned").toBool() ? "user" : "auto");
    }
    EXPECT_TRUE(seen.contains("Mail & more@1:user")) << seen.join(',').toStdString() << out.toStdString();

    const QString sh = QStringLiteral("exec \"$0\" name \"$(printf '%1')\"");
    for (const auto& [arguments, viaShell] : {std::pair{QStringList{"name", QString(10240, 'x')}, false},
                                              {QStringList{"name", "Ev\ail"}, false},
                                              {QStringList{sh.arg("\\377\\376")}, true}}) {
        const int code = viaShell
                             ? x11::test::runProcess("/bin/sh", QStringList{"-c"} + arguments << SM_PROGRAM,
                                                     environment(), 15000, nullptr)
                             : runCopy(arguments, {}, &err);
        EXPECT_EQ(code, 1) << arguments.join(' ').left(40).toStdString();
    }
    EXPECT_EQ(runCopy({"nmae", "x"}, {}, &err), 2);
    EXPECT_TRUE(err.contains("unknown command") && err.contains("--help")) << err.toStdString();

    EXPECT_EQ(runCopy({"clear"}), 0);
    EXPECT_FALSE(titles().contains("Mail & more")) << titles().join(',').toStdString();
    EXPECT_EQ(first->state(), QProcess::Running);
}

// `go` exits 0 only once the window manager shows the desktop, so the desktop is read right after;
// an ambiguous name exits 2 with the candidates, an unknown one 1, and neither switches. A shortcut's
// `switch` opens the switcher with the keyboard: a typed beginning and Enter go there, and the switcher
// is gone once the desktop has changed. `edit` then gives the label's editor the keyboard: what is
// typed next renames the desktop.
TEST_F(ProgramTest, GoAndTheSwitcherGoToADesktopByNameAndEditTakesTheKeyboard) {
    startFirst();
    const char* const names[] = {"Code", "Code review", "Mail"};
    for (int d = 0; d < 3; ++d) {
        switchAndWaitForLabel(d, d + 1);
        ASSERT_EQ(runCopy({"name", names[d]}), 0);
    }
    QString err;
    const struct {
        QStringList arguments;
        int code;
        int desktop;
        QStringList said;
    } cases[] = {
        {{"go", "code r"}, 0, 1, {}},
        {{"spacemarquee://go?title=mail"}, 0, 2, {}},
        {{"go", "co"}, 2, 2, {"\"Code\" (desktop 1)", "\"Code review\" (desktop 2)"}},
        {{"go", "Chat"}, 1, 2, {"no desktop is named \"Chat\""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(runCopy(c.arguments, {}, &err), c.code) << c.arguments.join(' ').toStdString() << err.toStdString();
        EXPECT_EQ(currentDesktop(), c.desktop) << c.arguments.join(' ').toStdString();
        for (const auto& text : c.said)
            EXPECT_TRUE(err.contains(text)) << err.toStdString();
    }

    // From the first desktop, so that Enter on the unfiltered first row would go nowhere.
    ASSERT_EQ(wmctrl({"-s", "0"}), 0);
    ASSERT_TRUE(waitUntil([&] { return currentDesktop() == 0; }));
    ASSERT_EQ(runCopy({"switch"}), 0);
    ASSERT_TRUE(waitUntil([&] { return activeWindowTitle() == "Go to Desktop"; }))
        << activeWindowTitle().toStdString();
    ASSERT_EQ(session->run("xdotool", {"type", "ma"}), 0);
    ASSERT_EQ(session->run("xdotool", {"key", "Return"}), 0);
    EXPECT_TRUE(waitUntil([&] { return currentDesktop() == 2; })) << currentDesktop();
    EXPECT_TRUE(waitUntil([&] { return activeWindowTitle() != "Go to Desktop"; }));

    ASSERT_EQ(runCopy({"edit"}), 0);
    // Labels never take the keyboard: a window of ours in front is the editor.
    ASSERT_TRUE(waitUntil([&] { return activeWindowTitle() == "Spacemarquee"; }))
        << activeWindowTitle().toStdString();
    ASSERT_EQ(session->run("xdotool", {"key", "ctrl+a", "type", "Inbox"}), 0);
    ASSERT_EQ(session->run("xdotool", {"key", "Return"}), 0);
    EXPECT_TRUE(waitUntil([&] { return titles().size() == 3 && titles().contains("Inbox") && !titles().contains("Mail"); }))
        << titles().join(',').toStdString();
}

// A broken link starts nothing. Links opened together with no copy running may each start one: one
// copy stays, the others leave without an "already running" alert, every command is taken and names
// the desktop on screen, and each sender hears "ok" once the name is saved.
TEST_F(ProgramTest, LinksGivenTogetherStartOneCopyAndNoAlert) {
    QString err;
    EXPECT_EQ(runCopy({"spacemarquee://set-current-tag?title=%ZZ"}, {}, &err), 1);
    EXPECT_TRUE(err.contains("refused the command: ")) << err.toStdString();
    EXPECT_EQ(lockHolder(), 0);
    ASSERT_EQ(wmctrl({"-s", "2"}), 0);
    std::vector<std::unique_ptr<QProcess>> senders;
    for (int i = 0; i < 4; ++i) {
        senders.push_back(std::make_unique<QProcess>());
        senders.back()->setProcessEnvironment(environment());
        senders.back()->start(SM_PROGRAM, {"spacemarquee://set-current-tag?title=Together"});
    }
    for (auto& p : senders) {
        ASSERT_TRUE(p->waitForFinished(20000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    EXPECT_EQ(titles(), QStringList{"Together"});
    EXPECT_EQ(trace().count("singleInstance alert PRESENTING"), 0) << trace().toStdString();
    EXPECT_GT(lockHolder(), 0);
}

// "ok" means on disk. With the settings folder closed to writing a command still takes effect, but
// the sender hears that it was not saved and why, whether it started the program or one ran already.
TEST_F(ProgramTest, ACommandThatCannotBeSavedFailsWithTheReason) {
    const QString folder = path("config/spacemarquee");
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    const QString unsaved = "spacemarquee: applied for this session, not saved: Permission denied";
    QString err;
    EXPECT_EQ(runCopy(obeyingFileModes({"name", "Started"}), {}, &err, nullptr, programObeyingFileModes()), 1);
    EXPECT_TRUE(err.contains(unsaved)) << err.toStdString();
    ASSERT_GT(lockHolder(), 0); // the copy it started runs on
    EXPECT_EQ(runCopy(obeyingFileModes({"spacemarquee://set-current-tag?title=Second"}), {}, &err, nullptr,
                      programObeyingFileModes()),
              1);
    EXPECT_TRUE(err.contains(unsaved)) << err.toStdString();
    EXPECT_TRUE(titles().isEmpty());

    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_EQ(runCopy({"name", "Third"}, {}, &err), 0) << err.toStdString();
    EXPECT_EQ(titles(), QStringList{"Third"});
}

} // namespace
} // namespace sm

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // waitUntil turns the event loop
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
