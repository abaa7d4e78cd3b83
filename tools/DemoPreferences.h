#pragma once
// A preferences view model over an in-memory store with a few tags, for the window tools.

#include "model/TagStore.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "dialogs/PreferencesViewModel.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace sm::tools {

struct DemoPreferences {
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<ManualMainQueue> clock = std::make_shared<ManualMainQueue>();
    std::shared_ptr<TagStore> store = std::make_shared<TagStore>(defaults, clock, Logger{});
    std::shared_ptr<PreferencesViewModel> model;

    DemoPreferences() {
        const struct {
            const char* title;
            int index;
            double age;
            bool tombstone;
        } tags[] = {{"Mail", 0, 0, false},
                    {"", 1, 0, true},
                    {"Code — spacemarquee", 2, 0, false},
                    {"Music", 3, 0, false},
                    {"Old project", 4, 9 * 86400.0, false}};
        for (const auto& t : tags) {
            SpaceTag tag;
            tag.id = QUuid::createUuid();
            tag.title = QString::fromUtf8(t.title);
            tag.displayIndex = t.index;
            tag.lastSeenAt = clock->now() - t.age;
            tag.isTombstone = t.tombstone;
            store->addTag(tag, QStringLiteral("demo"));
        }
        model = std::make_shared<PreferencesViewModel>(PreferencesViewModel::Services{
            store,
            defaults,
            clock,
            TraceLog::memoryOnly(false),
            nullptr,
            [] { return std::optional<QString>(QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001")); },
            {}});
        PreferencesViewModel::Callbacks callbacks;
        callbacks.onRemoveDuplicates = [] { return 2; };
        callbacks.onRenameTag = [this](QUuid id, QString title) { store->renameTag(id, title); };
        callbacks.launchAtLoginStatus = [] { return LoginItemStatus::requiresApproval; };
        model->refresh(callbacks, 1);
    }
};

// Fusion with a dark palette, as a user with a dark Qt theme sees the windows.
inline void useDarkStyle() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xe6, 0xe6, 0xe6);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    QApplication::setPalette(p);
}

} // namespace sm::tools
