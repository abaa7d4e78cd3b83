#include "model/TagStore.h"

#include "model/ModelJson.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <variant>

using namespace sm;

namespace {

constexpr Date kNow = 800000000.0; // 2026-05-09 06:13:20 UTC
const QUuid kA = QUuid::fromString(QStringLiteral("AAAAAAAA-1111-4111-8111-111111111111"));
const QUuid kB = QUuid::fromString(QStringLiteral("BBBBBBBB-2222-4222-8222-222222222222"));
const QUuid kC = QUuid::fromString(QStringLiteral("CCCCCCCC-3333-4333-8333-333333333333"));

SpaceTag makeTag(const QUuid& id, const QString& title, std::optional<QString> screen = std::nullopt,
                 bool owned = false, bool tombstone = false, Date seen = 100) {
    SpaceTag t;
    t.id = id, t.title = title, t.screenIdentifier = std::move(screen);
    t.isUserOwned = owned, t.isTombstone = tombstone, t.lastSeenAt = seen;
    return t;
}

struct StoreTest : ::testing::Test {
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<ManualMainQueue> clock = std::make_shared<ManualMainQueue>(kNow);
    test::TestLoggers logs;

    std::unique_ptr<TagStore> open() {
        return std::make_unique<TagStore>(defaults, clock, logs.loggers.storage);
    }
    // A ("Mail" on SCREEN-ONE) and B (untitled, no screen); logs cleared.
    std::unique_ptr<TagStore> openWithTwoTags() {
        defaults->setValue(
            TagStore::kTagsKey,
            *ModelJson::encodeTags({makeTag(kA, "Mail", "SCREEN-ONE"), makeTag(kB, "")}).value);
        auto store = open();
        logs.log->clear();
        return store;
    }
    QStringList errors() const {
        QStringList out;
        for (const auto& e : logs.log->entries)
            if (e.level == LogLevel::Error) out << e.message;
        return out;
    }
};

} // namespace

TEST_F(StoreTest, LoadWritesOnlyAMissingSchemaAndSanitizesSettings) {
    EXPECT_EQ(open()->settings(), AppSettings());
    EXPECT_EQ(defaults->keys(), QStringList{TagStore::kSchemaKey}) << "a fresh domain gets the schema only";
    EXPECT_EQ(defaults->intValue(TagStore::kSchemaKey), 1);

    defaults = std::make_shared<MemoryDefaults>();
    defaults->setValue(TagStore::kSchemaKey, qint64(5));
    defaults->setValue(TagStore::kSettingsKey, QByteArray(R"({"fontSize":1000,"baseOpacity":-1})"));
    const auto store = open();
    EXPECT_EQ(store->schemaVersion(), 5);
    EXPECT_EQ(defaults->totalWrites(), 2) << "nothing rewritten";
    EXPECT_EQ(store->settings().fontSize, 200);
    EXPECT_EQ(store->settings().baseOpacity, 0);
}

TEST_F(StoreTest, UnreadableDataIsKeptAsideOnceAndSurvivesTheNextSave) {
    const struct {
        QString key;
        DefaultsValue stored;
        const char* reason;
    } cases[] = {
        {TagStore::kTagsKey, QByteArray("[{\"title\":\"Mai"), "not valid JSON"},
        {TagStore::kTagsKey, qint64(42), "stored as a plain value"},
        {TagStore::kSettingsKey, QByteArray(R"({"visibilityMode":"sometimes"})"),
         "visibilityMode: unknown mode"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        defaults = std::make_shared<MemoryDefaults>();
        clock = std::make_shared<ManualMainQueue>(kNow);
        logs.log->clear();
        defaults->setValue(c.key, c.stored);
        const QString copyKey = c.key + ".unreadable-20260509-061320";

        auto store = open();
        EXPECT_TRUE(store->tags().isEmpty());
        EXPECT_EQ(store->settings(), AppSettings());
        EXPECT_EQ(defaults->value(copyKey), c.stored);
        EXPECT_EQ(defaults->value(c.key), c.stored) << "left alone until the first save";
        ASSERT_EQ(errors().size(), 1);
        EXPECT_TRUE(errors()[0].contains(c.reason) && errors()[0].contains(copyKey))
            << errors()[0].toStdString();

        clock->advance(60); // relaunching on the same bytes adds no second copy
        store = open();
        EXPECT_EQ(defaults->keys().filter("unreadable-").size(), 1);

        store->addTag(makeTag(kA, "New"), "manual");
        store->updateSettings([](AppSettings& s) { s.fontSize = 70; });
        EXPECT_NE(defaults->value(c.key), c.stored);
        EXPECT_EQ(defaults->value(copyKey), c.stored);
    }
}

TEST_F(StoreTest, EveryOperationTracesAndSavesAsItShould) {
    const auto onScreen = [](std::optional<QString> s) {
        return [s](SpaceTag& t) { t.screenIdentifier = s; };
    };
    const struct {
        int tagWrites;
        std::function<void(TagStore&)> act;
        QStringList traces;
    } cases[] = {
        // clang-format off
        {1, [](TagStore& s) { s.addTag(makeTag(kC, "Web", "37D8832A-2D66"), "manual-add"); },
            {"store ADD id=CCCCCCCC title='Web' scr=37D8832A reason=manual-add total=3"}},
        {1, [](TagStore& s) { s.addTag(makeTag(kC, ""), "timeout-create"); },
            {"store ADD id=CCCCCCCC title='' scr=nil reason=timeout-create total=3"}},
        {1, [](TagStore& s) { s.removeTag(kA, "context-menu-delete"); },
            {"store REMOVE id=AAAAAAAA title='Mail' reason=context-menu-delete total=1"}},
        {1, [](TagStore& s) { s.removeTag(kC, "eviction"); }, {"store REMOVE id=CCCCCCCC title='?' reason=eviction total=2"}},
        {1, [](TagStore& s) { s.renameTag(kA, "Work"); }, {"store UPDATE id=AAAAAAAA title 'Mail'->'Work' scr SCREEN-O->SCREEN-O"}},
        {1, [](TagStore& s) { s.tombstoneTag(kA); }, {"store UPDATE id=AAAAAAAA title 'Mail'->'' scr SCREEN-O->SCREEN-O"}},
        {0, [&](TagStore& s) { s.updateTag(kB, onScreen("NEWSCREEN")); }, {"store UPDATE id=BBBBBBBB title ''->'' scr nil->NEWSCREE"}},
        {0, [&](TagStore& s) { s.updateTag(kA, onScreen(std::nullopt)); }, {"store UPDATE id=AAAAAAAA title 'Mail'->'Mail' scr SCREEN-O->nil"}},
        {0, [](TagStore& s) { s.setTitleOnly(kA, "Mail"); }, {}},
        {1, [](TagStore& s) { s.toggleUserOwned(kA); }, {}},
        {0, [](TagStore& s) { s.setAutoTitle(kC, "x"); }, {}},
        {1, [](TagStore& s) { s.resetAllPositions(); }, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto store = openWithTwoTags();
        const int writesBefore = defaults->writeCount(TagStore::kTagsKey);
        c.act(*store);
        EXPECT_EQ(logs.log->traces(), c.traces);
        EXPECT_EQ(defaults->writeCount(TagStore::kTagsKey) - writesBefore, c.tagWrites)
            << "written at once: " << c.traces.join("").toStdString();
        clock->advance(TagStore::kDeferredSaveSeconds);
        EXPECT_EQ(ModelJson::decodeTags(*defaults->dataValue(TagStore::kTagsKey)).value, store->tags());
    }
}

TEST_F(StoreTest, OnlyWhatTheProgramObservesForItselfWaitsToBeWritten) {
    using Tag = std::function<void(SpaceTag&)>;
    using Settings = std::function<void(AppSettings&)>;
    const struct {
        bool waits;
        std::variant<Tag, Settings> change;
    } cases[] = {
        // clang-format off
        {true, Tag([](SpaceTag& t) { t.lastSeenAt = kNow, t.screenIdentifier = "SCREEN-TWO", t.position = QPointF(1, 2); })},
        {true, Settings([](AppSettings& s) { s.setSyncedPosition({1, 2}, "NEW", "NEW"), s.screenCensus["S"] = {}; })},
        {false, Tag([](SpaceTag& t) { t.lastSeenAt = kNow, t.title = "Typed"; })},
        {false, Tag([](SpaceTag& t) { t.isUserOwned = true; })},
        {false, Tag([](SpaceTag& t) { t.displayIndex = 3; })},
        {false, Settings([](AppSettings& s) { s.setFontSize(90, "NEW"); })},
        {false, Settings([](AppSettings& s) { s.setSyncedPosition({1, 2}), s.visibilityMode = VisibilityMode::onCtrl; })},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto store = openWithTwoTags();
        const int writesBefore = defaults->totalWrites();
        if (const auto* tag = std::get_if<Tag>(&c.change))
            store->updateTag(kA, *tag);
        else
            store->updateSettings(std::get<Settings>(c.change));
        EXPECT_EQ(defaults->totalWrites() == writesBefore, c.waits) << &c - cases;
        EXPECT_EQ(store->hasUnsavedChanges(), c.waits) << &c - cases;
    }
}

TEST_F(StoreTest, WaitingChangesAreWrittenWithinTheBoundOrWithTheNextUserChange) {
    const auto store = openWithTwoTags();
    const int writes = defaults->totalWrites();
    const auto seen = [&](const QUuid& id) { store->updateTag(id, [](SpaceTag& t) { t.lastSeenAt += 1; }); };
    seen(kA);
    clock->advance(TagStore::kDeferredSaveSeconds - 0.5);
    seen(kB); // does not push the write back
    clock->advance(0.5);
    EXPECT_EQ(defaults->totalWrites(), writes + 1);
    seen(kB);
    store->renameTag(kA, "Typed");
    EXPECT_EQ(open()->tags(), store->tags()) << "the rename carries the waiting change";
    seen(kB);
    store->flush(); // as at quit
    EXPECT_EQ(open()->tags(), store->tags());
    EXPECT_EQ(clock->pendingCount(), 0u);
}

TEST_F(StoreTest, EditsSetTitleOwnershipAndLastSeenAsNamed) {
    const auto a = [](const char* title, bool owned, bool tombstone, Date seen) {
        return makeTag(kA, title, "SCREEN-ONE", owned, tombstone, seen);
    };
    const struct {
        bool ownedBefore;
        std::function<void(TagStore&)> act;
        SpaceTag expected;
    } cases[] = {
        // clang-format off
        {true, [](TagStore& s) { s.setAutoTitle(kA, "vim"); }, a("vim", true, false, kNow)},
        {false, [](TagStore& s) { s.renameTag(kA, "Mine"); }, a("Mine", true, false, kNow)},
        {false, [](TagStore& s) { s.setTitle(kA, "Url", false); }, a("Url", false, false, kNow)},
        {false, [](TagStore& s) { s.setTitle(kA, "Url", true); }, a("Url", true, false, kNow)},
        {false, [](TagStore& s) { s.setTitleOnly(kA, "Only"); }, a("Only", false, false, 100)},
        {true, [](TagStore& s) { s.toggleUserOwned(kA); }, a("Mail", false, false, 100)},
        {true, [](TagStore& s) { s.tombstoneTag(kA); }, a("", false, true, kNow)},
        {false, [](TagStore& s) { s.updateTag(kA, [](SpaceTag& t) { t.id = kC; }); }, a("Mail", false, false, 100)},
        // clang-format on
    };
    for (const auto& c : cases) {
        const auto store = openWithTwoTags();
        store->updateTag(kA, [&](SpaceTag& t) { t.isUserOwned = c.ownedBefore; });
        c.act(*store);
        EXPECT_EQ(store->tag(kA), c.expected) << c.expected.title.toStdString();
    }
}

TEST_F(StoreTest, TwoTagsSharingAnIdRenameTheFirstAndRemoveBoth) {
    const auto store = openWithTwoTags();
    store->addTag(makeTag(kA, "Twin"), "manual");
    store->renameTag(kA, "Renamed");
    EXPECT_EQ(store->tags()[0].title, "Renamed");
    EXPECT_EQ(store->tags()[2].title, "Twin");
    store->removeTag(kA, "duplicates-cleanup");
    EXPECT_EQ(store->tags().size(), 1);
}

TEST_F(StoreTest, ObserversReceiveTheWholeNewValueOncePerChange) {
    const auto store = openWithTwoTags();
    store->updateTag(kA, [](SpaceTag& t) { t.position = QPointF(12.5, 800); });
    store->updateSettings([](AppSettings& s) {
        s.syncedPosition = QPointF(1, 2), s.perScreen["S"] = {90.0, 4.0, QPointF(3, 4)};
    });
    std::vector<QList<SpaceTag>> tags;
    std::vector<AppSettings> settings;
    const auto t = store->subscribeTags([&](const QList<SpaceTag>& v) { tags.push_back(v); });
    const auto s = store->subscribeSettings([&](const AppSettings& v) { settings.push_back(v); });

    store->addTag(makeTag(kC, "Web"), "manual");
    store->renameTag(QUuid(), "nobody"); // no such tag: no change
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0], store->tags());
    EXPECT_EQ(tags[0].size(), 3);
    EXPECT_TRUE(settings.empty());

    store->resetAllPositions();
    ASSERT_EQ(tags.size(), 2u);
    ASSERT_EQ(settings.size(), 1u);
    EXPECT_FALSE(tags[1][0].position);
    EXPECT_FALSE(settings[0].syncedPosition);
    EXPECT_EQ(settings[0].perScreen["S"], (ScreenLayout{90.0, 4.0, std::nullopt})) << "other overrides stay";
    EXPECT_EQ(open()->settings(), settings[0]) << "and are saved";
}

TEST_F(StoreTest, ObserversMayUnsubscribeThemselvesAndOthersDuringAPublication) {
    const auto store = openWithTwoTags();
    int first = 0, second = 0;
    Connection secondSub;
    Connection firstSub = store->subscribeTags([&](const QList<SpaceTag>&) {
        ++first;
        firstSub.disconnect();
        secondSub.disconnect();
    });
    secondSub = store->subscribeTags([&](const QList<SpaceTag>&) { ++second; });
    store->toggleUserOwned(kA);
    store->toggleUserOwned(kA);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
}

TEST_F(StoreTest, FailedSavesAreLoggedEachTimeAndTriedAgainWithTheNextSave) {
    const auto store = openWithTwoTags();
    const auto storedTags = defaults->dataValue(TagStore::kTagsKey);
    store->updateTag(kA,
                     [](SpaceTag& t) { t.position = QPointF(std::numeric_limits<double>::quiet_NaN(), 0); });
    store->flush();
    EXPECT_EQ(defaults->dataValue(TagStore::kTagsKey), storedTags) << "an unencodable tag writes nothing";

    defaults->setFailWrites(true);
    store->addTag(makeTag(kC, "Web"), "manual");
    store->updateTag(kA, [](SpaceTag& t) { t.position.reset(); });
    store->updateSettings([](AppSettings& s) { s.fontSize = 100; });
    const QString notEncoded =
        "Tags not saved (tags[0].position: not a finite number): the stored tags stay as they were";
    EXPECT_EQ(errors(),
              (QStringList{notEncoded, notEncoded,
                           "Could not write Spacemarquee.Tags: the change is kept for this session only",
                           "Could not write Spacemarquee.AppSettings: the change is kept for this "
                           "session only"}));
    EXPECT_EQ(store->tag(kC)->title, "Web");
    EXPECT_EQ(store->settings().fontSize, 100);

    defaults->setFailWrites(false);
    store->flush();
    EXPECT_EQ(open()->tags(), store->tags());
    EXPECT_EQ(open()->settings().fontSize, 100);
}
