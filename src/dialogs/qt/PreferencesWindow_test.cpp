#include "support/PreferencesFixture.h"
#include "dialogs/qt/FormWidgets.h"
#include "dialogs/qt/PreferencesWindow.h"
#include "dialogs/qt/QtWindowPresenter.h"
#include "dialogs/qt/ReassignTagsSheet.h"
#include "dialogs/qt/WelcomeWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace sm {
namespace {

class PreferencesWindowTest : public ::testing::Test, protected test::PreferencesFixture {
protected:
    PreferencesWindowTest() { window->show(); }

    template <class W> W* find(const QString& name) const {
        W* w = window->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QSlider* slider(const QString& name) const { return find<ValueSlider>(name)->slider(); }
    ScreenLayout here() const { return store->settings().perScreen.value(kMainScreen); }

    std::unique_ptr<PreferencesWindow> window = std::make_unique<PreferencesWindow>(model);
};

TEST_F(PreferencesWindowTest, EachControlWritesItsFieldAndSavesOnce) {
    struct Row {
        QString control;
        Qt::Key key; // every control is worked from the keyboard
        std::function<bool(const AppSettings&)> written;
    };
    const QList<Row> rows = {
        {"autoCreateOnNewSpace", Qt::Key_Space, [](auto& s) { return !s.autoCreateOnNewSpace; }},
        {"syncPositionsAcrossSpaces", Qt::Key_Space, [](auto& s) { return !s.syncPositionsAcrossSpaces; }},
        {"speakSpaceNameOnChange", Qt::Key_Space, [](auto& s) { return s.speakSpaceNameOnChange; }},
        {"shareDesktopNames", Qt::Key_Space, [](auto& s) { return !s.shareDesktopNames; }},
        {"magnifyWhenUnfocused", Qt::Key_Space, [](auto& s) { return s.magnifyWhenUnfocused; }},
        {"windowNameGuessing", Qt::Key_End,
         [](auto& s) { return s.windowNameGuessing == WindowNameGuessing::anyApp; }},
        {"visibilityMode.onCtrl", Qt::Key_Space,
         [](auto& s) { return s.visibilityMode == VisibilityMode::onCtrl; }},
        {"fontSize", Qt::Key_Home, [this](auto&) { return here().fontSize == 20.0; }},
        {"magnifyScale", Qt::Key_End, [this](auto&) { return here().magnifyScale == 10.0; }},
        {"speechRate", Qt::Key_End, [](auto& s) { return s.speechRate == 1.0; }},
        {"speechVolume", Qt::Key_End, [](auto& s) { return s.speechVolume == 1.0; }},
        {"baseOpacity", Qt::Key_End, [](auto& s) { return s.baseOpacity == 1.0; }},
        {"ctrlBoostOpacity", Qt::Key_Home, [](auto& s) { return s.ctrlBoostOpacity == 0.0; }},
        {"onChangeDurationSec", Qt::Key_Home, [](auto& s) { return s.onChangeDurationSec == 0.5; }},
        {"magnifyOpacity", Qt::Key_Home, [](auto& s) { return s.magnifyOpacity == 0.0; }},
    };
    for (const auto& row : rows) {
        QWidget* control = window->findChild<QWidget*>(row.control);
        ASSERT_NE(control, nullptr) << row.control.toStdString();
        if (auto* value = dynamic_cast<ValueSlider*>(control)) control = value->slider();
        const int before = settingsWrites();
        QTest::keyClick(control, row.key);
        EXPECT_TRUE(row.written(store->settings())) << row.control.toStdString();
        EXPECT_EQ(settingsWrites(), before + 1) << row.control.toStdString();
    }
    EXPECT_EQ(find<QLabel>("fontSizeCaption")->text(), "Current on this screen: 20 pt");
    EXPECT_EQ(find<QLabel>("durationCaption")->text(), "Visible for 0.5 seconds after desktop change");
}

TEST_F(PreferencesWindowTest, HandEditedOutOfRangeValuesShowSanitized) {
    defaults->setValue(TagStore::kSettingsKey,
                       QByteArray(R"({"fontSize":500,"baseOpacity":-1,"onChangeDurationSec":0.1,
                                     "perScreen":{"AAAAAAAA-0000-4000-8000-000000000001":{"magnifyScale":0.2}}})"));
    mainScreen.reset();
    store->load();
    EXPECT_EQ(slider("baseOpacity")->value(), 0);
    EXPECT_EQ(slider("onChangeDurationSec")->value(), 0);
    EXPECT_EQ(find<QLabel>("fontSizeCaption")->text(), "Current on this screen: 200 pt");
    mainScreen = kMainScreen;
    window->sync();
    EXPECT_EQ(find<QLabel>("magnifyScaleCaption")->text(), "Inactive size on this screen: 1.0x");
}

TEST_F(PreferencesWindowTest, ReassignSheetRenamesWhileTypingAndShowsTheEmptyState) {
    const SpaceTag mail = addTag("Mail", 0);
    addTag("", 1, 0, true);
    addTag("Code", 3);
    window->openReassignSheet();
    ReassignTagsSheet* sheet = window->reassignSheet();
    auto fields = sheet->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    QLineEdit* first = fields[0];
    first->setFocus();
    QTest::keyClicks(first, "ly");
    EXPECT_EQ(calls, (QStringList{"rename Maill", "rename Mailly"}));
    EXPECT_EQ(sheet->findChildren<QLineEdit*>().first(), first); // the field kept its place while typing
    QTest::keyClick(sheet, Qt::Key_Escape);                      // closing keeps what was typed
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(store->tag(mail.id)->title, "Mailly");

    window->openReassignSheet();
    for (int i = 0; i < 2; ++i) {
        sheet->findChildren<QToolButton*>().first()->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_EQ(store->tags().size(), 1); // the tombstone stays, and is never listed
    EXPECT_TRUE(sheet->findChild<QLabel*>("emptyState")->isVisible());
    EXPECT_TRUE(sheet->findChildren<QLineEdit*>().isEmpty());
}

TEST_F(PreferencesWindowTest, EscapeAndTheDefaultButtonsCloseTheWindows) {
    QtWindowPresenter presenter;
    presenter.showPreferences(model);
    PreferencesWindow* prefs = presenter.preferencesWindow();
    ASSERT_TRUE(prefs->isVisible());
    presenter.showPreferences(model);
    EXPECT_EQ(presenter.preferencesWindow(), prefs); // one window, brought to the front
    QTest::keyClick(prefs, Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(presenter.preferencesWindow(), nullptr); // closed is gone, its memory with it
    presenter.showPreferences(model);
    ASSERT_NE(presenter.preferencesWindow(), nullptr);
    EXPECT_TRUE(presenter.preferencesWindow()->isVisible());

    presenter.showWelcome();
    WelcomeWindow* welcome = presenter.welcomeWindow();
    ASSERT_TRUE(welcome->isVisible());
    QTest::keyClick(welcome, Qt::Key_Return);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(presenter.welcomeWindow(), nullptr);

}

// Help text blends the surroundings' text and background; blending its own palette again on each
// change once faded it into the background.
TEST(HelpLabel, StaysReadableThroughPaletteChanges) {
    QWidget parent;
    auto* help = new HelpLabel("help", &parent);
    for (const auto& [text, back] : {std::pair{Qt::black, Qt::white}, std::pair{Qt::white, Qt::black}}) {
        for (int i = 0; i < 3; ++i) {
            QPalette p;
            p.setColor(QPalette::WindowText, text);
            p.setColor(QPalette::Window, back);
            parent.setPalette(p);
        }
        const int shade = help->palette().color(QPalette::WindowText).red();
        EXPECT_EQ(shade, text == Qt::black ? 85 : 170);
    }
}

TEST_F(PreferencesWindowTest, UnavailableRowsShowWhileTheirCauseLasts) {
    PreferencesViewModel::Limits now;
    model->setLimits([&] { return now; });
    const QStringList all{"ctrl", "speech", "windowNames", "backend"};
    const std::pair<PreferencesViewModel::Limits, QStringList> cases[] = {
        {{"no XInput 2", false, false, "GNOME bridge missing"}, all},
        {{{}, false, true}, {"speech"}},
        {{}, {}},
    };
    for (const auto& [limits, shown] : cases) {
        now = limits;
        model->changed.emit();
        for (const QString& id : all)
            EXPECT_EQ(!find<QWidget>("unavailable." + id)->isHidden(), shown.contains(id))
                << id.toStdString() << " with " << shown.join(',').toStdString();
    }
}

TEST(WelcomeWindowText, NamesTheTrayOnlyWhenOneWasFound) {
    struct Case {
        bool trayShown;
        const char* says;
        const char* never;
    };
    const Case cases[] = {
        {true, "lives in your system tray", "spacemarquee preferences"},
        {false, "start Spacemarquee again", "lives in your system tray"},
    };
    for (const auto& c : cases) {
        WelcomeWindow welcome(c.trayShown);
        QString text;
        for (const QLabel* label : welcome.findChildren<QLabel*>())
            text += label->text() + u'\n';
        EXPECT_TRUE(text.contains(QLatin1String(c.says))) << text.toStdString();
        EXPECT_FALSE(text.contains(QLatin1String(c.never))) << text.toStdString();
    }
}

} // namespace
} // namespace sm

// The widgets need one application for the whole run, made before and destroyed after every test.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
