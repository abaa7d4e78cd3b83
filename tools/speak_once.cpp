// Speaks one desktop name the way the program does (announcer → QTextToSpeech → speech-dispatcher),
// for tools/speech-check, and stays SECONDS (6) so the engine has time to start and pass it on. With
// SPEAK_ONCE_UNTIL_IN set to a file (the dispatcher's log), it leaves as soon as SPEAK_ONCE_UNTIL_TEXT
// (else the name) shows up in that file, SECONDS being then only the ceiling: a busy machine may need
// far longer to start the engine.
//   speak_once NAME [SECONDS [ENGINE]]    (ENGINE: a QTextToSpeech engine name; a missing one shows
//                                          what happens without any engine)
#include "autoname/SpeechAnnouncer.h"
#include "platform/linux/QtSpeechSynthesizer.h"
#include "support/sim/CapturingSystemLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

#include <algorithm>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: speak_once NAME [SECONDS]\n");
        return 2;
    }
    const QString name = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 6;
    auto log = std::make_shared<sm::CapturingSystemLog>();
    const sm::Logger logger(sm::LogCategory::Tracker, log, nullptr);
    QElapsedTimer clock;
    clock.start();
    // What launch does with announcements on: make the synthesizer and the announcer (its warm-up).
    auto synthesizer = std::make_shared<sm::QtSpeechSynthesizer>(
        logger, argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString());
    // As at launch with announcements on: the warm-up, then a name before the engine is ready.
    sm::SpeechAnnouncer announcer(synthesizer, logger, sm::SpeechAnnouncer::currentLanguageCode(), true);
    announcer.speak(name, 0.5, 0.2);
    const double returnedMs = double(clock.nsecsElapsed()) / 1e6;

    // The main loop must keep turning while the engine is made on its own thread.
    qint64 lastTick = clock.elapsed(), worstStallMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstStallMs = std::max(worstStallMs, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(2);

    // The file only grows: each change is read from where the last read ended.
    const QString untilIn = qEnvironmentVariable("SPEAK_ONCE_UNTIL_IN");
    QFileSystemWatcher watcher;
    QFile watched(untilIn);
    QByteArray tail;
    const QByteArray wanted = qEnvironmentVariableIsSet("SPEAK_ONCE_UNTIL_TEXT")
                                  ? qgetenv("SPEAK_ONCE_UNTIL_TEXT") : name.toUtf8();
    auto lookForName = [&] {
        if (!watched.isOpen()) {
            if (!watched.open(QIODevice::ReadOnly)) return;
            watcher.addPath(untilIn);
        }
        tail += watched.readAll();
        if (tail.contains(wanted)) QCoreApplication::quit();
        tail = tail.right(wanted.size()); // a name split across two reads is still found
    };
    if (!untilIn.isEmpty()) {
        // The file may not be there yet: its folder says when it comes.
        watcher.addPath(QFileInfo(untilIn).absolutePath());
        QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, lookForName);
        QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, lookForName);
        QTimer::singleShot(0, lookForName);
    }
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("speak_once: launch part (synthesizer, announcer, warm-up) and a first name took %.3f ms; "
                "longest main-loop stall %lld ms; engine reports speaking: %s\n",
                returnedMs, static_cast<long long>(worstStallMs), synthesizer->isSpeaking() ? "yes" : "no");
    for (const QString& message : log->messages())
        std::printf("speak_once log: %s\n", qPrintable(message));
    return 0;
}
