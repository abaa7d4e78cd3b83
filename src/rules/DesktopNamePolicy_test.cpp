#include "rules/DesktopNamePolicy.h"

#include <gtest/gtest.h>

using namespace sm;
using namespace sm::DesktopNamePolicy;

namespace {

// What the window manager shows now, given what was there and what Spacemarquee wrote: its own names
// come back wherever the written name still stands; whatever someone else put there stays.
TEST(DesktopNamePolicy, OwnNamesGiveBackOnlyWhatIsStillOurs) {
    const struct {
        const char* name;
        QStringList current;
        Record record;
        QStringList own;
        bool overwritten;
    } rows[] = {
        // clang-format off
        {"nothing written", {"1", "Music"}, {}, {"1", "Music"}, false},
        {"titles stand", {"Mail", "2", "Code"}, {{"1", "2", "3"}, {"Mail", "2", "Code"}}, {"1", "2", "3"}, false},
        {"renamed an untitled desktop", {"Mail", "Chat"}, {{"1", "2"}, {"Mail", "2"}}, {"1", "Chat"}, false},
        {"a title replaced", {"1", "2", "3"}, {{"1", "2"}, {"Mail", "2"}}, {"1", "2", "3"}, true},
        {"a desktop removed", {"Mail", "2"}, {{"1", "2", "3"}, {"Mail", "2", "Code"}}, {"1", "2"}, false},
        {"titles beyond its names go", {"1", "", "Code"}, {{"1"}, {"1", "", "Code"}}, {"1"}, false},
        {"a titled workspace went away", {"", "1", ""}, {{"", "1", "2"}, {"", "1", "2: Mail"}}, {"", "1", ""}, false},
        {"a gap before a foreign name stays", {"1", "", "Code", "X"}, {{"1"}, {"1", "", "Code"}}, {"1", "", "", "X"}, false},
        // clang-format on
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ownNames(r.current, r.record), r.own) << r.name;
        EXPECT_EQ(titleOverwritten(r.current, r.record), r.overwritten) << r.name;
    }
}

TEST(DesktopNamePolicy, TitlesNameTheirDesktopsAndTheRestKeepTheirOwn) {
    EXPECT_EQ(namesToWrite({"1", "2", "3"}, {{0, " Mail "}, {2, "  "}}), QStringList({"Mail", "2", "3"}));
    EXPECT_EQ(namesToWrite({"1"}, {{2, "Code"}, {-1, "Bad"}}), QStringList({"1", "", "Code"}));
}

TEST(DesktopNamePolicy, GenericNamesAreNumbersAndDesktopOrWorkspaceN) {
    for (const char* name :
         {"", " ", "3", "desktop 1", "Desktop 12", "Workspace 4", "workspace4", " DESKTOP 2 "})
        EXPECT_TRUE(isGeneric(QString::fromUtf8(name))) << name;
    for (const char* name : {"Mail", "2: web", "Desktop", "Workspace 2 (work)", "Büro 1"})
        EXPECT_FALSE(isGeneric(QString::fromUtf8(name))) << name;
}

TEST(DesktopNamePolicy, TheChosenPartOfANameLeavesOutAWorkspaceNumber) {
    const std::pair<const char*, const char*> rows[] = {
        {"2: Web", "Web"}, {"2:Web", "Web"}, {" 10 :  Chat ", "Chat"}, {"2: 3", ""},
        {"2", ""},         {"Mail", "Mail"}, {"Desktop 2", ""},        {"Room 2: B", "Room 2: B"},
    };
    for (const auto& [name, chosen] : rows)
        EXPECT_EQ(chosenPart(QString::fromUtf8(name)), QString::fromUtf8(chosen)) << name;
}

TEST(DesktopNamePolicy, StoredRecordReadsBackAndRejectsWhatItCannotRead) {
    const Record record{{"1", "Büro"}, {"Mail", "Büro"}};
    EXPECT_EQ(decode(encode(record)), record);
    for (const char* bad : {"", "[]", R"({"original":["1"]})", R"({"original":["1"],"written":[2]})"})
        EXPECT_FALSE(decode(bad)) << bad;
}

} // namespace
