#pragma once

#include <QByteArray>
#include <QString>

namespace sm {

// A "spacemarquee://" command as another program sends it. The text is untrusted: anything too long,
// badly encoded or carrying control characters is turned away here, before it reaches the tracker.
struct UrlCommand {
    enum class Kind {
        notOurs,       // no URL, or another scheme
        tooLong,       // over kMaxBytes
        setCurrentTag, // title: the query item "title", empty when absent
        clearCurrentTag,
        goTo, // title: the name of the desktop to go to; never empty
        unknown,  // command: the host, in lower case
        rejected, // a known command with an argument we refuse
    };

    static constexpr qsizetype kMaxBytes = 4096;

    Kind kind = Kind::notOurs;
    QString command;
    QString title;
    QString reason; // why it is refused, told to the sender; empty for the commands we carry out

    static UrlCommand parse(const QByteArray& raw);
};

} // namespace sm
