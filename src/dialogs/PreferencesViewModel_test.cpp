#include "support/PreferencesFixture.h"

#include <QFile>

#include <gtest/gtest.h>

namespace sm {
namespace {

constexpr double kDay = 86400.0;

class PreferencesModel : public ::testing::Test, protected test::PreferencesFixture {};

TEST_F(PreferencesModel, StaleRowCountsTagsUnseenForMoreThanAWeek) {
    struct Case {
        QList<double> ages;
        QString text;
        QString deleted;
    };
    const Case cases[] = {
        {{0, 6 * kDay, 7 * kDay}, "", ""}, // exactly seven days is not stale yet
        {{8 * kDay, kDay}, "1 tag not seen in 7+ days", "deleteStale t0"},
        {{9 * kDay, 0, 30 * kDay}, "2 tags not seen in 7+ days", "deleteStale t0,t2"},
    };
    for (const auto& c : cases) {
        for (const auto& tag : QList<SpaceTag>(store->tags()))
            store->removeTag(tag.id, QStringLiteral("test"));
        calls.clear();
        for (int i = 0; i < c.ages.size(); ++i)
            addTag(QStringLiteral("t%1").arg(i), i, c.ages[i]);
        EXPECT_EQ(model->staleRowText(), c.text);
        model->deleteStaleTags();
        EXPECT_EQ(calls.join(';'), c.deleted);
    }
}

TEST_F(PreferencesModel, DuplicatesToastSaysWhatWasFoundAndIsForgottenOnTheNextShow) {
    for (const auto& [found, text] : {std::pair{0, "No duplicates detected on this desktop."},
                                      std::pair{2, "Removed 2 duplicate tag(s)."}}) {
        duplicatesFound = found;
        model->removeDuplicates();
        EXPECT_EQ(model->duplicatesRemovedToast(), text);
    }
    refresh();
    EXPECT_EQ(model->duplicatesRemovedToast(), "");
}

TEST_F(PreferencesModel, FontSizeAndMagnificationGoToTheMainScreenOrElseGlobal) {
    for (const bool hasId : {true, false}) {
        model->resetSettingsToDefaults();
        mainScreen = hasId ? std::optional(kMainScreen) : std::nullopt;
        const int before = settingsWrites();
        model->setFontSizeHere(120);
        model->setMagnifyScaleHere(4.5);
        const AppSettings& s = store->settings();
        EXPECT_EQ(settingsWrites(), before + 2);
        EXPECT_EQ(s.perScreen.value(kMainScreen).fontSize, hasId ? std::optional(120.0) : std::nullopt);
        EXPECT_EQ(s.perScreen.value(kMainScreen).magnifyScale, hasId ? std::optional(4.5) : std::nullopt);
        EXPECT_EQ(s.fontSize, hasId ? 64.0 : 120.0);
    }
}

TEST_F(PreferencesModel, ResetToDefaultsClearsCensusAndPerScreenOverridesButNotTags) {
    addTag("Mail", 0);
    store->updateSettings([](AppSettings& s) {
        s.baseOpacity = 0.8;
        s.setFontSize(90, kMainScreen, kMainScreen);
        s.recordScreenCensus({{kMainScreen, "Built-in", 1440, 900}}, 1.0);
    });
    const int before = settingsWrites();
    model->resetSettingsToDefaults();
    EXPECT_EQ(store->settings(), AppSettings());
    EXPECT_EQ(settingsWrites(), before + 1);
    EXPECT_EQ(store->tags().size(), 1);
}

TEST_F(PreferencesModel, ReassignRowsLeaveOutTombstonesAndNumberByStoredIndex) {
    addTag("Code", 3);
    addTag("", 1, 0, true);
    addTag("Mail", 0);
    addTag("Chat", 3);
    QStringList rows;
    for (const auto& row : model->reassignRows())
        rows << row.number + " " + row.title;
    EXPECT_EQ(rows, (QStringList{"#1 Mail", "#4 Code", "#4 Chat"}));
}

TEST_F(PreferencesModel, ShowLogFilesRevealsTheTraceFilesOrOpensTheirFolder) {
    model->showLogFiles();
    EXPECT_EQ(files->opened, QStringList{traceDir.path()});
    QFile current(traceLog->traceFilePath());
    ASSERT_TRUE(current.open(QIODevice::WriteOnly));
    current.close();
    model->showLogFiles();
    EXPECT_EQ(files->revealed, QList<QStringList>{{traceLog->traceFilePath()}});
}

TEST_F(PreferencesModel, LaunchAtLoginShowsWhatTheDesktopHas) {
    struct Case {
        LoginItemStatus status;
        bool shown;
        bool approvalRow;
    };
    for (const auto& c :
         {Case{LoginItemStatus::enabled, true, false}, Case{LoginItemStatus::notRegistered, false, false},
          Case{LoginItemStatus::requiresApproval, false, true}}) {
        loginStatus = c.status;
        refresh();
        EXPECT_EQ(model->launchAtLoginOn(), c.shown);
        EXPECT_EQ(model->showsApprovalRow(), c.approvalRow);
    }
    model->setLaunchAtLogin(true); // refused while the session keeps it off
    EXPECT_FALSE(model->launchAtLoginOn());
    EXPECT_TRUE(model->showsApprovalRow());
}

TEST_F(PreferencesModel, AFailedSaveIsLoggedAndTheWindowKeepsWorking) {
    defaults->setFailWrites(true);
    model->set(&AppSettings::baseOpacity, 0.6);
    model->setDiagnosticsLogging(true);
    EXPECT_EQ(model->baseOpacityCaption(), "Visible: 60%");
    EXPECT_TRUE(model->diagnosticsLogging());
    EXPECT_EQ(logs.log->messages().filter("Could not save the diagnostics log switch").size(), 1);
}

TEST_F(PreferencesModel, UnavailableRowsFollowTheirCausesAndLeaveTheChoiceStored) {
    using Limits = PreferencesViewModel::Limits;
    struct Case {
        const char* desktop;
        Limits limits;
        QStringList rows;
    };
    const Case cases[] = {
        {"X11 with everything", {}, {}},
        {"sway", {"on Wayland a program sees the keyboard only while it has it", true, false}, {"ctrl", "windowNames"}},
        {"X11 without XInput 2", {"the X server has no XInput 2", true, true}, {"ctrl"}},
        {"no speech engine", {{}, false, true}, {"speech"}},
        {"engine installed again", {}, {}},
    };
    model->set(&AppSettings::visibilityMode, VisibilityMode::onCtrl);
    model->set(&AppSettings::speakSpaceNameOnChange, true);
    model->set(&AppSettings::windowNameGuessing, WindowNameGuessing::anyApp);
    Limits now;
    model->setLimits([&] { return now; });
    for (const auto& c : cases) {
        now = c.limits;
        QStringList rows;
        for (const auto& row : model->unavailableRows())
            rows << row.identifier;
        EXPECT_EQ(rows, c.rows) << c.desktop;
        const AppSettings& s = store->settings();
        EXPECT_EQ(s.visibilityMode, VisibilityMode::onCtrl) << c.desktop;
        EXPECT_TRUE(s.speakSpaceNameOnChange) << c.desktop;
        EXPECT_EQ(s.windowNameGuessing, WindowNameGuessing::anyApp) << c.desktop;
    }
    now = {"no XInput 2", false, true};
    const auto rows = model->unavailableRows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_TRUE(rows[0].text.contains("no XInput 2"));
    EXPECT_TRUE(rows[1].text.contains("speech-dispatcher-espeak-ng")) << "names the package that brings an engine";
}

} // namespace
} // namespace sm
