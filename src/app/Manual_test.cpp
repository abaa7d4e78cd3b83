#include "app/Manual.h"

#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace sm {
namespace {

// The arguments a table term stands for: placeholders get a value, optional parts are given.
QList<QByteArray> argumentsOf(const char* term) {
    QList<QByteArray> args;
    for (QByteArray word : QByteArray(term).split(' ')) {
        if (word.startsWith('[')) word = word.mid(1).chopped(1);
        if (word == word.toUpper() && word.front() >= 'A' && word.front() <= 'Z') word = "Mail";
        args << word;
    }
    return args;
}

// Every command, link and option the manual and --help describe is one the command line takes.
TEST(Manual, DescribesOnlyWhatTheCommandLineTakes) {
    for (const auto& table : {manual::kCommands, manual::kLinks, manual::kOptions})
        for (const manual::Entry& e : table) {
            const auto parsed = CommandLine::parse(argumentsOf(e.term));
            EXPECT_NE(parsed.action, CommandLine::Action::usage) << e.term;
            EXPECT_NE(parsed.action, CommandLine::Action::invalid) << e.term;
            EXPECT_TRUE(manual::usage().contains(QByteArray(e.term))) << e.term;
        }
}

TEST(Manual, PageIsValidRoffWithEveryTermItsOwnParagraph) {
    const QByteArray page = manual::manPage("1.2.3");
    const QList<QByteArray> lines = page.split('\n');
    for (const QByteArray& line : lines) {
        // A text line starting with a dot or apostrophe would be read as a request.
        if (line.startsWith('.') || line.startsWith('\'')) {
            EXPECT_TRUE(QByteArray(".TH .SH .TP .PP .B .RI .BR").contains(line.split(' ').front()))
                << line.constData();
        }
        // A minus sign written as a hyphen breaks searching for an option and copying it.
        EXPECT_FALSE(line.contains(" -") && !line.contains(" \\-") && !line.startsWith(".TH")) << line.constData();
    }
    EXPECT_TRUE(page.startsWith(".TH SPACEMARQUEE 1 \"\" \"Spacemarquee 1.2.3\""));
    for (const auto& [term, roff] : {std::pair{"list [--json]", "\\fBlist\\fR \\fB[\\-\\-json]\\fR"},
                                     {"name TITLE", "\\fBname\\fR \\fITITLE\\fR"},
                                     {"--login-item", "\\fB\\-\\-login\\-item\\fR"}})
        EXPECT_TRUE(lines.contains(QByteArray(roff))) << term;
}

} // namespace
} // namespace sm
