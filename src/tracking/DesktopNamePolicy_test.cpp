#include "tracking/DesktopNamePolicy.h"

#include <gtest/gtest.h>

using namespace sm;
using namespace sm::DesktopNamePolicy;

namespace {

QStringList L(std::initializer_list<const char*> names) {
    QStringList out;
    for (const char* n : names)
        out << QString::fromUtf8(n);
    return out;
}

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
        {"nothing written", L({"1", "Music"}), {}, L({"1", "Music"}), false},
        {"titles stand",
         L({"Mail", "2", "Code"}),
         {L({"1", "2", "3"}), L({"Mail", "2", "Code"})},
         L({"1", "2", "3"}),
         false},
        {"renamed an untitled desktop",
         L({"Mail", "Chat", "Code"}),
         {L({"1", "2", "3"}), L({"Mail", "2", "Code"})},
         L({"1", "Chat", "3"}),
         false},
        {"the window manager replaced a title",
         L({"1", "2", "3", "4"}),
         {L({"1", "2", "3"}), L({"Mail", "2", "3"})},
         L({"1", "2", "3", "4"}),
         true},
        {"a desktop removed",
         L({"Mail", "2"}),
         {L({"1", "2", "3"}), L({"Mail", "2", "Code"})},
         L({"1", "2"}),
         false},
        {"titles beyond its names go",
         L({"1", "", "Code"}),
         {L({"1"}), L({"1", "", "Code"})},
         L({"1"}),
         false},
        {"a gap before a foreign name stays",
         L({"1", "", "Code", "X"}),
         {L({"1"}), L({"1", "", "Code"})},
         L({"1", "", "", "X"}),
         false},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ownNames(r.current, r.record), r.own) << r.name;
        EXPECT_EQ(titleOverwritten(r.current, r.record), r.overwritten) << r.name;
    }
}

TEST(DesktopNamePolicy, TitlesNameTheirDesktopsAndTheRestKeepTheirOwn) {
    const struct {
        const char* name;
        QStringList own;
        QMap<int, QString> titles;
        QStringList written;
    } rows[] = {
        {"no titles", L({"1", "2"}), {}, L({"1", "2"})},
        {"titled and blank titles", L({"1", "2", "3"}), {{0, " Mail "}, {2, "  "}}, L({"Mail", "2", "3"})},
        {"beyond the names", L({"1"}), {{2, "Code"}, {-1, "Bad"}}, L({"1", "", "Code"})},
    };
    for (const auto& r : rows)
        EXPECT_EQ(namesToWrite(r.own, r.titles), r.written) << r.name;
}

TEST(DesktopNamePolicy, GenericNamesAreNumbersAndDesktopOrWorkspaceN) {
    for (const char* name :
         {"", " ", "3", "desktop 1", "Desktop 12", "Workspace 4", "workspace4", " DESKTOP 2 "})
        EXPECT_TRUE(isGeneric(QString::fromUtf8(name))) << name;
    for (const char* name : {"Mail", "2: web", "Desktop", "Workspace 2 (work)", "Büro 1"})
        EXPECT_FALSE(isGeneric(QString::fromUtf8(name))) << name;
}

TEST(DesktopNamePolicy, StoredRecordReadsBackAndRejectsWhatItCannotRead) {
    const Record record{L({"1", "Büro"}), L({"Mail", "Büro"})};
    EXPECT_EQ(decode(encode(record)), record);
    for (const char* bad : {"", "[]", R"({"original":["1"]})", R"({"original":["1"],"written":[2]})"})
        EXPECT_FALSE(decode(bad)) << bad;
}

} // namespace
