#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace sm::x11 {

// Display names of applications from their desktop entries in the XDG data directories
// (applications/*.desktop): "org.gnome.Terminal" → "Terminal", the WM_CLASS class "XTerm" → "XTerm"
// through StartupWMClass. The directories are read once, at the first lookup; answers are cached.
class DesktopEntryNames {
public:
    // `dataDirs`: searched in order, earlier ones win; empty: $XDG_DATA_HOME then $XDG_DATA_DIRS.
    // `languages`: the Name[...] keys to prefer, most specific first ("de_AT", "de").
    explicit DesktopEntryNames(QStringList dataDirs = {}, QStringList languages = {});

    // The entry named `applicationId` (also in lower case); else the one whose StartupWMClass is
    // `applicationId`; else the one named `instanceName`. None when no entry matches.
    std::optional<QString> nameFor(const QString& applicationId, const QString& instanceName = {});

private:
    struct Entry {
        QString name;
        QString startupWmClass;
    };
    void load();
    std::optional<Entry> readEntry(const QString& path) const;

    QStringList dataDirs_;
    QStringList languages_;
    bool loaded_ = false;
    QHash<QString, Entry> byFileId_;           // desktop file id without ".desktop"
    QHash<QString, QString> byStartupWmClass_; // StartupWMClass → file id
    QHash<QString, std::optional<QString>> answers_;
};

} // namespace sm::x11
