#pragma once

#include <QString>
#include <QStringList>

namespace sm {

// The desktop's file manager, as far as the program needs it: show some files, open a folder.
// Neither call reports failure to the caller; an implementation logs what it could not do.
class FileManager {
public:
    virtual ~FileManager() = default;

    // Shows the files selected in a file manager window; falls back to opening their folder.
    virtual void revealFiles(const QStringList& paths) = 0;
    // Opens the folder with the desktop's default handler for folders.
    virtual void openFolder(const QString& path) = 0;
};

} // namespace sm
