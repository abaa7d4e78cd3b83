// Speaks one desktop name the way the program does (announcer → QTextToSpeech → speech-dispatcher),
// for tools/speech-check. Exits 0 once the engine reports speaking, 1 when it never does in time.
//   speak_once NAME [SECONDS]
#include "autoname/SpeechAnnouncer.h"
#include "platform/qt/QtSpeechSynthesizer.h"
#include "platform/sim/CapturingSystemLog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 15;
    auto log = std::make_shared<sm::CapturingSystemLog>();
    const sm::Logger logger(sm::LogCategory::Tracker, log, nullptr);
    auto synthesizer = std::make_shared<sm::QtSpeechSynthesizer>(logger);

    QElapsedTimer clock;
    clock.start();
    // As at launch with announcements on: the warm-up, then a name before the engine is ready.
    sm::SpeechAnnouncer announcer(synthesizer, logger, sm::SpeechAnnouncer::currentLanguageCode(), true);
    announcer.speak(name, 0.5, 0.2);
    const qint64 returnedMs = clock.elapsed();

    // The main loop must keep turning while the engine is made on its own thread.
    qint64 lastTick = clock.elapsed(), worstStallMs = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstStallMs = std::max(worstStallMs, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(2);

    int status = 1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (synthesizer->isSpeaking() && clock.elapsed() > 500) { // past the optimistic flag set by speak()
            status = 0;
            app.quit();
        } else if (clock.elapsed() > seconds * 1000) {
            app.quit();
        }
    });
    poll.start(20);
    app.exec();
    std::printf("speak_once: warm-up and first name returned after %lld ms; longest main-loop stall %lld ms; "
                "engine %s after %lld ms\n",
                static_cast<long long>(returnedMs), static_cast<long long>(worstStallMs),
                status == 0 ? "speaking" : "never speaking", static_cast<long long>(clock.elapsed()));
    for (const QString& message : log->messages())
        std::printf("speak_once log: %s\n", qPrintable(message));
    return status;
}
