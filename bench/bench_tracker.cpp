// Costs of the space tracker on the simulated desktop, tracing off. Three screens, each desktop with
// its own label.
//   SwitchResolvedEndToEnd: one desktop switch on the main screen, from the notification to the
//     adoption: the simulated server's catch-ups, the overlay's occlusion handling and re-render, the
//     tracker's episode and adoption, and the store's waiting save when it falls due.
//   Resolve: the tracker's own resolution with settled facts (verdict over every snapshot, adoption
//     with its store update and the overlay's re-render). Budget: under 30 µs with 30 tags per screen;
//     the store update only marks the last-seen time for the waiting save, it writes nothing.
//   SettlementAudit: the audit after a storm over 100 panels that all stay where they are.
//   Resolve*: the parts of Resolve (the decision over the snapshots, the overlay's re-render of every
//     label, the store's update of lastSeenAt), to tell where its time goes.
#include "core/CoreServices.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

constexpr SimDesktop::SwitchOptions kInstant{0.0, 0.0, 0.0, 0.0};
constexpr SimDesktop::SwitchOptions kRealistic{0.02, 0.01, 0.12, 0.0};

struct World {
    explicit World(int labelsPerScreen, int total = -1) {
        for (quint32 n = 1; n <= 3; ++n)
            desktop->attachScreen({n, QStringLiteral("AAAAAAAA-0000-4000-8000-00000000000%1").arg(n),
                                   QStringLiteral("Screen %1").arg(n),
                                   QRectF(1920.0 * (n - 1), 0, 1920, 1080), labelsPerScreen + 1});
        queue->drain();
        core = CoreServices::create({desktop, nullptr, nullptr, nullptr, defaults, queue, {}});
        store = core->store();
        overlay = core->overlay();
        tracker = core->tracker();
        for (quint32 n = 1; n <= 3; ++n) {
            for (int i = 0; i < labelsPerScreen && total != 0; ++i, --total) {
                desktop->switchDesktop(n, i, kInstant);
                queue->advance(0.01);
                SpaceTag tag;
                tag.id = QUuid::createUuid();
                tag.title = QStringLiteral("Desktop %1.%2").arg(n).arg(i);
                tag.displayIndex = i;
                tag.screenIdentifier = desktop->screens()[int(n) - 1].stableId;
                tag.lastSeenAt = queue->now();
                store->addTag(tag, QStringLiteral("manual-create"));
                overlay->createPanel(tag, QStringLiteral("manual-create"));
                queue->advance(0.01);
            }
            desktop->switchDesktop(n, 0, kInstant);
            queue->advance(0.01);
        }
        desktop->switchDesktop(1, 0, kInstant);
        queue->advance(1.0);
        core->start(false);
        queue->advance(10.0);
    }
    ~World() { core->stop(); }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<SimDesktop> desktop = std::make_shared<SimDesktop>(queue);
    std::shared_ptr<MemoryDefaults> defaults = std::make_shared<MemoryDefaults>();
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<TagStore> store;
    std::shared_ptr<OverlayManager> overlay;
    std::shared_ptr<SpaceTracker> tracker;
};

void SwitchResolvedEndToEnd(benchmark::State& state) {
    World world(int(state.range(0)));
    int index = 0;
    for (auto _ : state) {
        index = 1 - index;
        world.desktop->switchDesktop(1, index, kRealistic);
        world.queue->advance(0.2);
        benchmark::DoNotOptimize(world.tracker->currentActiveTagId());
    }
    if (!world.tracker->currentActiveTagId()) state.SkipWithError("nothing adopted");
}

void Resolve(benchmark::State& state) {
    World world(int(state.range(0)));
    for (auto _ : state) {
        world.tracker->resolve();
        benchmark::DoNotOptimize(world.tracker->currentActiveTagId());
    }
    if (world.tracker->hasPendingEpisode()) state.SkipWithError("the facts were not settled");
}

void SettlementAudit(benchmark::State& state) {
    World world(34, int(state.range(0)));
    for (auto _ : state)
        world.tracker->settlementAudit();
    state.counters["panels"] = double(world.overlay->panelIds().size());
}

} // namespace

BENCHMARK(SwitchResolvedEndToEnd)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(Resolve)->Arg(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(SettlementAudit)->Arg(100)->Unit(benchmark::kMicrosecond);

namespace {

// Where a resolution's time goes: the tracker's decision, the overlay's re-render, the store's update.
void ResolveDecisionOnly(benchmark::State& state) {
    World world(30);
    for (auto _ : state)
        benchmark::DoNotOptimize(world.tracker->queryActiveTagId());
}

void ResolveOverlaySetActiveTag(benchmark::State& state) {
    World world(30);
    const auto id = *world.tracker->currentActiveTagId();
    for (auto _ : state)
        world.overlay->setActiveTag(id);
}

void ResolveStoreLastSeenUpdate(benchmark::State& state) {
    World world(30);
    const auto id = *world.tracker->currentActiveTagId();
    for (auto _ : state)
        world.store->updateTag(id, [](SpaceTag& t) { t.lastSeenAt += 1.0; });
}

} // namespace

BENCHMARK(ResolveDecisionOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(ResolveOverlaySetActiveTag)->Unit(benchmark::kMicrosecond);
BENCHMARK(ResolveStoreLastSeenUpdate)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
