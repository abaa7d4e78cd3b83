#include "platform/kwin/KWinWindowServer.h"

#include "platform/kwin/KWinScript.h"
#include "platform/kwin/KWinWorkspace.h"
#include "platform/linux/LogindWakeWatcher.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QScreen>

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cmath>

namespace sm::kwin {

namespace {
const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kDesktopsPath = QStringLiteral("/VirtualDesktopManager");
const QString kDesktopsInterface = QStringLiteral("org.kde.KWin.VirtualDesktopManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
const QUuid kScreenNamespace(QStringLiteral("{0c6f2b8e-3f57-4d0c-9a51-7d2b1e9c4a63}"));
const QString kLabelPrefix = QStringLiteral("Spacemarquee label ");
const QString kEditorPrefix = QStringLiteral("Spacemarquee editor ");
constexpr int kCallTimeoutMs = 2000;
constexpr const char* kDesktopSignals[] = {"desktopCreated", "desktopRemoved", "desktopDataChanged", "countChanged"};

QDBusMessage kwinCall(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kKWin, path, interface, method);
    m.setArguments(arguments);
    return m;
}

// "Spacemarquee label 12 (3)": window 12, placement 3. KWin may add " <2>" to a caption another window
// shares.
std::optional<std::pair<quint64, quint64>> serialIn(const QString& caption) {
    static const QRegularExpression pattern(
        QStringLiteral("^Spacemarquee (label|editor) (\\d+) \\((\\d+)\\)"));
    const auto match = pattern.match(caption);
    if (!match.hasMatch()) return std::nullopt;
    bool ok = false, okGeneration = false;
    const quint64 serial = match.captured(2).toULongLong(&ok);
    const quint64 generation = match.captured(3).toULongLong(&okGeneration);
    return ok && okGeneration ? std::optional(std::pair(serial, generation)) : std::nullopt;
}
} // namespace

// The object the script calls. Its methods take plain types; anything else is refused.
class KWinWindowServer::Bridge final : public QDBusVirtualObject {
public:
    explicit Bridge(KWinWindowServer& server) : server_(server) {}

    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"%1\">"
                              "<method name=\"Placement\"><arg type=\"s\" direction=\"in\"/><arg type=\"i\" "
                              "direction=\"in\"/>"
                              "<arg type=\"s\" direction=\"out\"/></method>"
                              "<method name=\"Report\"><arg type=\"s\" direction=\"in\"/><arg type=\"i\" "
                              "direction=\"in\"/>"
                              "<arg type=\"s\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/><arg "
                              "type=\"i\" direction=\"in\"/>"
                              "<arg type=\"i\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/><arg "
                              "type=\"i\" direction=\"in\"/></method>"
                              "<method name=\"Retitled\"><arg type=\"s\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/></method>"
                   "<method name=\"Echo\"/>"
                              "<method name=\"Closed\"><arg type=\"s\" direction=\"in\"/><arg type=\"i\" "
                              "direction=\"in\"/></method>"
                              "<method name=\"Activated\"><arg type=\"s\" direction=\"in\"/><arg type=\"s\" "
                              "direction=\"in\"/>"
                              "<arg type=\"s\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/></method>"
                              "</interface>")
            .arg(QLatin1String(kBridgeInterface));
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String(kBridgeInterface)) return false;
        const QVariantList a = message.arguments();
        const auto text = [&](int i) { return a.value(i).toString().left(1024); };
        const auto number = [&](int i) { return a.value(i).toLongLong(); };
        const QString member = message.member();
        QVariantList reply;
        if (member == QLatin1String("Placement") && a.size() == 2)
            reply << server_.placement(text(0), number(1));
        else if (member == QLatin1String("Report") && a.size() == 8)
            server_.report(text(0), number(1), text(2), static_cast<int>(number(3)),
                           QRect(static_cast<int>(number(4)), static_cast<int>(number(5)),
                                 static_cast<int>(number(6)), static_cast<int>(number(7))));
        else if (member == QLatin1String("Closed") && a.size() == 2)
            server_.closed(text(0), number(1));
        else if (member == QLatin1String("Retitled") && a.size() == 2)
            server_.workspace_->retitled(text(0), number(1));
        else if (member == QLatin1String("Echo") && a.isEmpty())
            ; // the script's way back to its own loop
        else if (member == QLatin1String("Activated") && a.size() == 4)
            server_.activated(text(0), text(1), text(2), number(3));
        else {
            connection.send(
                message.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("not understood")));
            return true;
        }
        connection.send(message.createReply(reply));
        return true;
    }

private:
    KWinWindowServer& server_;
};

void KWinSignals::currentChanged(const QString& id) {
    server_.currentChanged(id);
}

void KWinSignals::desktopsMayHaveChanged(const QDBusMessage&) {
    server_.readDesktops();
}

std::shared_ptr<KWinWindowServer> KWinWindowServer::create(const Options& options, QString* error) {
    std::shared_ptr<KWinWindowServer> server(new KWinWindowServer(options));
    QString problem;
    if (!server->start(&problem)) {
        options.logger.error(problem);
        if (error) *error = problem;
        return nullptr;
    }
    std::weak_ptr<KWinWindowServer> weak = server;
    server->wake_ = std::make_unique<LogindWakeWatcher>(options.logger, [weak] {
        if (auto self = weak.lock()) self->didWake.emit();
    });
    return server;
}

KWinWindowServer::KWinWindowServer(Options options)
    : options_(std::move(options)), pid_(::getpid()), bus_(QDBusConnection::sessionBus()) {}

KWinWindowServer::~KWinWindowServer() {
    // Let go of KWin's signals now: left to the receiver's destruction, the bus drops them later, by the
    // receiver's address, which the next server's receiver may have taken by then.
    if (signals_) {
        bus_.disconnect(kKWin, kDesktopsPath, kDesktopsInterface, QStringLiteral("currentChanged"), signals_.get(),
                        SLOT(currentChanged(QString)));
        for (const char* name : kDesktopSignals)
            bus_.disconnect(kKWin, kDesktopsPath, kDesktopsInterface, QLatin1String(name), signals_.get(),
                            SLOT(desktopsMayHaveChanged(QDBusMessage)));
    }
    unloadScript();
    if (bridge_) {
        bus_.unregisterObject(QLatin1String(kBridgePath));
        bus_.unregisterService(QLatin1String(kService));
    }
    for (auto* state : panels_)
        state->panel = nullptr;
}

bool KWinWindowServer::start(QString* error) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        *error = QStringLiteral("The KWin backend needs Qt's wayland platform, but the toolkit runs on '%1'.")
                     .arg(QGuiApplication::platformName());
        return false;
    }
    if (!bus_.isConnected()) {
        *error = QStringLiteral("The KWin backend needs the session bus: ") + bus_.lastError().message();
        return false;
    }
    context_ = std::make_unique<QObject>();
    signals_ = std::make_unique<KWinSignals>(*this);
    bus_.connect(kKWin, kDesktopsPath, kDesktopsInterface, QStringLiteral("currentChanged"), signals_.get(),
                 SLOT(currentChanged(QString)));
    for (const char* name : kDesktopSignals)
        bus_.connect(kKWin, kDesktopsPath, kDesktopsInterface, QLatin1String(name), signals_.get(),
                     SLOT(desktopsMayHaveChanged(QDBusMessage)));

    const QDBusMessage reply =
        bus_.call(kwinCall(kDesktopsPath, kProperties, QStringLiteral("GetAll"), {kDesktopsInterface}),
                  QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        *error = QStringLiteral("KWin does not answer on the session bus: ") + reply.errorMessage();
        return false;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().first());
    const auto desktops = kwin::readDesktops(properties.value(QStringLiteral("desktops")));
    if (!desktops) {
        *error = QStringLiteral("KWin's virtual desktops could not be read");
        return false;
    }
    desktops_ = *desktops;
    current_ = properties.value(QStringLiteral("current")).toString();

    workspace_ = std::make_shared<KWinWorkspace>();
    bridge_ = std::make_unique<Bridge>(*this);
    if (!bus_.registerVirtualObject(QLatin1String(kBridgePath), bridge_.get())) {
        *error =
            QStringLiteral("The bridge for KWin's script cannot be served: ") + bus_.lastError().message();
        bridge_.reset();
        return false;
    }
    if (!bus_.registerService(QLatin1String(kService))) {
        *error = QStringLiteral("The name %1 is taken on the session bus: ").arg(QLatin1String(kService)) +
                 bus_.lastError().message();
        return false;
    }
    const auto follow = [this](QScreen* screen) {
        QObject::connect(screen, &QScreen::geometryChanged, context_.get(),
                         [this] { screensChanged.emit(); });
    };
    for (QScreen* screen : QGuiApplication::screens())
        follow(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, context_.get(), [this, follow](QScreen* screen) {
        follow(screen);
        screensChanged.emit();
    });
    QObject::connect(qApp, &QGuiApplication::screenRemoved, context_.get(),
                     [this] { screensChanged.emit(); });
    return loadScript(error);
}

// The script is written where only this user can write, then loaded under a fixed name: a copy left
// loaded by a program that died is replaced.
bool KWinWindowServer::loadScript(QString* error) {
    const QString dir = options_.scriptDirectory.isEmpty() ? QDir::tempPath() : options_.scriptDirectory;
    const QString path = QDir(dir).filePath(QStringLiteral("kwin-script.js"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(kScriptSource) < 0 || !file.commit()) {
        *error = QStringLiteral("The KWin script cannot be written to %1: %2").arg(path, file.errorString());
        return false;
    }
    const QString name = QLatin1String(kScriptName);
    bus_.call(kwinCall(QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"), {name}),
              QDBus::Block, kCallTimeoutMs);
    const QDBusMessage loaded = bus_.call(
        kwinCall(QStringLiteral("/Scripting"), kScripting, QStringLiteral("loadScript"), {path, name}),
        QDBus::Block, kCallTimeoutMs);
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0) {
        *error = QStringLiteral("KWin did not load the script %1: %2").arg(path, loaded.errorMessage());
        return false;
    }
    scriptLoaded_ = true;
    bus_.call(kwinCall(QStringLiteral("/Scripting"), kScripting, QStringLiteral("start")), QDBus::NoBlock);
    return true;
}

void KWinWindowServer::unloadScript() {
    if (!scriptLoaded_) return;
    scriptLoaded_ = false;
    bus_.call(kwinCall(QStringLiteral("/Scripting"), kScripting, QStringLiteral("unloadScript"),
                       {QLatin1String(kScriptName)}),
              QDBus::Block, kCallTimeoutMs);
}

// KWin activates a window when it maps it, and goes to the window's desktop to do so: a window of ours
// ordered in just before the user left its desktop would pull them back when it maps. Such a switch,
// back to that desktop before KWin reported the window, is undone; the user goes where they went.
void KWinWindowServer::currentChanged(const QString& id) {
    lastSwitch_ = std::chrono::steady_clock::now();
    if (id == current_) return;
    const QString left = current_;
    bool pulledBack = false;
    for (auto* s : panels_) {
        if (!s->orderedIn || s->mapped) continue;
        if (s->shownOn == left) s->leftBeforeMapped = true;
        if (s->shownOn == id && std::exchange(s->leftBeforeMapped, false)) pulledBack = true;
    }
    current_ = id;
    recompute(true);
    if (pulledBack && !left.isEmpty()) {
        SM_TRACE(options_.logger, QStringLiteral("kwin SWITCH-UNDONE to=%1 back=%2").arg(id, left));
        if (const Desktop* d = desktopById(left)) switchTo(*placeOn(d));
    }
}

void KWinWindowServer::readDesktops() {
    const QDBusMessage reply = bus_.call(kwinCall(kDesktopsPath, kProperties, QStringLiteral("Get"),
                                                  {kDesktopsInterface, QStringLiteral("desktops")}),
                                         QDBus::Block, kCallTimeoutMs);
    const auto desktops = reply.type() == QDBusMessage::ReplyMessage
                              ? kwin::readDesktops(reply.arguments().value(0))
                              : std::nullopt;
    if (!desktops) {
        options_.logger.error(QStringLiteral("KWin's virtual desktops could not be read: ") +
                              reply.errorMessage());
        return;
    }
    const QStringList before = desktopNames();
    QSet<QString> gone;
    for (const auto& d : desktops_)
        gone.insert(d.id);
    for (const auto& d : *desktops)
        gone.remove(d.id);
    desktops_ = *desktops;
    // A name KWin echoes back is ours; any other change of a name is someone else's.
    bool foreign = false;
    for (const auto& d : desktops_) {
        const auto it = namesSet_.constFind(d.id);
        if (it != namesSet_.constEnd() && *it == d.name) {
            namesSet_.erase(it);
            continue;
        }
        const int i = static_cast<int>(&d - desktops_.constData());
        if (i >= before.size() || before[i] != d.name) foreign = true;
    }
    for (auto* s : panels_)
        if (s->panel && gone.contains(s->desktopId)) s->panel->desktopRemoved.emit();
    recompute(false);
    if (foreign) desktopNamesChanged.emit();
}

void KWinWindowServer::recompute(bool desktopChanged) {
    std::vector<quint64> changed;
    for (auto* s : panels_) {
        const bool onActive = s->bound && s->desktopId == current_;
        const bool shown = onActive && s->orderedIn && s->mapped;
        if (onActive != s->onActiveSpace || shown != s->visible) changed.push_back(s->serial);
        s->onActiveSpace = onActive;
        s->visible = shown;
    }
    if (desktopChanged) activeDesktopChanged.emit();
    for (const quint64 serial : changed) { // observers may remove panels: look each one up again
        const auto it =
            std::find_if(panels_.begin(), panels_.end(), [&](auto* s) { return s->serial == serial; });
        if (it != panels_.end() && (*it)->panel) (*it)->panel->visibilityChanged.emit();
    }
}

// --- The bridge ---

PanelState* KWinWindowServer::stateForCaption(const QString& caption, qint64 pid) const {
    if (pid != pid_) return nullptr;
    const auto serial = serialIn(caption);
    if (!serial) return nullptr;
    for (auto* s : panels_)
        if (s->serial == serial->first) return s;
    return nullptr;
}

QString KWinWindowServer::placement(const QString& caption, qint64 pid) {
    PanelState* s = stateForCaption(caption, pid);
    if (!s || !s->orderedIn) return QStringLiteral("{\"known\":false}");
    const Desktop* d = desktopById(s->desktopId);
    const bool focus = std::exchange(s->focusWanted, false);
    return QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("known"), true},
                                                       {QStringLiteral("desktop"), s->desktopId},
                                                       {QStringLiteral("number"), d ? d->position + 1 : 0},
                                                       {QStringLiteral("x"), s->frame.x()},
                                                       {QStringLiteral("y"), s->frame.y()},
                                                       {QStringLiteral("width"), s->frame.width()},
                                                       {QStringLiteral("height"), s->frame.height()},
                                                       {QStringLiteral("alpha"), s->alpha},
                                                       {QStringLiteral("focus"), focus}})
                                 .toJson(QJsonDocument::Compact));
}

void KWinWindowServer::report(const QString& caption, qint64 pid, const QString& desktopId, int number,
                              const QRect& frame) {
    PanelState* s = stateForCaption(caption, pid);
    if (!s || !s->orderedIn) return;
    s->mapped = true;
    // KWin 5 scripts see a window's desktop as a number; the id is looked up here.
    QString desktop = desktopId;
    if (desktop.isEmpty() && number > 0 && number <= desktops_.size()) desktop = desktops_[number - 1].id;
    s->placedOn = desktop;
    s->reportedFrame = frame;
    Panel* panel = s->panel;
    // A report written before the latest placement was read says where the window was, not where it is
    // going: only a current one can tell of a move by KWin or the user.
    const bool current = serialIn(caption)->second == s->generation;
    const bool moved = current && frame.topLeft() != s->frame.topLeft() && !frame.isEmpty();
    if (moved) { // the user dragged it, or KWin kept it inside the screen
        s->frame.moveTopLeft(frame.topLeft());
        if (s->window) s->window->move(s->frame.topLeft());
    }
    recompute(false);
    if (moved && panel) panel->moved.emit();
}

void KWinWindowServer::closed(const QString& caption, qint64 pid) {
    PanelState* s = stateForCaption(caption, pid);
    if (!s) return;
    s->mapped = false;
    recompute(false);
}

void KWinWindowServer::activated(const QString& caption, const QString& resourceClass,
                                 const QString& desktopFile, qint64 pid) {
    workspace_->activated(caption, resourceClass, desktopFile, pid);
}

// --- Panels ---

void KWinWindowServer::adopt(PanelState& state) {
    state.serial = nextSerial_++;
    panels_.push_back(&state);
}

void KWinWindowServer::forget(PanelState& state) {
    std::erase(panels_, &state);
}

QString KWinWindowServer::titleOf(const PanelState& state) const {
    return (state.takesFocus ? kEditorPrefix : kLabelPrefix) + QString::number(state.serial) +
           QStringLiteral(" (%1)").arg(state.generation);
}

bool KWinWindowServer::shown(PanelState& state) {
    if (!state.bound) {
        state.desktopId = current_;
        state.bound = true;
    }
    state.orderedIn = true;
    state.mapped = false;
    state.shownOn = current_;
    state.leftBeforeMapped = false;
    recompute(false);
    return true;
}

void KWinWindowServer::hidden(PanelState& state) {
    state.orderedIn = false;
    state.mapped = false;
    recompute(false);
}

void KWinWindowServer::place(PanelState& state) {
    if (!state.orderedIn || !state.window) return;
    ++state.generation;
    state.window->setWindowTitle(titleOf(state));
}

// KWin blends the window with the opacity the script sets. An animation rings for a new placement only
// in steps of a tenth, and at its ends, so a fade costs a handful of round trips, not one per frame.
void KWinWindowServer::applyAlpha(PanelState& state) {
    applyInput(state);
    const double alpha = state.alpha;
    const double rung = state.rungAlpha;
    if (std::abs(alpha - rung) >= 0.1 || ((alpha <= 0.0 || alpha >= 1.0) && alpha != rung)) {
        state.rungAlpha = alpha;
        place(state);
    }
}

// A label that ignores the pointer, or is faded out entirely, takes no input.
void KWinWindowServer::applyInput(PanelState& state) {
    if (state.window) state.window->letPointerThrough(state.ignoresInput || state.alpha <= 0.0);
}

// The script gives the window the keyboard with the next placement it reads: one rung for now when the
// window is shown already, else the first one it reads for the new window.
void KWinWindowServer::focus(PanelState& state) {
    state.focusWanted = true;
    place(state);
}

const Desktop* KWinWindowServer::desktopById(const QString& id) const {
    for (const auto& d : desktops_)
        if (d.id == id) return &d;
    return nullptr;
}

PanelState* KWinWindowServer::stateOf(const Panel& panel) const {
    for (auto* s : panels_)
        if (s->panel == &panel) return s;
    return nullptr;
}

std::optional<QString> KWinWindowServer::desktopOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    if (!s || !s->bound) return std::nullopt;
    return s->desktopId;
}

std::shared_ptr<Workspace> KWinWindowServer::workspace() const {
    return workspace_;
}

std::optional<std::pair<QString, QRect>> KWinWindowServer::reportedPlace(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    if (!s || !s->mapped) return std::nullopt;
    return std::pair(s->placedOn, s->reportedFrame);
}

// --- Places and names ---

// KWin's desktops span every screen: a desktop's place is on the primary screen, known by its id, which
// stays with it when desktops are reordered or added before it.
std::optional<DesktopPlace> KWinWindowServer::placeOn(const Desktop* desktop) const {
    if (!desktop) return std::nullopt;
    const auto screen = screenInfo(0);
    if (!screen || !screen->stableId) return std::nullopt;
    return DesktopPlace{*screen->stableId, static_cast<int>(desktop - desktops_.constData()), desktop->name,
                        desktop->id};
}

std::optional<DesktopPlace> KWinWindowServer::placeOf(const Panel& panel) const {
    const PanelState* s = stateOf(panel);
    return s && s->bound ? placeOn(desktopById(s->desktopId)) : std::nullopt;
}

std::optional<DesktopPlace> KWinWindowServer::activePlace() const {
    return placeOn(desktopById(current_));
}

// By id; a place remembered without one (another backend's) by its number.
const Desktop* KWinWindowServer::desktopOfPlace(const DesktopPlace& place) const {
    if (!place.desktopId.isEmpty()) return desktopById(place.desktopId);
    return place.desktop >= 0 && place.desktop < desktops_.size() ? &desktops_[place.desktop] : nullptr;
}

std::optional<DesktopPlace> KWinWindowServer::locate(const DesktopPlace& place) const {
    return placeOn(desktopOfPlace(place));
}

void KWinWindowServer::bindToPlace(Panel& panel, const DesktopPlace& place) {
    PanelState* s = stateOf(panel);
    const Desktop* desktop = desktopOfPlace(place);
    if (!s || s->bound || !desktop) return;
    s->bound = true;
    s->desktopId = desktop->id;
}

// KWin's `current` property takes a desktop's id; its currentChanged says when the switch is made.
QString KWinWindowServer::switchTo(const DesktopPlace& place) {
    const Desktop* desktop = desktopOfPlace(place);
    if (!desktop) return QStringLiteral("that desktop no longer exists");
    bus_.call(kwinCall(kDesktopsPath, kProperties, QStringLiteral("Set"),
                       {kDesktopsInterface, QStringLiteral("current"), QVariant::fromValue(QDBusVariant(desktop->id))}),
              QDBus::NoBlock);
    return {};
}

QStringList KWinWindowServer::desktopNames() const {
    QStringList names;
    for (const auto& d : desktops_)
        names << d.name;
    return names;
}

void KWinWindowServer::setDesktopNames(const QStringList& names) {
    for (int i = 0; i < names.size() && i < desktops_.size(); ++i) {
        if (desktops_[i].name == names[i]) continue;
        namesSet_.insert(desktops_[i].id, names[i]);
        desktops_[i].name = names[i];
        bus_.call(kwinCall(kDesktopsPath, kDesktopsInterface, QStringLiteral("setDesktopName"),
                           {desktops_[i].id, names[i]}),
                  QDBus::NoBlock);
    }
}

// --- Screens and geometry ---

std::optional<ScreenInfo> KWinWindowServer::screenInfo(int index) const {
    const QList<QScreen*> all = QGuiApplication::screens();
    if (index < 0 || index >= all.size()) return std::nullopt;
    const QScreen* screen = all[index];
    ScreenInfo info;
    info.displayNumber = static_cast<quint32>(index + 1);
    QString key = QStringList{screen->manufacturer(), screen->model(), screen->serialNumber()}.join(u'|');
    if (screen->serialNumber().isEmpty()) key += u'|' + screen->name(); // nothing else tells twins apart
    info.stableId = QUuid::createUuidV5(kScreenNamespace, key).toString(QUuid::WithoutBraces).toUpper();
    info.localizedName = screen->name();
    info.frame = toLogical(screen->geometry());
    return info;
}

std::optional<ScreenInfo> KWinWindowServer::screenOf(const PanelState& state) const {
    const QList<QScreen*> all = QGuiApplication::screens();
    for (int i = 0; i < all.size(); ++i)
        if (all[i]->geometry().contains(state.frame.center())) return screenInfo(i);
    return screenInfo(0);
}

QList<ScreenInfo> KWinWindowServer::screens() const {
    QList<ScreenInfo> list;
    for (int i = 0; i < QGuiApplication::screens().size(); ++i)
        if (auto info = screenInfo(i)) list << *info;
    return list;
}

std::optional<ScreenInfo> KWinWindowServer::mainScreen() const {
    return screenInfo(0);
}

// The logic's origin is the bottom left of the primary screen, y up; KWin's the top left, y down.
QRectF KWinWindowServer::toLogical(const QRect& global) const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const double bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0.0;
    return {static_cast<double>(global.x()), bottom - global.y() - global.height(),
            static_cast<double>(global.width()), static_cast<double>(global.height())};
}

QRect KWinWindowServer::toLayout(const QRectF& logical) const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const double bottom = primary ? primary->geometry().y() + primary->geometry().height() : 0.0;
    return QRectF(logical.x(), bottom - logical.y() - logical.height(), logical.width(), logical.height())
        .toAlignedRect();
}

QString sessionProblem() {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral("WAYLAND_DISPLAY is not set: this is not a Wayland session.");
    // sd-bus rather than Qt's bus: no application object exists yet.
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return QStringLiteral("There is no session bus to reach KWin on.");
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int owned = 0;
    const int r =
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "NameHasOwner", &error, &reply, "s", "org.kde.KWin");
    if (r >= 0) sd_bus_message_read(reply, "b", &owned);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_flush_close_unref(bus);
    return owned ? QString() : QStringLiteral("KWin does not answer on the session bus.");
}

} // namespace sm::kwin
