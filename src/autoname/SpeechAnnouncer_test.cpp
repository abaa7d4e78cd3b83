#include "autoname/SpeechAnnouncer.h"
#include "support/sim/RecordingSpeechSynthesizer.h"
#include "support/TestLoggers.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

struct SpeechAnnouncerTest : ::testing::Test {
    SpeechAnnouncerTest() { synth->spoken.clear(); }
    std::shared_ptr<RecordingSpeechSynthesizer> synth = std::make_shared<RecordingSpeechSynthesizer>();
    test::TestLoggers logs;
    SpeechAnnouncer announcer{synth, logs.loggers.tracker, QStringLiteral("en-GB")};
};

// The engine is warmed by one silent utterance in the user's voice, once, when announcements turn on.
TEST(SpeechAnnouncerWarmUp, TurningAnnouncementsOnWarmsTheEngineOnce) {
    struct Case {
        bool onAtLaunch;
        QList<bool> settings; // the setting as each change publishes it
        qsizetype warmUps;
    };
    const Case cases[] = {
        {false, {}, 0},
        {false, {false, true}, 1},
        {false, {true, false, true, true}, 1},
        {true, {false, true}, 1}, // warmed at launch already
    };
    for (const auto& c : cases) {
        auto synth = std::make_shared<RecordingSpeechSynthesizer>();
        SpeechAnnouncer announcer(synth, {}, QStringLiteral("de-DE"), c.onAtLaunch);
        for (const bool on : c.settings)
            announcer.followSetting(on);
        EXPECT_EQ(synth->spoken.size(), c.warmUps) << c.onAtLaunch << " " << c.settings.size();
        for (const auto& u : synth->spoken)
            EXPECT_TRUE(u.text == " " && u.volume == 0.0 && u.voice == "de-DE");
    }
}

TEST_F(SpeechAnnouncerTest, SkipsNothingAndThePlaceholderTrimsAndBounds) {
    struct Row {
        QString title;
        double rate, volume;
        std::optional<Utterance> expected; // none: skipped
    };
    const QList<Row> rows = {
        {"   ", 0.5, 0.2, std::nullopt},
        {"Untitled", 0.5, 0.2, std::nullopt},
        {"UNTITLED", 0.5, 0.2, std::nullopt},
        {" untitled \n", 0.5, 0.2, std::nullopt},
        {"Untitled 2", 0.5, 0.2, Utterance{"Untitled 2", 0.5, double(0.2f), "en-GB"}},
        {"  Inbox  ", 1.7, -0.2, Utterance{"Inbox", 1.0, 0.0, "en-GB"}},
        {"Mail", 0.3, 0.7, Utterance{"Mail", double(0.3f), double(0.7f), "en-GB"}},
    };
    for (const auto& row : rows) {
        synth->spoken.clear();
        announcer.speak(row.title, row.rate, row.volume);
        ASSERT_EQ(synth->spoken.size(), row.expected ? 1 : 0) << row.title.toStdString();
        if (row.expected) {
            const Utterance& u = synth->spoken[0];
            EXPECT_TRUE(u.text == row.expected->text && u.rate == row.expected->rate &&
                        u.volume == row.expected->volume && u.voice == row.expected->voice)
                << row.title.toStdString();
        }
    }
}

TEST_F(SpeechAnnouncerTest, ANewNameCutsOffTheOneBeingSpoken) {
    for (const char* title : {"One", "Two", "Three"})
        announcer.speak(QString::fromLatin1(title), 0.5, 0.2);
    EXPECT_EQ(synth->spoken.size(), 3);
    EXPECT_EQ(synth->interruptions, 3); // the warm-up, One and Two were each still speaking
    EXPECT_TRUE(synth->isSpeaking());   // Three is spoken whole
}

} // namespace
} // namespace sm
