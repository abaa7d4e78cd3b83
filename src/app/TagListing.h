#pragma once

#include "model/SpaceTag.h"
#include "platform/WindowServer.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace sm {

// One line of `spacemarquee list`: a tag and the desktop its label sits on, where that is known.
struct TagListEntry {
    SpaceTag tag;
    std::optional<DesktopPlace> place;
};

// The reply to "list 1": a line per tag, tab-separated (desktop, screen, "user" or "auto", last seen,
// title), "-" for what is unknown; titles are single lines already.
QByteArray formatTagList(const QList<TagListEntry>& entries);
// The reply to "list-json 1": {"version":1,"tags":[{"id","title","desktop","desktopName","screen",
// "userOwned","tombstone","lastSeen"}]}; desktop is the 0-based number and null (as are the other
// unknowns) when unknown; lastSeen is ISO 8601 in UTC. Fields are only ever added.
QByteArray formatTagListJson(const QList<TagListEntry>& entries);

} // namespace sm
