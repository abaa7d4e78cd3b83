#pragma once

#include "platform/Workspace.h"

namespace sm {

// A workspace the test sets up; counts how often the window list was read.
class ScriptedWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() const override { return frontmost; }
    QString ownApplicationId() const override { return ownId; }
    std::optional<QList<WindowListEntry>> onScreenWindows() const override {
        ++windowListReads;
        return windows;
    }
    bool canReadWindowTitles() const override { return titlesReadable; }

    // Brings `app` to the front and posts the activation, as the platform does.
    void activate(RunningApplication app) {
        frontmost = std::move(app);
        applicationActivated.emit();
    }

    std::optional<RunningApplication> frontmost;
    QString ownId = QStringLiteral("spacemarquee");
    std::optional<QList<WindowListEntry>> windows = QList<WindowListEntry>{};
    bool titlesReadable = true;
    mutable int windowListReads = 0;
};

} // namespace sm
