#include "rules/DesktopNameMatch.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

using Kind = DesktopNameMatch::Result::Kind;

TEST(DesktopNameMatch, TiersDecideInOrderAndAnAmbiguousTierNeverFallsThrough) {
    const QStringList names{"Mail", "mail", "Music", "Code", "Code review", "", "Écrits"};
    struct Case {
        const char* name;
        Kind kind;
        QList<int> matches;
    } const cases[] = {
        {"Mail", Kind::found, {0}},            // exact beats the case-blind twin
        {"mail", Kind::found, {1}},
        {"MAIL", Kind::ambiguous, {0, 1}},     // two case-blind matches
        {"Code", Kind::found, {3}},            // exact beats the longer name it begins
        {"code", Kind::found, {3}},            // so does a case-blind whole name
        {"code r", Kind::found, {4}},          // unique prefix
        {"mu", Kind::found, {2}},
        {"m", Kind::ambiguous, {0, 1, 2}},     // prefix shared: candidates in desktop order
        {"  Music ", Kind::found, {2}},        // surrounding space is not part of the name
        {"écr", Kind::found, {6}},             // case folding beyond ASCII
        {"Musicals", Kind::unknown, {}},       // longer than any name
        {"", Kind::unknown, {}},               // never the unnamed desktop
        {"x", Kind::unknown, {}},
    };
    for (const auto& c : cases) {
        const auto result = DesktopNameMatch::match(names, QString::fromUtf8(c.name));
        EXPECT_EQ(result.kind, c.kind) << c.name;
        EXPECT_EQ(result.matches, c.matches) << c.name;
    }
}

} // namespace
} // namespace sm
