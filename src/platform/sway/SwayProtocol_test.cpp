// The IPC framing, the readers of sway's replies and the client's recovery, against hostile input.
#include "platform/sway/SwayIpcClient.h"
#include "platform/sway/SwayProtocol.h"
#include "platform/sway/SwayWorkspace.h"
#include "support/TestLoggers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>

#include <gtest/gtest.h>

namespace sm::sway {
namespace {

using Status = ipc::Taken::Status;

QByteArray header(const char* magic, quint32 length, quint32 type) {
    QByteArray out(magic, 6);
    out.append(reinterpret_cast<const char*>(&length), 4);
    out.append(reinterpret_cast<const char*>(&type), 4);
    return out;
}

TEST(SwayFramingTest, TakesWholeMessagesAndRefusesWhatIsNotTheProtocol) {
    const QByteArray one = ipc::encode(ipc::GetTree, "{}");
    const QByteArray event = ipc::encode(ipc::WorkspaceEvent, R"({"change":"focus"})");
    struct Case {
        const char* name;
        QByteArray bytes;
        Status status;
        quint32 type;
        QByteArray payload;
        qsizetype left; // bytes still in the buffer afterwards
    };
    const Case cases[] = {
        {"one message", one, Status::frame, ipc::GetTree, "{}", 0},
        {"two in one read", one + event, Status::frame, ipc::GetTree, "{}", event.size()},
        {"empty payload", ipc::encode(ipc::GetVersion), Status::frame, ipc::GetVersion, "", 0},
        {"half a header", one.left(9), Status::incomplete, 0, {}, 9},
        {"payload cut short", one.left(one.size() - 1), Status::incomplete, 0, {}, one.size() - 1},
        {"wrong magic", header("i3-ipx", 2, 4) + "{}", Status::malformed, 0, {}, 16},
        {"wrong from the first bytes", QByteArray("HTTP/"), Status::malformed, 0, {}, 5},
        {"length beyond the limit", header("i3-ipc", 1u << 30, 4), Status::oversized, 0, {}, 14},
        {"length just at the limit", header("i3-ipc", 64, 4), Status::incomplete, 0, {}, 14},
    };
    for (const auto& c : cases) {
        QByteArray buffer = c.bytes;
        const auto taken = ipc::take(buffer, 64);
        EXPECT_EQ(taken.status, c.status) << c.name;
        EXPECT_EQ(taken.frame.type, c.type) << c.name;
        EXPECT_EQ(taken.frame.payload, c.payload) << c.name;
        EXPECT_EQ(buffer.size(), c.left) << c.name;
    }
}

TEST(SwayRepliesTest, ReadersAnswerNoneForWhatSwayDoesNotSendAndSkipBadEntries) {
    struct Case {
        const char* name;
        QByteArray json;
        int outputs;    // -1: refused
        int workspaces; // -1: refused
    };
    const Case cases[] = {
        {"not JSON", "{\"name\":", -1, -1},
        {"an object, not a list", R"({"name":"DP-1"})", -1, -1},
        {"entries that are not objects", R"([1, "x", null, []])", 0, 0},
        {"no names", R"([{"active":true}])", 0, 0},
        {"wrong types", R"([{"name":7,"active":"yes","visible":"no"}])", 0, 0},
        {"inactive output, named workspace", R"([{"name":"DP-1","active":false}])", 0, 1},
        {"good", R"([{"name":"DP-1","active":true,"rect":{"x":0,"y":0,"width":800,"height":600}}])", 1, 1},
    };
    for (const auto& c : cases) {
        QString error;
        const auto outputs = parseOutputs(c.json, &error);
        EXPECT_EQ(outputs ? static_cast<int>(outputs->size()) : -1, c.outputs) << c.name;
        EXPECT_EQ(outputs.has_value(), error.isEmpty()) << c.name;
        const auto workspaces = parseWorkspaces(c.json, &error);
        EXPECT_EQ(workspaces ? static_cast<int>(workspaces->size()) : -1, c.workspaces) << c.name;
    }
}

// The outputs read after each workspace event are compared with the last ones to tell a display change:
// what follows the user from workspace to workspace must not count, what moves or reshapes an output must.
TEST(SwayRepliesTest, OnlyAChangeOfTheOutputsThemselvesTellsTheOutputsApart) {
    const auto reply = [](const char* rect) {
        return QByteArray(R"([{"name":"HEADLESS-1","active":true,"make":"headless","scale":1.0,)"
                          R"("transform":"normal","current_workspace":"1","focused":true,)"
                          R"("current_mode":{"width":1280,"height":720,"refresh":60000},"rect":)") +
               rect + "}]";
    };
    const char* const home = R"({"x":0,"y":0,"width":1280,"height":720})";
    struct Case {
        const char* name;
        QByteArray json;
        bool same;
    };
    const Case cases[] = {
        {"another workspace, focus elsewhere",
         reply(home).replace(R"("current_workspace":"1","focused":true)",
                             R"("current_workspace":"4","focused":false)"),
         true},
        {"another refresh rate", reply(home).replace("60000", "59940"), true},
        {"moved", reply(R"({"x":1920,"y":0,"width":1280,"height":720})"), false},
        {"resized", reply(R"({"x":0,"y":0,"width":1920,"height":1080})"), false},
        {"scaled", reply(home).replace(R"("scale":1.0)", R"("scale":2.0)"), false},
        {"turned", reply(home).replace(R"("transform":"normal")", R"("transform":"180")"), false},
        {"another added", reply(home).replace("}]", R"(},{"name":"HEADLESS-2","active":true}])"), false},
    };
    QString error;
    const auto before = parseOutputs(reply(home), &error);
    ASSERT_TRUE(before) << error.toStdString();
    for (const auto& c : cases) {
        const auto after = parseOutputs(c.json, &error);
        ASSERT_TRUE(after) << c.name << error.toStdString();
        EXPECT_EQ(*after == *before, c.same) << c.name;
    }
}

TEST(SwayRepliesTest, TheTreeGivesThisProcesssWindowsWithTheirWorkspaces) {
    const QByteArray tree = R"({"type":"root","nodes":[{"type":"output","name":"DP-1","nodes":[
        {"type":"workspace","id":5,"name":"mail","nodes":[{"id":8,"pid":99,"name":"other","nodes":[]}],
         "floating_nodes":[{"id":9,"pid":42,"name":"Spacemarquee label 1","visible":true,
                            "rect":{"x":10,"y":20,"width":200,"height":80},"nodes":[]}]},
        {"type":"workspace","id":6,"name":"2","nodes":[{"id":12,"nodes":[{"id":13,"pid":42,"name":"t","nodes":[]}]}]}
    ]}]})";
    QString error;
    const auto windows = parseWindows(tree, 42, &error);
    ASSERT_TRUE(windows) << error.toStdString();
    ASSERT_EQ(windows->size(), 2);
    EXPECT_EQ(windows->at(0),
              (WindowInfo{9, 42, "Spacemarquee label 1", 5, "mail", QRect(10, 20, 200, 80), true, false}));
    EXPECT_EQ(windows->at(1).workspace, "2");
    EXPECT_FALSE(parseWindows("[]", 42, &error));
    EXPECT_FALSE(parseEvent("nonsense", &error));
    EXPECT_EQ(commandFailure(R"([{"success":true},{"success":false,"error":"No such workspace"}])"),
              "No such workspace");
    EXPECT_EQ(commandFailure(R"([{"success":true}])"), "");
}

TEST(SwayRepliesTest, TheFocusedViewIsFoundWaylandOrXwaylandAndNoneWhenAContainerHasTheFocus) {
    const auto tree = [](const char* focusedNodes) {
        return QByteArray(R"({"type":"root","id":1,"focused":false,"nodes":[{"type":"output","id":2,"nodes":[
            {"type":"workspace","id":5,"focused":false,"nodes":[{"id":8,"pid":99,"name":"other","app_id":"x",
             "focused":false,"nodes":[]}],"floating_nodes":[)") +
               focusedNodes + "]}]}]}";
    };
    const struct {
        const char* name;
        QByteArray json;
        std::optional<ViewInfo> view;
    } cases[] = {
        {"a Wayland view, floating",
         tree(R"({"id":9,"pid":42,"name":"Draft","app_id":"foot","focused":true})"),
         ViewInfo{9, 42, "Draft", "foot", "", ""}},
        {"an Xwayland view, deep in a split",
         tree(R"({"id":10,"focused":false,"nodes":[{"id":11,"pid":7,"name":"vim","app_id":null,"focused":true,
                  "window_properties":{"class":"XTerm","instance":"xterm"}}]})"),
         ViewInfo{11, 7, "vim", "", "xterm", "XTerm"}},
        {"a split container focused", tree(R"({"id":10,"focused":true,"nodes":[]})"), std::nullopt},
        {"nothing focused", tree(""), std::nullopt},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_EQ(parseFocusedView(c.json, &error), c.view) << c.name << error.toStdString();
    }
}

TEST(SwayRepliesTest, QuotedArgumentsSurviveQuotesAndBackslashes) {
    const std::pair<QString, QString> cases[] = {
        {"mail", R"("mail")"},  {"two words", R"("two words")"}, {R"(say "hi")", R"('say "hi"')"},
        {R"(a\b)", R"("a\b")"}, {R"(ends\)", R"('ends\')"},      {"", R"("")"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(quoted(in), out) << in.toStdString();
}

// A monitor keeps its identity on another connector; only what cannot be told apart takes the name.
TEST(SwayScreensTest, TheKeyIsTheMonitorsOwnUnlessItCannotBeToldApart) {
    const OutputInfo dell{"DP-1", "Dell", "U2720Q", "ABC123", {}, {}};
    const OutputInfo twin{"DP-2", "Dell", "U2720Q", "ABC123", {}, {}};
    const OutputInfo other{"HDMI-A-1", "LG", "27UL", "XYZ", {}, {}};
    struct Case {
        const char* name;
        OutputInfo output;
        QList<OutputInfo> attached;
        QString key;
    };
    const Case cases[] = {
        {"on another connector",
         OutputInfo{"DP-3", "Dell", "U2720Q", "ABC123", {}, {}},
         {other},
         "edid:Dell|U2720Q|ABC123"},
        {"beside another monitor", dell, {dell, other}, "edid:Dell|U2720Q|ABC123"},
        {"beside its twin", dell, {dell, twin}, "edid:Dell|U2720Q|ABC123|DP-1"},
        {"no serial",
         OutputInfo{"HEADLESS-1", "headless", "headless", "", {}, {}},
         {},
         "edid:headless|headless||HEADLESS-1"},
        {"serial Unknown",
         OutputInfo{"eDP-1", "BOE", "0x0BCA", "Unknown", {}, {}},
         {},
         "edid:BOE|0x0BCA|Unknown|eDP-1"},
        {"serial of zeros",
         OutputInfo{"DP-4", "AOC", "24G2", "0x00000000", {}, {}},
         {},
         "edid:AOC|24G2|0x00000000|DP-4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(screenKey(c.output, c.attached), c.key) << c.name;
}

// A stand-in for sway's socket, on its own thread as sway is its own process: it answers the
// subscription, then each request badly while `misbehave` holds and with an empty list after (the
// tree: `setTree`'s); `push` sends an event to the subscribers.
class FakeSway {
public:
    explicit FakeSway(std::function<QByteArray(QLocalSocket*)> bad) : bad_(std::move(bad)) {
        thread_.start();
        context_.moveToThread(&thread_);
        QMetaObject::invokeMethod(
            &context_, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~FakeSway() {
        QMetaObject::invokeMethod(
            &context_, [this] { server_.reset(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }
    QString path() const { return dir_.filePath(QStringLiteral("ipc.sock")); }
    std::atomic<bool> misbehave{true};
    void setTree(const QByteArray& tree) {
        QMetaObject::invokeMethod(&context_, [this, tree] { tree_ = tree; }, Qt::BlockingQueuedConnection);
    }
    void push(quint32 type, const QByteArray& payload) {
        QMetaObject::invokeMethod(
            &context_,
            [this, type, payload] {
                for (QLocalSocket* s : std::as_const(subscribers_))
                    s->write(ipc::encode(type, payload));
            },
            Qt::BlockingQueuedConnection);
    }

private:
    void listen() {
        server_ = std::make_unique<QLocalServer>();
        server_->listen(path());
        QObject::connect(server_.get(), &QLocalServer::newConnection, &context_, [this] {
            while (QLocalSocket* s = server_->nextPendingConnection())
                QObject::connect(s, &QLocalSocket::readyRead, &context_, [this, s] { answer(s); });
        });
    }
    void answer(QLocalSocket* s) {
        QByteArray& buffer = buffers_[s];
        buffer += s->readAll();
        for (auto t = ipc::take(buffer); t.status == Status::frame; t = ipc::take(buffer)) {
            if (t.frame.type == ipc::Subscribe) {
                subscribers_ << s;
                s->write(ipc::encode(ipc::Subscribe, R"({"success":true})"));
            } else if (!misbehave && t.frame.type == ipc::GetTree && !tree_.isEmpty())
                s->write(ipc::encode(ipc::GetTree, tree_));
            else
                s->write(misbehave ? bad_(s) : ipc::encode(t.frame.type, "[]"));
        }
    }

    std::function<QByteArray(QLocalSocket*)> bad_;
    QTemporaryDir dir_;
    QThread thread_;
    QObject context_;
    std::unique_ptr<QLocalServer> server_;
    QHash<QLocalSocket*, QByteArray> buffers_;
    QList<QLocalSocket*> subscribers_;
    QByteArray tree_;
};

TEST(SwayIpcClientTest, BadRepliesAreLoggedErrorsAndTheClientConnectsAgain) {
    int argc = 0;
    static QCoreApplication* app = new QCoreApplication(argc, nullptr);
    (void)app;
    struct Case {
        const char* name;
        std::function<QByteArray(QLocalSocket*)> badReply;
        const char* logged;
    };
    const Case cases[] = {
        {"not the protocol", [](QLocalSocket*) { return QByteArray("garbage that is long enough"); },
         "not an IPC message"},
        {"oversized", [](QLocalSocket*) { return header("i3-ipc", 0x7fffffff, ipc::GetWorkspaces); }, "over"},
        {"socket closed",
         [](QLocalSocket* s) {
             s->disconnectFromServer();
             return QByteArray();
         },
         "closed"},
        {"silence", [](QLocalSocket*) { return QByteArray(); }, "did not answer"},
    };
    for (const auto& c : cases) {
        FakeSway sway(c.badReply);
        test::TestLoggers logs;
        SwayIpcClient client({sway.path(), logs.loggers.overlay, {ipc::WorkspaceEvent}, {}, 300});
        QString error;
        ASSERT_TRUE(client.open(&error)) << c.name << error.toStdString();
        EXPECT_FALSE(client.request(ipc::GetWorkspaces)) << c.name;
        EXPECT_TRUE(logs.log->messages().join(u'\n').contains(QLatin1String(c.logged))) << c.name;
        sway.misbehave = false;
        QDeadlineTimer deadline(5000);
        while (!(client.reconnections() == 1 && client.isConnected()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_EQ(client.request(ipc::GetWorkspaces), QByteArray("[]")) << c.name;
    }
}

QByteArray windowEvent(const char* change, const char* container) {
    return QByteArray(R"({"change":")") + change + R"(","container":)" + container + "}";
}

// The window in front follows the events; each step ends with a change that can be seen, so a step is
// over once it shows, and a wrong turn before it shows too.
TEST(SwayWorkspaceTest, TheWindowInFrontFollowsFocusTitleAndWorkspaceEvents) {
    int argc = 0;
    static QCoreApplication* app = new QCoreApplication(argc, nullptr);
    (void)app;
    FakeSway sway([](QLocalSocket*) { return QByteArray(); });
    sway.misbehave = false;
    const auto view = [](const char* json, bool workspaceFocused = false) {
        return QByteArray(R"({"type":"root","nodes":[{"type":"workspace","focused":)") +
               (workspaceFocused ? "true" : "false") + R"(,"floating_nodes":[)" + json + "]}]}";
    };
    sway.setTree(view(R"({"id":1,"pid":10,"name":"one","app_id":"foot","focused":true})"));
    test::TestLoggers logs;
    QString error;
    const auto front = SwayWorkspace::create({logs.loggers.tracker, sway.path()}, &error);
    ASSERT_TRUE(front) << error.toStdString();
    int activations = 0;
    auto connection = front->applicationActivated.connect([&] { ++activations; });

    struct Step {
        const char* story;
        std::function<void()> act;
        QString id; // empty: nothing in front
        qint64 pid;
        QString title;
        int activations;
    };
    const Step steps[] = {
        {"the tree at start", [] {}, "foot", 10, "one", 0},
        {"another window's title is not the front's, its own is",
         [&] {
             sway.push(ipc::WindowEvent, windowEvent("title", R"({"id":2,"pid":11,"name":"x"})"));
             sway.push(ipc::WindowEvent,
                       windowEvent("title", R"({"id":1,"pid":10,"name":"\u202Eb\n","app_id":"foot"})"));
         },
         "foot", 10, "b ", 0},
        {"an Xwayland window takes the focus: its class, an activation",
         [&] {
             sway.push(ipc::WindowEvent, windowEvent("focus", R"({"id":3,"pid":20,"name":"vim","app_id":null,
                 "window_properties":{"class":"XTerm","instance":"xterm"}})"));
         },
         "XTerm", 20, "vim", 1},
        {"another window of the same program: no activation",
         [&] {
             sway.push(ipc::WindowEvent, windowEvent("focus", R"({"id":4,"pid":20,"name":"top",
                 "window_properties":{"class":"XTerm"}})"));
         },
         "XTerm", 20, "top", 1},
        {"a workspace holding no window to focus",
         [&] {
             sway.setTree(view(R"({"id":5,"pid":30,"name":"label","focused":false})", true));
             sway.push(ipc::WorkspaceEvent, R"({"change":"focus","current":{"id":9}})");
         },
         "", 0, "", 1},
        {"back to a window",
         [&] {
             sway.push(ipc::WindowEvent,
                       windowEvent("focus", R"({"id":1,"pid":10,"name":"one","app_id":"foot"})"));
         },
         "foot", 10, "one", 2},
    };
    for (const Step& step : steps) {
        step.act();
        const auto shows = [&] {
            const auto running = front->frontmostApplication();
            const auto windows = front->onScreenWindows();
            if (step.id.isEmpty()) return !running && windows && windows->isEmpty();
            return running && running->applicationId == step.id && running->processId == step.pid &&
                   windows && windows->size() == 1 && windows->first().title == step.title;
        };
        QDeadlineTimer deadline(5000);
        while (!shows() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(shows()) << step.story;
        EXPECT_EQ(activations, step.activations) << step.story;
    }
}

} // namespace
} // namespace sm::sway
