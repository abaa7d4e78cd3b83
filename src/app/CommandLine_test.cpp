#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

using Action = CommandLine::Action;

TEST(CommandLine, ParsesEveryCommandAndRefusesWhatIsNone) {
    const struct {
        QList<QByteArray> args;
        Action action;
        QList<QByteArray> requests;
        bool startsProgram;
    } cases[] = {
        {{}, Action::run, {}, false},
        {{"--login-item"}, Action::run, {}, false},
        {{"--help"}, Action::help, {}, false},
        {{"--version"}, Action::version, {}, false},
        {{"name", "My Mail+1"}, Action::send, {"spacemarquee://set-current-tag?title=My%20Mail%2B1"}, true},
        {{"name", "Bücher"}, Action::send, {"spacemarquee://set-current-tag?title=B%C3%BCcher"}, true},
        {{"name", ""}, Action::send, {"spacemarquee://set-current-tag?title="}, true},
        {{"clear"}, Action::send, {"spacemarquee://clear-current-tag"}, true},
        {{"go", "Code review"}, Action::send, {"spacemarquee://go?title=Code%20review"}, true},
        {{"spacemarquee://go?title=Mail"}, Action::send, {"spacemarquee://go?title=Mail"}, true},
        {{"list"}, Action::send, {"list 1"}, false},
        {{"list", "--json"}, Action::send, {"list-json 1"}, false},
        {{"preferences"}, Action::send, {"preferences"}, true},
        {{"report"}, Action::send, {"report"}, true},
        {{"edit"}, Action::send, {"edit"}, true},
        {{"switch"}, Action::send, {"switch"}, true},
        {{"quit"}, Action::send, {"quit"}, false},
        {{"spacemarquee://set-current-tag?title=My Desk"},
         Action::send,
         {"spacemarquee://set-current-tag?title=My Desk"},
         true},
        // Not a command: usage.
        {{"nmae", "x"}, Action::usage, {}, false},
        {{"--frobnicate"}, Action::usage, {}, false},
        {{"name"}, Action::usage, {}, false},
        {{"name", "a", "b"}, Action::usage, {}, false},
        {{"go"}, Action::usage, {}, false},
        {{"go", "a", "b"}, Action::usage, {}, false},
        {{"clear", "now"}, Action::usage, {}, false},
        {{"list", "--xml"}, Action::usage, {}, false},
        {{"quit", "now"}, Action::usage, {}, false},
        {{"preferences", "x"}, Action::usage, {}, false},
        {{"edit", "Mail"}, Action::usage, {}, false},
        {{"switch", "Mail"}, Action::usage, {}, false},
        {{"--login-item", "clear"}, Action::usage, {}, false},
        // A command with an argument no copy would take: refused before anything starts.
        {{"name", QByteArray(10 * 1024, 'x')}, Action::invalid, {}, false},
        {{"name", "Ev\ail"}, Action::invalid, {}, false},
        {{"name", "tab\there"}, Action::invalid, {}, false},
        {{"name", "\xFF\xFE"}, Action::invalid, {}, false},
        {{"name", "\xC3"}, Action::invalid, {}, false},
        {{"go", " "}, Action::invalid, {}, false},
        {{"go", "a\nb"}, Action::invalid, {}, false},
        {{"spacemarquee://go"}, Action::invalid, {}, false},
        {{"spacemarquee://set-current-tag?title=%ZZ"}, Action::invalid, {}, false},
        {{"spacemarquee://format-disk"}, Action::invalid, {}, false},
        {{"https://example.com"}, Action::invalid, {}, false},
    };
    for (const auto& c : cases) {
        const CommandLine parsed = CommandLine::parse(c.args);
        const std::string label = c.args.join(' ').left(40).toStdString();
        EXPECT_EQ(parsed.action, c.action) << label;
        EXPECT_EQ(parsed.requests, c.requests) << label;
        EXPECT_EQ(parsed.startsProgram, c.startsProgram) << label;
        EXPECT_EQ(parsed.message.isEmpty(), c.action != Action::usage && c.action != Action::invalid)
            << label;
    }
    EXPECT_TRUE(CommandLine::parse({"--login-item"}).loginItem);
    EXPECT_EQ(CommandLine::parse({"name", "\xFF"}).message, "the title is not valid UTF-8");
}

} // namespace
} // namespace sm
