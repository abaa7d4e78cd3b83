#include "platform/sway/SwayWorkspace.h"

#include "platform/sway/SwayIpcClient.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <unistd.h>

namespace sm::sway {

namespace {
constexpr qsizetype kMaxTitleCharacters = 256;

bool isBidiControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}
} // namespace

std::shared_ptr<SwayWorkspace> SwayWorkspace::create(const Options& options, QString* error) {
    std::shared_ptr<SwayWorkspace> workspace(new SwayWorkspace(options));
    const QString socket =
        options.socketPath.isEmpty() ? qEnvironmentVariable("SWAYSOCK") : options.socketPath;
    workspace->ipc_ = std::make_unique<SwayIpcClient>(
        SwayIpcClient::Options{socket, options.logger, {ipc::WindowEvent, ipc::WorkspaceEvent}, {}});
    QString problem;
    if (!workspace->ipc_->open(&problem)) {
        problem = QStringLiteral("Automatic naming sees no windows: ") + problem;
        options.logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    auto* raw = workspace.get();
    workspace->ipc_->onEvent = [raw](quint32 type, const QByteArray& payload) {
        raw->handleEvent(type, payload);
    };
    workspace->ipc_->onConnected = [raw] { raw->readTree(); };
    workspace->readTree();
    if (const auto app = workspace->frontmostApplication())
        workspace->lastActive_ = std::pair(app->applicationId, app->processId);
    return workspace;
}

SwayWorkspace::SwayWorkspace(Options options) : options_(std::move(options)) {}

SwayWorkspace::~SwayWorkspace() = default;

void SwayWorkspace::readTree() {
    const auto tree = ipc_->request(ipc::GetTree);
    if (!tree) return;
    QString error;
    focusMoved(parseFocusedView(*tree, &error));
    if (!error.isEmpty())
        options_.logger.error(QStringLiteral("sway IPC: the tree could not be read (%1)").arg(error));
}

void SwayWorkspace::handleEvent(quint32 type, const QByteArray& payload) {
    QString change;
    QString error;
    if (type == ipc::WorkspaceEvent) {
        // A workspace without a window to focus (empty, or holding only a label) takes the focus with
        // no window event: the tree tells whether a window has it.
        if (parseEvent(payload, &error).value_or(EventInfo{}).change == QLatin1String("focus")) readTree();
        return;
    }
    if (type != ipc::WindowEvent) return;
    const auto view = parseWindowEvent(payload, &change, &error);
    if (!view) {
        options_.logger.error(QStringLiteral("sway IPC: a window event could not be read (%1)").arg(error));
        readTree();
        return;
    }
    if (change == QLatin1String("focus")) {
        focusMoved(view);
    } else if (front_ && front_->id == view->id) {
        if (change == QLatin1String("close"))
            front_.reset(); // the next window's focus event follows
        else
            front_ = view; // "title", and what else sway tells of the window in front
    }
}

// Only a change of application is an activation: focus moving between one program's windows is not.
void SwayWorkspace::focusMoved(std::optional<ViewInfo> view) {
    front_ = std::move(view);
    const auto app = frontmostApplication();
    if (!app) return;
    const auto identity = std::pair(app->applicationId, app->processId);
    if (lastActive_ == identity) return;
    lastActive_ = identity;
    applicationActivated.emit();
}

std::optional<RunningApplication> SwayWorkspace::frontmostApplication() const {
    if (!front_) return std::nullopt;
    RunningApplication app;
    app.applicationId = sanitizedTitle(front_->appId.isEmpty() ? front_->wmClass : front_->appId);
    app.processId = front_->pid;
    if (app.processId == ::getpid()) app.applicationId = ownApplicationId();
    app.localizedName = app.applicationId;
    return app;
}

QString SwayWorkspace::ownApplicationId() const {
    QString id = QGuiApplication::desktopFileName();
    if (id.endsWith(QLatin1String(".desktop"))) id.chop(8);
    return id.isEmpty() ? QCoreApplication::applicationName() : id;
}

std::optional<QList<WindowListEntry>> SwayWorkspace::onScreenWindows() const {
    QList<WindowListEntry> list;
    if (front_) {
        WindowListEntry entry;
        if (front_->pid > 0) entry.ownerProcessId = front_->pid;
        entry.layer = kNormalWindowLayer;
        entry.title = sanitizedTitle(front_->title);
        list << entry;
    }
    return list;
}

QString SwayWorkspace::sanitizedTitle(const QString& title) {
    QString out;
    out.reserve(std::min(title.size(), kMaxTitleCharacters));
    for (const char32_t c : title.toUcs4()) {
        if (isBidiControl(c)) continue;
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
        const QString piece = control ? QStringLiteral(" ") : QString::fromUcs4(&c, 1);
        if (out.size() + piece.size() > kMaxTitleCharacters) break;
        out += piece;
    }
    return out;
}

} // namespace sm::sway
