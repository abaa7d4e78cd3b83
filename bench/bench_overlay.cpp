// Rendering cost of the overlay: a full render pass, and one store change end to end (save + re-render).
#include "core/CoreServices.h"
#include "support/sim/CapturingSystemLog.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"
#include "support/sim/SimDesktop.h"

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

struct World {
    explicit World(int panels) {
        desktop->attachScreen({1, QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001"), QStringLiteral("Main"),
                               QRectF(0, 0, 1440, 900), 1});
        queue->drain();
        const auto loggers = Loggers::make(std::make_shared<CapturingSystemLog>(), TraceLog::memoryOnly(false));
        // The program's core, not started: the overlay alone shows the labels.
        core = CoreServices::create({desktop, nullptr, nullptr, nullptr, std::make_shared<MemoryDefaults>(), queue, loggers});
        store = core->store();
        overlay = core->overlay();
        for (int i = 0; i < panels; ++i) {
            SpaceTag tag;
            tag.id = QUuid::createUuid();
            tag.title = QStringLiteral("Desktop %1").arg(i);
            tag.displayIndex = i;
            tag.screenIdentifier = QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001");
            store->addTag(tag, QStringLiteral("bench"));
            overlay->createPanel(tag, QStringLiteral("bench"));
        }
        queue->advance(1.0);
        first = store->tags().first().id;
    }
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<SimDesktop> desktop = std::make_shared<SimDesktop>(queue);
    std::shared_ptr<CoreServices> core;
    std::shared_ptr<TagStore> store;
    std::shared_ptr<OverlayManager> overlay;
    QUuid first;
};

void BM_RenderAllPanels(benchmark::State& state) {
    World world(static_cast<int>(state.range(0)));
    for (auto _ : state) world.overlay->renderAllPanels();
    state.SetComplexityN(state.range(0));
    state.counters["per_panel_ns"] =
        benchmark::Counter(static_cast<double>(state.range(0)), benchmark::Counter::kIsIterationInvariantRate |
                                                                     benchmark::Counter::kInvert);
}
BENCHMARK(BM_RenderAllPanels)->Arg(10)->Arg(100)->Arg(1000)->Complexity(benchmark::oN);

// A rename: one save of the tag list, then one coalesced re-render of every panel.
void BM_StoreChangeWith100Panels(benchmark::State& state) {
    World world(100);
    int n = 0;
    for (auto _ : state) {
        world.store->renameTag(world.first, QStringLiteral("Name %1").arg(++n));
        world.queue->drain();
    }
}
BENCHMARK(BM_StoreChangeWith100Panels);

} // namespace

BENCHMARK_MAIN();
