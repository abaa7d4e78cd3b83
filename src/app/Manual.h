#pragma once

#include <QByteArray>

#include <span>

namespace sm::manual {

// The words that describe the command line, kept once: `spacemarquee --help` prints some of them,
// the manual page (built by spacemarquee-manpage) all of them, so the two cannot tell different
// stories. Texts are plain; each output escapes them for its own format.
struct Entry {
    const char* term; // "name TITLE", "0", "XDG_CONFIG_HOME"
    const char* text; // one sentence, no final full stop
    // In the manual only: what a reader of the page wants and `--help` has no room for.
    const char* more = nullptr;
};

extern const char* const kPurpose;  // what the program is, after "spacemarquee - "
extern const char* const kStarting; // what running it without a command does
extern const char* const kLinkForms;  // how to write a link's title
extern const std::span<const Entry> kCommands;
extern const std::span<const Entry> kLinks;
extern const std::span<const Entry> kOptions;
extern const std::span<const Entry> kExitStatus;
extern const std::span<const Entry> kFiles;       // manual only
extern const std::span<const Entry> kEnvironment; // manual only

// What `spacemarquee --help` prints.
QByteArray usage();
// The manual page, spacemarquee(1), in roff.
QByteArray manPage(const char* version);

} // namespace sm::manual
