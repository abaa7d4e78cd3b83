// The first application-name lookup reads every desktop entry of the data directories. Entries are
// made like the ones of a full desktop: a name, a comment and keywords translated into 80 languages.
#include "platform/x11/DesktopEntryNames.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

void writeEntries(const QString& dir, int count) {
    QByteArray translations;
    for (int l = 0; l < 80; ++l) {
        const QByteArray lang = "l" + QByteArray::number(l);
        translations += "Name[" + lang + "]=Application name " + lang + "\n";
        translations += "Comment[" + lang + "]=A longer description of what the application does\n";
        translations += "Keywords[" + lang + "]=one;two;three;four;\n";
    }
    for (int i = 0; i < count; ++i) {
        QFile f(dir + QStringLiteral("/applications/org.example.App%1.desktop").arg(i));
        f.open(QIODevice::WriteOnly);
        f.write("[Desktop Entry]\nType=Application\nName=App " + QByteArray::number(i) +
                "\nExec=app\nStartupWMClass=App" + QByteArray::number(i) + "\n" + translations +
                "[Desktop Action new]\nName=New Window\n");
    }
}

void FirstLookupReadsAllEntries(benchmark::State& state) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("applications"));
    writeEntries(dir.path(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        sm::x11::DesktopEntryNames names({dir.path()}, {QStringLiteral("l40")});
        benchmark::DoNotOptimize(names.nameFor(QStringLiteral("App7")));
    }
}
BENCHMARK(FirstLookupReadsAllEntries)->Arg(25)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
