// What a user's action costs the main thread now that the settings file is written by a thread of
// its own: the store's change, its encoding and the hand-over, with the real FileDefaults on a real
// folder; the write and fsync run beside it. 30 tags (typical) and 300. Budget: under 1 ms each.
//   RenameOnMainThread: a rename, saved at once (what a click-and-type or a URL command does).
//   SettingsChangeOnMainThread: a preference switched, saved at once.
//   DragEndOnMainThread: a label dropped somewhere else, and the deferred save that carries its
//     position two seconds later (both on the main thread).
//   RenameUntilDurable: a rename until the file holding it is synced, what the main thread paid for
//     each action before the writer thread, and what a command's sender still waits for.
// Each iteration starts with the writer idle, as a person's actions are far apart; the count is fixed,
// since each also waits for a real fsync.
#include "model/ModelJson.h"
#include "model/TagStore.h"
#include "platform/linux/FileDefaults.h"
#include "support/sim/ManualMainQueue.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

struct Setup {
    QTemporaryDir dir;
    std::shared_ptr<FileDefaults> defaults = std::make_shared<FileDefaults>(dir.path());
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::unique_ptr<TagStore> store;

    explicit Setup(int count) {
        QList<SpaceTag> tags;
        for (int i = 0; i < count; ++i) {
            SpaceTag t;
            t.id = QUuid::createUuid();
            t.title = QStringLiteral("Desktop %1 — project notes").arg(i);
            t.position = QPointF(120.5 + i, 800 - i);
            t.displayIndex = i;
            t.screenIdentifier = QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B230");
            t.lastSeenAt = 800000000.0 + i * 17.25;
            tags.append(t);
        }
        defaults->setValue(TagStore::kTagsKey, ModelJson::encodeTags(tags).value.value());
        store = std::make_unique<TagStore>(defaults, queue, Logger());
        settle();
    }
    void settle() {
        defaults->waitForWrites();
        QCoreApplication::processEvents();
    }
    QUuid middle() const { return store->tags().at(store->tags().size() / 2).id; }
};

template <typename Action>
void run(benchmark::State& state, Action action) {
    Setup setup(int(state.range(0)));
    const QUuid id = setup.middle();
    int n = 0;
    for (auto _ : state) {
        action(setup, id, ++n);
        state.PauseTiming();
        setup.settle();
        state.ResumeTiming();
    }
    state.counters["file_writes"] = setup.defaults->fileWrites();
}

void RenameOnMainThread(benchmark::State& state) {
    run(state, [](Setup& s, QUuid id, int n) { s.store->renameTag(id, QStringLiteral("Mail %1").arg(n)); });
}

void SettingsChangeOnMainThread(benchmark::State& state) {
    run(state, [](Setup& s, QUuid, int n) {
        s.store->updateSettings([n](AppSettings& settings) { settings.speakSpaceNameOnChange = n % 2; });
    });
}

void DragEndOnMainThread(benchmark::State& state) {
    run(state, [](Setup& s, QUuid id, int n) {
        s.store->updateTag(id, [n](SpaceTag& t) { t.position = QPointF(100 + n % 500, 300); });
        s.queue->advance(TagStore::kDeferredSaveSeconds);
    });
}

void RenameUntilDurable(benchmark::State& state) {
    run(state, [](Setup& s, QUuid id, int n) {
        s.store->renameTag(id, QStringLiteral("Mail %1").arg(n));
        s.defaults->waitForWrites();
    });
}

BENCHMARK(RenameOnMainThread)->Arg(30)->Arg(300)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(SettingsChangeOnMainThread)->Arg(30)->Arg(300)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(DragEndOnMainThread)->Arg(30)->Arg(300)->Iterations(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(RenameUntilDurable)->Arg(30)->Arg(300)->Iterations(300)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv); // the writer's news is delivered through the event loop
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
