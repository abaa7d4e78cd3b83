// Costs of the tag store's persistence, with 30 (typical), 300 and 3,000 (pathological) tags.
//   StoreLoad: construct a store over MemoryDefaults holding the tags (decode, sanitize, publish).
//   StoreSaveTags: one saveTags() with no tag changed since the last save (every tag's JSON reused).
//   StoreSaveAfterOneChange: a last-seen update and the save that carries it (one tag re-encoded),
//     as the deferred save after a desktop switch or a user's rename pays it, disk aside.
//   EncodeTags: the JSON encoding of every tag; budget under 1 ms for 300 tags.
//   DecodeTags: the JSON decoding alone.
#include "model/ModelJson.h"
#include "model/TagStore.h"
#include "support/sim/ManualMainQueue.h"
#include "support/sim/MemoryDefaults.h"

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

QList<SpaceTag> makeTags(int count) {
    QList<SpaceTag> tags;
    for (int i = 0; i < count; ++i) {
        SpaceTag t;
        t.id = QUuid::createUuid();
        t.title = QStringLiteral("Desktop %1 — project notes").arg(i);
        if (i % 2) t.position = QPointF(120.5 + i, 800 - i);
        t.displayIndex = i;
        t.screenIdentifier = QStringLiteral("37D8832A-2D66-02CA-B9F7-8F30A301B23%1").arg(i % 3);
        t.lastSeenAt = 800000000.0 + i * 17.25;
        t.isUserOwned = i % 3 == 0;
        tags.append(t);
    }
    return tags;
}

std::shared_ptr<MemoryDefaults> defaultsWith(int count) {
    auto defaults = std::make_shared<MemoryDefaults>();
    defaults->setValue(TagStore::kSchemaKey, qint64(1));
    defaults->setValue(TagStore::kTagsKey, ModelJson::encodeTags(makeTags(count)).value.value());
    return defaults;
}

void StoreLoad(benchmark::State& state) {
    const auto defaults = defaultsWith(int(state.range(0)));
    const auto clock = std::make_shared<ManualMainQueue>();
    for (auto _ : state) {
        TagStore store(defaults, clock, Logger());
        benchmark::DoNotOptimize(store.tags().size());
    }
}

void StoreSaveTags(benchmark::State& state) {
    TagStore store(defaultsWith(int(state.range(0))), std::make_shared<ManualMainQueue>(), Logger());
    for (auto _ : state)
        store.saveTags();
}

void StoreSaveAfterOneChange(benchmark::State& state) {
    TagStore store(defaultsWith(int(state.range(0))), std::make_shared<ManualMainQueue>(), Logger());
    const QUuid id = store.tags().at(store.tags().size() / 2).id;
    for (auto _ : state) {
        store.updateTag(id, [](SpaceTag& t) { t.lastSeenAt += 1.0; });
        store.flush();
    }
}

void EncodeTags(benchmark::State& state) {
    const auto tags = makeTags(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ModelJson::encodeTags(tags));
}

void DecodeTags(benchmark::State& state) {
    const QByteArray json = ModelJson::encodeTags(makeTags(int(state.range(0)))).value.value();
    for (auto _ : state)
        benchmark::DoNotOptimize(ModelJson::decodeTags(json));
}

} // namespace

BENCHMARK(StoreLoad)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreSaveTags)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(StoreSaveAfterOneChange)->Arg(90)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(EncodeTags)->Arg(300)->Unit(benchmark::kMicrosecond);
BENCHMARK(DecodeTags)->Arg(300)->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
