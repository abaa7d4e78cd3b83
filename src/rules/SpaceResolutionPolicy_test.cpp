#include "rules/ShortId.h"
#include "rules/SpaceResolutionPolicy.h"
#include "support/TestPrinters.h"

#include <gtest/gtest.h>

#include <vector>

using namespace sm;
using namespace sm::SpaceResolutionPolicy;

namespace {

// Lower-case text and a leading zero, so the short form must upper-case and zero-pad.
const QUuid A("{0a1b2c3d-0000-4000-8000-00000000000a}");
const QUuid B("{bbbbbbbb-0000-4000-8000-00000000000b}");
const QUuid C("{cccccccc-0000-4000-8000-00000000000c}");
const QUuid D("{dddddddd-0000-4000-8000-00000000000d}");
const QUuid E("{eeeeeeee-0000-4000-8000-00000000000e}");
constexpr quint32 kMain = 1;
constexpr quint32 kOther = 2;
const std::optional<QUuid> none;

PanelSnapshot present(const QUuid& id, quint32 screen = kMain) {
    return {id, screen, true, true};
}

TEST(SpaceResolutionPolicy, VerdictFollowsTheDecisionTable) {
    struct Case {
        const char* name;
        std::vector<PanelSnapshot> snapshots;
        std::optional<QUuid> previous;
        bool timedOut;
        Verdict expected;
        const char* rule;
    };
    const auto wait = Verdict::keepWaiting();
    const auto create = Verdict::createNew();
    // clang-format off
    const std::vector<Case> cases = {
        {"nothing", {}, none, false, wait, "none-present"},
        {"nothing, timed out", {}, none, true, create, "none-present+timeout"},
        {"visible only", {{A, kMain, true, false}}, none, false, wait, "none-present"},
        {"active space only", {{A, kMain, false, true}}, none, true, create, "none-present+timeout"},
        {"present elsewhere", {present(A, kOther)}, none, false, wait, "none-present"},
        {"present elsewhere, timed out", {present(A, kOther)}, none, true, create, "none-present+timeout"},
        {"one among absent and foreign", {{B, kMain, true, false}, present(C, kOther), present(A)}, B, false,
         Verdict::resolved(A), "exactly-one-present"},
        {"one, timed out", {present(A)}, none, true, Verdict::resolved(A), "exactly-one-present"},
        {"pair, no previous", {present(A), present(B)}, none, false, wait, "two-present-ambiguous"},
        {"pair, previous a third tag", {present(A), present(B)}, C, true, wait, "two-present-ambiguous"},
        {"pair, previous second", {present(A), present(B)}, B, false, Verdict::resolved(A),
         "two-present-previous-disambiguates"},
        {"pair, previous first", {present(A), present(B)}, A, false, Verdict::resolved(B),
         "two-present-previous-disambiguates"},
        {"one tag twice, previous", {present(A), present(A)}, A, false, wait, "two-present-ambiguous"},
        {"pile of 3, timed out", {present(A), present(B), present(C)}, A, true, wait,
         "pile-of-3-present-fail-closed"},
        {"pile of 5", {present(A), present(B), present(C), present(D), present(E)}, none, false, wait,
         "pile-of-5-present-fail-closed"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VerdictResult r = verdict(c.snapshots, kMain, c.previous, c.timedOut);
        EXPECT_EQ(r.verdict.toString(), c.expected.toString());
        EXPECT_EQ(r.rule, QString::fromLatin1(c.rule));
    }
}

TEST(SpaceResolutionPolicy, PendingActionAdoptsOnlyTheFirstPresentReportOnTheEpisodeScreen) {
    struct Case {
        const char* name;
        bool settled;
        quint32 screen;
        bool onActiveSpace;
        bool adopts;
    };
    const std::vector<Case> cases = {
        {"present on episode screen", false, kMain, true, true},
        {"raw-only flap", false, kMain, false, false},
        {"present on another screen", false, kOther, true, false},
        {"after settling", true, kMain, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PendingResolution pending(kMain, B, c.settled);
        const auto act = action(pending, A, c.screen, c.onActiveSpace);
        EXPECT_EQ(act, c.adopts ? PendingResolution::Action::adopt(A) : PendingResolution::Action::ignore());
        EXPECT_EQ(pending.isSettled(), c.settled || c.adopts);
    }
}

CoResident resident(const QUuid& id, bool active = false, bool editing = false) {
    return {id, active, editing, false, false, {}};
}
CoResident mint(const QUuid& id, QSet<QUuid> companions, bool active = false, bool userOwned = false,
                bool editing = false) {
    return {id, active, editing, userOwned, true, std::move(companions)};
}

TEST(SpaceResolutionPolicy, CoResidencyKeepsTheUnequivocalOwnerOrNobody) {
    struct Case {
        const char* name;
        std::vector<CoResident> coResidents;
        QList<QUuid> zombify;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"alone", {resident(A, true)}, {}},
        {"editing beats active", {resident(A, true), resident(B, false, true), resident(C)}, {A, C}},
        {"editing mint stays", {resident(A, true), mint(B, {A}, false, false, true)}, {A}},
        {"mint born beside the other", {mint(A, {B}, true), resident(B)}, {A}},
        {"mint second in input", {resident(B), mint(A, {B}, true)}, {A}},
        {"user-owned mint: active decides", {mint(A, {B}, true, true), resident(B)}, {B}},
        {"mint born beside someone else", {mint(A, {C}), resident(B, true)}, {A}},
        {"active mint is no keeper", {mint(A, {C}, true), resident(B)}, {}},
        {"birth pair needs exactly two", {mint(A, {B}), resident(B), resident(C, true)}, {A, B}},
        {"two active", {resident(A, true), resident(B, true)}, {}},
        {"none active", {resident(A), resident(B), resident(C)}, {}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(coResidentsToZombify(c.coResidents), c.zombify);
    }
}

TEST(SpaceResolutionPolicy, UniqueAutomaticMintNeedsExactlyOneUnownedMintWithCompanions) {
    struct Case {
        const char* name;
        std::vector<CoResident> coResidents;
        std::optional<QUuid> expected;
    };
    const std::vector<Case> cases = {
        {"no mint", {resident(A), resident(B)}, none},
        {"one mint", {resident(A), mint(B, {A})}, B},
        {"two mints", {mint(A, {C}), mint(B, {A})}, none},
        {"user-owned is no mint", {mint(A, {B}, false, true), resident(B)}, none},
        {"born alone is no mint", {mint(A, {}), mint(B, {A})}, B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto m = uniqueAutomaticMint(c.coResidents);
        EXPECT_EQ(m ? std::optional<QUuid>(m->id) : none, c.expected);
    }
}

TEST(SpaceResolutionPolicy, SnapshotsAreDescribedOnTheActiveScreenThenOff) {
    struct Case {
        std::vector<PanelSnapshot> snapshots;
        const char* expected;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{}, "on=[]"},
        {{present(A), {B, kMain, false, true}, {C, kMain, true, false}}, "on=[0A1B2C3D:VA@1 BBBBBBBB:-A@1 CCCCCCCC:V-@1]"},
        {{{D, 4294967295u, false, false}, present(A), present(B, kOther)},
         "on=[0A1B2C3D:VA@1] off=[DDDDDDDD:--@4294967295 BBBBBBBB:VA@2]"},
        {{present(A, kOther)}, "on=[] off=[0A1B2C3D:VA@2]"},
    };
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(describe(c.snapshots, kMain), QString::fromLatin1(c.expected));

    EXPECT_EQ(shortId(none), "nil");
}

} // namespace
