#include "platform/linux/QtSpeechSynthesizer.h"

#include <QDeadlineTimer>
#include <QLocale>
#include <QTextToSpeech>

#include <algorithm>

namespace sm {

// Owns the engine on the speech thread. Its log lines are handed back to the main thread.
class SpeechWorker final : public QObject {
public:
    SpeechWorker(Logger logger, QString engine, std::shared_ptr<std::atomic<bool>> speaking,
                 std::shared_ptr<std::atomic<bool>> available, QObject* mainThreadContext)
        : logger_(std::move(logger)), engineName_(std::move(engine)), speaking_(std::move(speaking)),
          available_(std::move(available)), main_(mainThreadContext) {}

    void makeEngine() {
        const QStringList engines = QTextToSpeech::availableEngines();
        if (engines.isEmpty()) {
            unavailable();
            log(QStringLiteral("Voice announcements are not spoken: no speech engine is installed "
                               "(install speech-dispatcher and a voice such as espeak-ng)"));
            return;
        }
        engine_ = engineName_.isEmpty() ? new QTextToSpeech(this) : new QTextToSpeech(engineName_, this);
        if (engine_->state() == QTextToSpeech::Error) {
            log(QStringLiteral(
                    "Voice announcements are not spoken: the speech engine '%1' did not start (%2)")
                    .arg(engine_->engine(), engine_->errorString()));
            delete engine_;
            engine_ = nullptr;
            unavailable();
            return;
        }
        QObject::connect(engine_, &QTextToSpeech::stateChanged, this,
                         [speaking = speaking_](QTextToSpeech::State state) {
                             speaking->store(state == QTextToSpeech::Speaking);
                         });
    }

    void say(const Utterance& utterance) {
        if (!engine_) return;
        chooseVoice(utterance.voice);
        engine_->stop(QTextToSpeech::BoundaryHint::Immediate);
        // A blank utterance is the announcer's warm-up: making the engine was the point.
        if (utterance.text.trimmed().isEmpty()) return;
        // The settings' rate runs from 0 to 1 with 0.5 the normal pace; the engine's from -1 to 1 around 0.
        engine_->setRate(std::clamp(utterance.rate * 2.0 - 1.0, -1.0, 1.0));
        engine_->setVolume(std::clamp(utterance.volume, 0.0, 1.0));
        engine_->say(utterance.text);
    }

    void stop() {
        if (engine_) engine_->stop(QTextToSpeech::BoundaryHint::Immediate);
    }

private:
    // The voice follows the language chosen at launch; a language the engine lacks keeps its default.
    // With no language at all (the C locale) speech-dispatcher's first voice can be any language's,
    // so English is asked for.
    void chooseVoice(const std::optional<QString>& voice) {
        if (voiceChosen_) return;
        voiceChosen_ = true;
        const QLocale wanted = voice ? QLocale(*voice) : QLocale(QLocale::English, QLocale::UnitedStates);
        const auto locales = engine_->availableLocales();
        if (locales.contains(wanted)) {
            engine_->setLocale(wanted);
            return;
        }
        for (const QLocale& locale : locales)
            if (locale.language() == wanted.language()) {
                engine_->setLocale(locale);
                return;
            }
    }

    // Nothing will ever be spoken: the optimistic "speaking" of queued utterances ends here.
    void unavailable() {
        QMetaObject::invokeMethod(
            main_,
            [speaking = speaking_, available = available_] {
                available->store(false);
                speaking->store(false);
            },
            Qt::QueuedConnection);
    }

    void log(const QString& message) {
        QMetaObject::invokeMethod(
            main_, [logger = logger_, message] { logger.notice(message); }, Qt::QueuedConnection);
    }

    Logger logger_;
    QString engineName_;
    std::shared_ptr<std::atomic<bool>> speaking_;
    std::shared_ptr<std::atomic<bool>> available_;
    QObject* main_;
    QTextToSpeech* engine_ = nullptr;
    bool voiceChosen_ = false;
};

QtSpeechSynthesizer::QtSpeechSynthesizer(Logger logger, QString engine)
    : logger_(std::move(logger)), engine_(std::move(engine)) {}

QtSpeechSynthesizer::~QtSpeechSynthesizer() {
    if (!thread_) return;
    thread_->quit();
    // An engine still being made (or a speech-dispatcher that does not answer its goodbye) must not
    // hold up the exit: the thread is then left to the process's end.
    if (thread_->wait(QDeadlineTimer(kExitWaitMilliseconds)))
        delete thread_;
    else
        logger_.notice(QStringLiteral("The speech engine did not stop within %1 ms; leaving it")
                           .arg(kExitWaitMilliseconds));
}

void QtSpeechSynthesizer::startEngine() {
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("speech"));
    worker_ = new SpeechWorker(logger_, engine_, speaking_, available_, thread_);
    worker_->moveToThread(thread_);
    QObject::connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_->start(QThread::LowPriority);
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] { worker->makeEngine(); }, Qt::QueuedConnection);
}

void QtSpeechSynthesizer::speak(const Utterance& utterance) {
    if (!worker_) startEngine();
    if (!available_->load()) return;
    if (!utterance.text.trimmed().isEmpty()) speaking_->store(true); // until the engine says otherwise
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, utterance] { worker->say(utterance); }, Qt::QueuedConnection);
}

void QtSpeechSynthesizer::stopSpeaking() {
    speaking_->store(false);
    if (worker_)
        QMetaObject::invokeMethod(
            worker_, [worker = worker_] { worker->stop(); }, Qt::QueuedConnection);
}

bool QtSpeechSynthesizer::hasEngine() const {
    // Listing the engine plugins starts none of them.
    return available_->load() && !QTextToSpeech::availableEngines().isEmpty();
}

} // namespace sm
