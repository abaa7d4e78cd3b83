#include "app/UrlCommand.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

using K = UrlCommand::Kind;

TEST(UrlCommand, ParsesCommandsAndTurnsAwayEverythingElse) {
    struct Row {
        QByteArray raw;
        K kind;
        QString command;
        QString title;
    };
    const Row rows[] = {
        {"spacemarquee://set-current-tag?title=Mail", K::setCurrentTag, "set-current-tag", "Mail"},
        {"SPACEMARQUEE://SET-CURRENT-TAG?title=Mail", K::setCurrentTag, "set-current-tag", "Mail"},
        {"spacemarquee://set-current-tag", K::setCurrentTag, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?other=1", K::setCurrentTag, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=", K::setCurrentTag, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=Caf%C3%A9%20%26%20Bar", K::setCurrentTag, "set-current-tag",
         "Café & Bar"},
        {"spacemarquee://set-current-tag?title=a+b", K::setCurrentTag, "set-current-tag", "a+b"},
        {"spacemarquee://set-current-tag?title=%F0%9F%93%A7", K::setCurrentTag, "set-current-tag", "📧"},
        // Typed into a shell: raw spaces, letters and signs mean themselves.
        {"spacemarquee://set-current-tag?title=My Desk", K::setCurrentTag, "set-current-tag", "My Desk"},
        {" spacemarquee://set-current-tag?title=Café|<Bar> \n", K::setCurrentTag, "set-current-tag",
         "Café|<Bar>"},
        {"spacemarquee://CLEAR-current-tag", K::clearCurrentTag, "clear-current-tag", ""},
        {"spacemarquee://go?title=Code%20review", K::goTo, "go", "Code review"},
        {"spacemarquee://GO?title=Café Bar", K::goTo, "go", "Café Bar"},
        {"spacemarquee://go", K::rejected, "go", ""},          // nowhere to go
        {"spacemarquee://go?title=%20", K::rejected, "go", ""},
        {"spacemarquee://go?title=a%0Ab", K::rejected, "go", ""},
        {"spacemarquee://reboot?title=x", K::unknown, "reboot", ""},
        {"spacemarquee:set-current-tag", K::unknown, "", ""},
        {"http://set-current-tag?title=Mail", K::notOurs, "", ""},
        {"spacemarquee-evil://set-current-tag", K::notOurs, "", ""},
        {"", K::notOurs, "", ""},
        {"not a url at all", K::notOurs, "", ""},
        {"spacemarquee://set-current-tag?title=%ZZ", K::notOurs, "", ""},
        {"spacemarquee://set-current-tag?title=%E", K::notOurs, "", ""},
        {"spacemarquee://set-current-tag?title=%FF%FE", K::rejected, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=a%0Ab", K::rejected, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=a%00b", K::rejected, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=a%E2%80%A8b", K::rejected, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=a\x01", K::rejected, "set-current-tag", ""},
        {"spacemarquee://set-current-tag?title=a\xFF", K::rejected, "set-current-tag", ""},
    };
    for (const auto& r : rows) {
        const auto c = UrlCommand::parse(r.raw);
        EXPECT_EQ(c.kind, r.kind) << r.raw.toStdString();
        EXPECT_EQ(c.command, r.command) << r.raw.toStdString();
        EXPECT_EQ(c.title, r.title) << r.raw.toStdString();
        // The sender is told why a command was refused.
        EXPECT_EQ(c.reason.isEmpty(),
                  r.kind == K::setCurrentTag || r.kind == K::clearCurrentTag || r.kind == K::goTo);
    }
}

TEST(UrlCommand, BoundsTheAcceptedSize) {
    const QByteArray head = "spacemarquee://set-current-tag?title=";
    const QByteArray fits = head + QByteArray(UrlCommand::kMaxBytes - head.size(), 'a');
    EXPECT_EQ(UrlCommand::parse(fits).title.size(), UrlCommand::kMaxBytes - head.size());
    EXPECT_EQ(UrlCommand::parse(fits + 'a').kind, K::tooLong);
    EXPECT_EQ(UrlCommand::parse(head + QByteArray(1 << 20, 'a')).kind, K::tooLong);
}

} // namespace
} // namespace sm
