#pragma once

#include <QString>

namespace sm {

// A directory only this user can enter, for files other local users must neither read nor plant
// links in (the trace log). Either `path` is set, or `error` says why no such directory is available.
struct PrivateDirectory {
    QString path;
    QString error;

    bool isUsable() const { return !path.isEmpty(); }

    // "$XDG_RUNTIME_DIR/spacemarquee" when the runtime directory is usable (absolute, ours, 0700),
    // else "/tmp/spacemarquee-<uid>".
    static QString standardPath();
    static QString standardPathFor(const QString& runtimeDirectory);

    // Creates `path` with mode 0700 if it is missing, then accepts it only as a real directory (not a
    // symlink) owned by this user with no group or other access. An existing directory that fails
    // the check is refused, never repaired: someone else may have made it.
    static PrivateDirectory ensure(const QString& path);
    static PrivateDirectory ensureStandard() { return ensure(standardPath()); }
};

} // namespace sm
