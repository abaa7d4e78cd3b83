// The wayland tier's test compositor as a program, for trying the built program by hand:
//   wayland_compositor [--no-activate]
// prints the socket's path (for WAYLAND_DISPLAY), then reads commands, one a line, on stdin:
//   add OUTPUT NAME | go NUMBER | rename NUMBER NAME | remove NUMBER | unplug OUTPUT | plug OUTPUT
//   log (the requests so far) | surfaces (the layer surfaces) | quit
#include "support/wayland/TestCompositor.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    sm::test::TestCompositor::Options options;
    options.grantsActivate = !app.arguments().contains(QStringLiteral("--no-activate"));
    sm::test::TestCompositor compositor(options);
    std::printf("%s\n", qPrintable(compositor.socketPath()));
    std::fflush(stdout);
    QTextStream in(stdin);
    QString line;
    while (in.readLineInto(&line)) {
        const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        const QString rest = words.mid(2).join(u' ');
        if (verb == QLatin1String("add"))
            std::printf("%d\n", compositor.addWorkspace(words.value(1), rest));
        else if (verb == QLatin1String("go"))
            compositor.activateWorkspace(words.value(1).toInt());
        else if (verb == QLatin1String("rename"))
            compositor.renameWorkspace(words.value(1).toInt(), rest);
        else if (verb == QLatin1String("remove"))
            compositor.removeWorkspace(words.value(1).toInt());
        else if (verb == QLatin1String("unplug"))
            compositor.removeOutput(words.value(1));
        else if (verb == QLatin1String("plug"))
            compositor.addOutput(words.value(1));
        else if (verb == QLatin1String("log"))
            std::printf("%s\n", qPrintable(compositor.requests().join(u'\n')));
        else if (verb == QLatin1String("surfaces"))
            for (const auto& s : compositor.layerSurfaces())
                std::printf("%d %s mapped=%d at %d,%d %dx%d keyboard=%u\n", s.id, qPrintable(s.output),
                            s.mapped, s.margin.x(), s.margin.y(), s.size.width(), s.size.height(),
                            s.keyboard);
        else if (verb == QLatin1String("quit"))
            break;
        std::fflush(stdout);
    }
    return 0;
}
