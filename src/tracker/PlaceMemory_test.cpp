// Names that come back on their desktops after a restart: sessions on the simulated desktop that share
// one settings store, as one user's logins do.
#include "core/CoreServices.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/sim/SimDesktop.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

constexpr quint32 kMain = 1;
const QString kScreen = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");

// One run of the program on a desktop with `desktops` desktops, the user on `current`.
struct Session {
    Session(std::shared_ptr<ManualMainQueue> sharedQueue, const std::shared_ptr<MemoryDefaults>& defaults,
            int desktops, int current, bool asLoginItem = false)
        : queue(std::move(sharedQueue)) {
        desktop->attachScreen(
            {kMain, kScreen, QStringLiteral("Built-in Display"), QRectF(0, 0, 1440, 900), desktops});
        desktop->switchDesktop(kMain, current);
        queue->drain();
        core = CoreServices::create({desktop, nullptr, nullptr, nullptr, defaults, queue, logs.loggers});
        store = core->store();
        tracker = core->tracker();
        restored = core->start(asLoginItem);
        queue->advance(0.3);
    }
    void quit() { core->stop(); }
    // Switches and waits past the time-out and the quiet period, so a new desktop gets its label.
    void switchTo(int index) {
        desktop->switchDesktop(kMain, index);
        queue->advance(6.0);
    }
    void name(const QString& title) { tracker->setTitleForCurrentSpace(title, true); }
    // The title of each desktop's label, "" for none, "(tombstone)" for an invisible anchor.
    QStringList labels() const {
        QStringList out(*desktop->desktopCount(kMain));
        for (const auto* panel : desktop->labelPanels()) {
            const auto tag = store->tag(panel->tagId());
            const auto home = desktop->desktopOf(*panel);
            if (tag && home) out[home->index] = tag->isTombstone ? QStringLiteral("(tombstone)") : tag->title;
        }
        return out;
    }
    QStringList restorable() const {
        QStringList out;
        for (const auto& r : tracker->restorableTitles())
            out << r.title;
        return out;
    }
    QString active() const {
        const auto id = tracker->queryActiveTagId();
        return id ? store->tag(*id)->title : QString();
    }

    std::shared_ptr<ManualMainQueue> queue;
    test::TestLoggers logs;
    std::shared_ptr<SimDesktop> desktop = std::make_shared<SimDesktop>(queue);
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<TagStore> store;
    std::shared_ptr<SpaceTracker> tracker;
    int restored = 0;
};

class PlaceMemoryStory : public ::testing::Test {
protected:
    // The first session names desktops 0-2 and leaves 3 unnamed, then quits on desktop 0.
    void firstSession(int desktops = 4) {
        Session s(queue, defaults, desktops, 0);
        const QStringList names = {"Mail", "Code", "Chat"};
        for (int d = 0; d < 3; ++d) {
            s.switchTo(d);
            s.name(names[d]);
        }
        s.switchTo(0);
        tagsAfterFirst = s.store->tags().size();
        s.quit();
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    qsizetype tagsAfterFirst = 0;
};

TEST_F(PlaceMemoryStory, NamesAreBackOnTheirDesktopsAtOnceAndNoTagIsMinted) {
    for (const bool loginItem : {false, true}) { // a launch at login rides out its grace, yet restores
        SCOPED_TRACE(loginItem ? "at login" : "by hand");
        defaults = std::make_shared<MemoryDefaults>();
        firstSession();
        Session s(queue, defaults, 4, 1, loginItem);
        EXPECT_EQ(s.restored, 3);
        EXPECT_EQ(s.labels(), (QStringList{"Mail", "Code", "Chat", ""}));
        EXPECT_EQ(s.active(), "Code"); // adopted within 0.3 s, no time-out waited for
        s.switchTo(2);
        EXPECT_EQ(s.active(), "Chat");
        EXPECT_EQ(s.store->tags().size(), tagsAfterFirst);
        EXPECT_TRUE(s.restorable().isEmpty());
    }
}

TEST_F(PlaceMemoryStory, AGoneDesktopLeavesItsNameRestorableAndGetsItBackWhenTheDesktopReturns) {
    firstSession();
    Session s(queue, defaults, 2, 0); // "Chat" lived on desktop 2
    EXPECT_EQ(s.labels(), (QStringList{"Mail", "Code"}));
    EXPECT_EQ(s.restorable(), QStringList{"Chat"});
    s.desktop->addDesktop(kMain);
    s.switchTo(2);
    EXPECT_EQ(s.labels(), (QStringList{"Mail", "Code", "Chat"}));
    EXPECT_EQ(s.active(), "Chat");
    EXPECT_EQ(s.store->tags().size(), tagsAfterFirst);
}

TEST_F(PlaceMemoryStory, OfTwoNamesRememberedForOneDesktopTheLatestSeenWins) {
    firstSession();
    {
        // A copy of "Code" remembered on desktop 0 too, but seen earlier than "Mail".
        Session s(queue, defaults, 4, 0);
        SpaceTag twin = *s.store->tag(s.tracker->queryActiveTagId().value());
        twin.id = QUuid::createUuid();
        twin.title = QStringLiteral("Old mail");
        twin.lastSeenAt -= 100;
        s.store->addTag(twin, QStringLiteral("test"));
        s.quit();
        QByteArray places = std::get<QByteArray>(*defaults->value(PlaceMemory::kPlacesKey));
        places.replace("]}", ",{\"tag\":\"" + twin.id.toString(QUuid::WithoutBraces).toUpper().toUtf8() +
                                 "\",\"screen\":\"" + kScreen.toUtf8() + "\",\"desktop\":0,\"name\":\"\"}]}");
        defaults->setValue(PlaceMemory::kPlacesKey, places);
    }
    Session s(queue, defaults, 4, 0);
    EXPECT_EQ(s.labels(), (QStringList{"Mail", "Code", "Chat", ""}));
    EXPECT_EQ(s.restorable(), QStringList{"Old mail"});
}

TEST_F(PlaceMemoryStory, ADeletedLabelKeepsItsDesktopUnlabelledAcrossRestarts) {
    firstSession();
    {
        Session s(queue, defaults, 4, 1);
        s.tracker->deleteTagFromContextMenu(s.tracker->queryActiveTagId().value());
        s.switchTo(0);
        s.quit();
    }
    Session s(queue, defaults, 4, 0);
    s.switchTo(1);
    EXPECT_EQ(s.labels(), (QStringList{"Mail", "(tombstone)", "Chat", ""}));
    EXPECT_EQ(s.active(), "");
    EXPECT_EQ(s.store->tags().size(), tagsAfterFirst);
}

TEST_F(PlaceMemoryStory, AnUnreadableRecordIsKeptAsideAndTheLaunchGoesOn) {
    firstSession();
    defaults->setValue(PlaceMemory::kPlacesKey, QByteArray("{not json"));
    Session s(queue, defaults, 4, 0);
    EXPECT_EQ(s.restored, 0);
    EXPECT_EQ(defaults->keys().filter(PlaceMemory::kPlacesKey + ".unreadable-").size(), 1);
    s.switchTo(1); // the desktop starts fresh, its stored name restorable by hand
    EXPECT_EQ(s.store->tags().size(), tagsAfterFirst + 1);
}

} // namespace
} // namespace sm
