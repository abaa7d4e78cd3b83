// What a label costs to lay out and cut to shape as its title grows: the text measured and placed, the
// window sized to it, and the opaque region a session without a compositor cuts the window to.
#include "platform/widgets/LabelWindow.h"

#include <QApplication>
#include <QTemporaryFile>

#include <benchmark/benchmark.h>

using namespace sm;

namespace {

QString titleOf(qsizetype length) {
    const QString words = QStringLiteral("Quarterly planning notes, drafts and reviews ");
    QString title;
    while (title.size() < length)
        title += words;
    return title.left(length);
}

void BM_LabelLayoutAndShape(benchmark::State& state) {
    const QString title = titleOf(state.range(0));
    widgets::LabelWindow label;
    label.onSizeChange = [&](QSizeF size) { label.resize(size.toSize()); };
    qsizetype rectangles = 0;
    bool alternate = false;
    for (auto _ : state) {
        // A title that changes each time, so that nothing is served from the last round.
        alternate = !alternate;
        label.present({alternate ? title : title.chopped(1) + u'!', QStringLiteral("Click to name"), 64.0,
                       false, false, false});
        const QRegion opaque = label.opaqueRegion();
        rectangles = opaque.rectCount();
        benchmark::DoNotOptimize(rectangles);
    }
    state.counters["width"] = label.width();
    state.counters["rects"] = static_cast<double>(rectangles);
}
// 4000 characters: a title that long once took minutes, the outlines of all its glyphs made before the
// text was cut to a screen's width; it should take a few milliseconds.
BENCHMARK(BM_LabelLayoutAndShape)->Arg(10)->Arg(100)->Arg(1000)->Arg(4000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // One 4K screen: the widest text a label draws follows the widest screen.
    QTemporaryFile screens;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && screens.open()) {
        screens.write(R"({"screens": [{"name": "4K", "x": 0, "y": 0, "width": 3840, "height": 2160,
                          "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        screens.flush();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName().toLocal8Bit());
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
