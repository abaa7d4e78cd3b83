#include "dialogs/PreferencesViewModel.h"

#include <QCoreApplication>

#include "model/StaleTagSweeper.h"

#include <cmath>

namespace sm {

namespace {

QString percent(double fraction) {
    return QString::number(std::lround(fraction * 100.0));
}

} // namespace

PreferencesViewModel::PreferencesViewModel(Services services) : services_(std::move(services)) {
    if (auto store = services_.tagStore.lock()) {
        tagsSubscription_ = store->subscribeTags([this](const QList<SpaceTag>&) { changed.emit(); });
        settingsSubscription_ = store->subscribeSettings([this](const AppSettings&) { changed.emit(); });
    }
}

void PreferencesViewModel::refresh(Callbacks callbacks, int refreshToken) {
    callbacks_ = std::move(callbacks);
    refreshToken_ = refreshToken;
    duplicatesRemovedToast_.clear();
    diagnosticsLogging_ =
        services_.defaults && services_.defaults->boolValue(TraceLog::kEnabledKey).value_or(false);
    readLaunchAtLogin();
    changed.emit();
}

AppSettings PreferencesViewModel::settings() const {
    auto store = services_.tagStore.lock();
    return store ? store->settings() : AppSettings();
}

void PreferencesViewModel::updateSettings(const std::function<void(AppSettings&)>& change) {
    if (auto store = services_.tagStore.lock()) store->updateSettings(change);
}

double PreferencesViewModel::fontSizeHere() const {
    const AppSettings s = settings();
    if (const auto id = services_.mainScreenId ? services_.mainScreenId() : std::nullopt)
        return s.perScreen.value(*id).fontSize.value_or(s.fontSize);
    return s.fontSize;
}

void PreferencesViewModel::setFontSizeHere(double size) {
    const auto id = services_.mainScreenId ? services_.mainScreenId() : std::nullopt;
    updateSettings([&](AppSettings& s) { s.setFontSize(size, id, id); });
}

double PreferencesViewModel::magnifyScaleHere() const {
    const AppSettings s = settings();
    if (const auto id = services_.mainScreenId ? services_.mainScreenId() : std::nullopt)
        return s.perScreen.value(*id).magnifyScale.value_or(s.magnifyScale);
    return s.magnifyScale;
}

void PreferencesViewModel::setMagnifyScaleHere(double scale) {
    const auto id = services_.mainScreenId ? services_.mainScreenId() : std::nullopt;
    updateSettings([&](AppSettings& s) { s.setMagnifyScale(scale, id); });
}

void PreferencesViewModel::resetSettingsToDefaults() {
    updateSettings([](AppSettings& s) {
        s = AppSettings();
        s.sanitize();
    });
}

QString PreferencesViewModel::fontSizeCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Current on this screen: %1 pt")
        .arg(std::lround(fontSizeHere()));
}
QString PreferencesViewModel::baseOpacityCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Visible: %1%")
        .arg(percent(settings().baseOpacity));
}
QString PreferencesViewModel::ctrlBoostOpacityCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Boosted: %1%")
        .arg(percent(settings().ctrlBoostOpacity));
}
QString PreferencesViewModel::durationCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Visible for %1 seconds after desktop change")
        .arg(settings().onChangeDurationSec, 0, 'f', 1);
}
QString PreferencesViewModel::magnifyScaleCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Inactive size on this screen: %1x")
        .arg(magnifyScaleHere(), 0, 'f', 1);
}
QString PreferencesViewModel::magnifyOpacityCaption() const {
    return QCoreApplication::translate("PreferencesViewModel", "Inactive opacity: %1%")
        .arg(percent(settings().magnifyOpacity));
}

void PreferencesViewModel::readLaunchAtLogin() {
    launchAtLoginState_ =
        callbacks_.launchAtLoginStatus ? callbacks_.launchAtLoginStatus() : LoginItemStatus::notFound;
    launchAtLoginOn_ = launchAtLoginState_ == LoginItemStatus::enabled;
}

bool PreferencesViewModel::showsApprovalRow() const {
    return launchAtLoginState_ == LoginItemStatus::requiresApproval && !launchAtLoginOn_;
}

void PreferencesViewModel::setLaunchAtLogin(bool on) {
    // The checkbox shows what the desktop has afterwards, not what was asked for.
    launchAtLoginOn_ = callbacks_.onSetLaunchAtLogin ? callbacks_.onSetLaunchAtLogin(on) : false;
    launchAtLoginState_ =
        callbacks_.launchAtLoginStatus ? callbacks_.launchAtLoginStatus() : LoginItemStatus::notFound;
    changed.emit();
}

void PreferencesViewModel::revealLoginItems() {
    if (callbacks_.onRevealLoginItems) callbacks_.onRevealLoginItems();
}

void PreferencesViewModel::removeDuplicates() {
    const int removed = callbacks_.onRemoveDuplicates ? callbacks_.onRemoveDuplicates() : 0;
    duplicatesRemovedToast_ =
        removed > 0
            ? QCoreApplication::translate("PreferencesViewModel", "Removed %1 duplicate tag(s).").arg(removed)
            : QCoreApplication::translate("PreferencesViewModel", "No duplicates detected on this desktop.");
    changed.emit();
}

void PreferencesViewModel::resetAllPositions() {
    if (callbacks_.onResetAllPositions) callbacks_.onResetAllPositions();
}

QList<SpaceTag> PreferencesViewModel::staleTags() const {
    QList<SpaceTag> out;
    auto store = services_.tagStore.lock();
    if (!store || !services_.clock) return out;
    const Date now = services_.clock->now();
    for (const auto& tag : store->tags())
        if (StaleTagSweeper::isStale(tag, now)) out << tag;
    return out;
}

QString PreferencesViewModel::staleRowText() const {
    const auto n = staleTags().size();
    if (n == 0) return {};
    return QStringLiteral("%1 %2 not seen in 7+ days")
        .arg(n)
        .arg(n == 1 ? QCoreApplication::translate("PreferencesViewModel", "tag")
                    : QCoreApplication::translate("PreferencesViewModel", "tags"));
}

void PreferencesViewModel::deleteStaleTags() {
    QList<QUuid> ids;
    for (const auto& tag : staleTags())
        ids << tag.id;
    if (!ids.isEmpty() && callbacks_.onDeleteStaleTags) callbacks_.onDeleteStaleTags(ids);
}

QList<ReassignTags::Row> PreferencesViewModel::reassignRows() const {
    auto store = services_.tagStore.lock();
    return store ? ReassignTags::rows(store->tags()) : QList<ReassignTags::Row>{};
}

void PreferencesViewModel::renameTag(const QUuid& id, const QString& title) {
    if (callbacks_.onRenameTag) callbacks_.onRenameTag(id, title);
}

void PreferencesViewModel::deleteTag(const QUuid& id) {
    if (callbacks_.onDeleteTag) callbacks_.onDeleteTag(id);
}

void PreferencesViewModel::setDiagnosticsLogging(bool on) {
    diagnosticsLogging_ = on;
    if (!services_.defaults || !services_.defaults->setValue(TraceLog::kEnabledKey, on))
        services_.logger.error(QStringLiteral("Could not save the diagnostics log switch: it stays %1 "
                                              "for this session only")
                                   .arg(on ? QStringLiteral("on") : QStringLiteral("off")));
    changed.emit();
}

void PreferencesViewModel::showLogFiles() {
    if (!services_.fileManager || !services_.traceLog) return;
    const QStringList files = services_.traceLog->traceLogFiles();
    if (!files.isEmpty())
        services_.fileManager->revealFiles(files);
    else if (!services_.traceLog->directory().isEmpty())
        services_.fileManager->openFolder(services_.traceLog->directory());
    else
        services_.logger.notice(QStringLiteral("No trace folder to show: this session keeps no trace files"));
}

QList<PreferencesViewModel::Unavailable> PreferencesViewModel::unavailableRows() const {
    const Limits limits = limits_ ? limits_() : Limits{};
    QList<Unavailable> rows;
    if (!limits.backendProblem.isEmpty()) rows.append({QStringLiteral("backend"), limits.backendProblem});
    if (!limits.ctrlUnavailable.isEmpty())
        rows.append({QStringLiteral("ctrl"),
                     QCoreApplication::translate(
                         "PreferencesViewModel",
                         "\"Visible only while Ctrl is held\" cannot work here: %1. The labels show "
                         "on desktop change instead; your choice is kept.")
                         .arg(limits.ctrlUnavailable)});
    if (!limits.speechEngine)
        rows.append({QStringLiteral("speech"),
                     QCoreApplication::translate(
                         "PreferencesViewModel",
                         "Names cannot be spoken: no speech engine is installed. On Debian, "
                         "install speech-dispatcher-espeak-ng (and qt6-speech-speechd-plugin), "
                         "then restart Spacemarquee. Your choice is kept.")});
    if (!limits.frontWindow)
        rows.append({QStringLiteral("windowNames"),
                     QCoreApplication::translate(
                         "PreferencesViewModel",
                         "Guessing desktop names from open windows cannot work here: this desktop "
                         "does not tell Spacemarquee which window is in front. Your choice is "
                         "kept.")});
    return rows;
}

} // namespace sm
