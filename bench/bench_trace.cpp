// Costs of tracing and of persisting settings.
//   DisabledTrace: SM_TRACE with tracing off; the expensive message must never be built (< 5 ns).
//   EnabledTraceToFile: one line through the system log mirror and the trace file (< 50 µs).
//   DefaultsSetLargeValue: FileDefaults::setValue of a ~60 KB tag list, atomic synced write included.
#include "logging/Logger.h"
#include "platform/linux/FileDefaults.h"
#include "support/sim/MemoryDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

// Stands in for the journal: benchmarks measure our side, not journald's.
struct NullSystemLog final : SystemLog {
    void write(LogCategory, LogLevel, const QString& message) override { benchmark::DoNotOptimize(message); }
};

QString expensiveSnapshot(int panels) {
    QStringList parts;
    for (int i = 0; i < panels; ++i)
        parts << QStringLiteral("%1:vis=%2:onActive=%3")
                     .arg(QUuid::createUuid().toString().left(9))
                     .arg(i % 2)
                     .arg(i % 3);
    return parts.join(QLatin1Char(' '));
}

void DisabledTrace(benchmark::State& state) {
    Logger logger(LogCategory::Tracker, std::make_shared<NullSystemLog>(), TraceLog::memoryOnly(false));
    for (auto _ : state) {
        benchmark::DoNotOptimize(logger); // the flag is read each time, as in real callers
        SM_TRACE(logger, QStringLiteral("tracker SNAPSHOT panels=") + expensiveSnapshot(50));
    }
}
BENCHMARK(DisabledTrace);

void EnabledTraceToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const Logger logger(LogCategory::Tracker, std::make_shared<NullSystemLog>(),
                        std::make_shared<TraceLog>(true, TraceLog::Options{dir.path()}));
    int n = 0;
    for (auto _ : state)
        SM_TRACE(
            logger,
            QStringLiteral("pending RESOLVED tag=%1 after=%2ms").arg(QStringLiteral("1A2B3C4D")).arg(++n));
}
BENCHMARK(EnabledTraceToFile);

void DefaultsSetLargeValue(benchmark::State& state) {
    QJsonArray tags;
    for (int i = 0; i < 300; ++i)
        tags.append(QJsonObject{{"id", QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()},
                                {"title", QStringLiteral("Desktop %1").arg(i)},
                                {"lastSeen", 760000000.5 + i},
                                {"screen", "37D8832A-2D66-02CA-B9F7-8F30A301B230"},
                                {"position", QJsonObject{{"x", 120.5}, {"y", 840.25}}},
                                {"locked", i % 4 == 0}});
    const QByteArray bytes = QJsonDocument(tags).toJson(QJsonDocument::Compact);
    QTemporaryDir dir;
    FileDefaults defaults(dir.path());
    for (auto _ : state) {
        benchmark::DoNotOptimize(defaults.setValue("Spacemarquee.Tags", bytes));
        defaults.waitForWrites(); // the writer thread's share counts here
    }
    state.counters["value_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(DefaultsSetLargeValue)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
