#include "rules/PlaceRestorePolicy.h"

#include <gtest/gtest.h>

using namespace sm;
using namespace sm::PlaceRestorePolicy;

namespace {

const QUuid A("{0a000000-0000-4000-8000-00000000000a}");
const QUuid B("{0b000000-0000-4000-8000-00000000000b}");
const QUuid C("{0c000000-0000-4000-8000-00000000000c}");

DesktopPlace at(int desktop, const QString& screen = QStringLiteral("S1")) {
    return {screen, desktop, {}};
}

// Desktops 0-2 on S1 exist; S2 is gone. Desktop 1 answers under another number (a renumbered workspace).
std::optional<DesktopPlace> locate(const DesktopPlace& p) {
    if (p.screenId != QLatin1String("S1") || p.desktop > 2) return std::nullopt;
    return p.desktop == 1 ? at(4) : p;
}

TEST(PlaceRestorePolicy, OneLabelPerDesktopTheLatestSeenAndNoneWhereTheDesktopIsGone) {
    struct Row {
        const char* name;
        QList<Candidate> candidates;
        QList<std::pair<QUuid, DesktopPlace>> restore;
        QList<QUuid> gone, outranked;
    };
    // clang-format off
    const QList<Row> rows = {
        {"each on its own desktop", {{A, at(0), 1}, {B, at(2), 1}}, {{A, at(0)}, {B, at(2)}}, {}, {}},
        {"followed to where the desktop is now", {{A, at(1), 1}}, {{A, at(4)}}, {}, {}},
        {"fewer desktops than last time", {{A, at(0), 1}, {B, at(3), 9}}, {{A, at(0)}}, {B}, {}},
        {"screen gone", {{A, at(0, QStringLiteral("S2")), 1}}, {}, {A}, {}},
        {"two for one desktop: latest seen wins", {{A, at(2), 5}, {B, at(2), 7}, {C, at(0), 1}}, {{B, at(2)}, {C, at(0)}}, {}, {A}},
        {"equal times: the smaller id, whatever the order", {{B, at(0), 3}, {A, at(0), 3}}, {{A, at(0)}}, {}, {B}},
    };
    // clang-format on
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Decision d = decide(row.candidates, locate);
        EXPECT_EQ(d.restore, row.restore);
        EXPECT_EQ(d.desktopGone, row.gone);
        EXPECT_EQ(d.outranked, row.outranked);
    }
}

TEST(PlaceRestorePolicy, StoredFormRoundTripsAndHostileEntriesAreDroppedOneByOne) {
    const QHash<QUuid, DesktopPlace> places = {
        {A, {QStringLiteral("S1"), 3, QStringLiteral("mail"), {}}},
        {B, {QString(), 0, QString(), QStringLiteral("9f1c2e4a-0d5b-4e8f-a6c3-7b2d1e0f9a84")}}};
    EXPECT_EQ(decode(encode(places)), places);

    for (const QByteArray& bad :
         {QByteArray(""), QByteArray("[]"), QByteArray("{\"places\":{}}"), QByteArray("\xff{")})
        EXPECT_FALSE(decode(bad)) << bad.constData();

    QByteArray stored = R"({"places":[
        {"tag":"0A000000-0000-4000-8000-00000000000A","screen":"S1","desktop":2},
        {"tag":"not-a-uuid","screen":"S1","desktop":1},
        {"tag":"0B000000-0000-4000-8000-00000000000B","desktop":2147483648},
        {"tag":"0B000000-0000-4000-8000-00000000000B","desktop":-1},
        {"tag":"0B000000-0000-4000-8000-00000000000B","desktop":1.5},
        {"tag":"0B000000-0000-4000-8000-00000000000B","desktop":"1"},
        {"tag":"0B000000-0000-4000-8000-00000000000B","desktop":1,"desktopId":"%1"},
        7]})";
    const auto kept = decode(stored.replace("%1", QByteArray(600, 'x'))); // an overlong desktop id
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept, (QHash<QUuid, DesktopPlace>{{A, at(2)}}));
}

} // namespace
