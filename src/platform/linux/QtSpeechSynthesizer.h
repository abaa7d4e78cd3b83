#pragma once

#include "logging/Logger.h"
#include "platform/SpeechSynthesizer.h"

#include <QThread>

#include <atomic>
#include <memory>

namespace sm {

class SpeechWorker;

// Speech through QTextToSpeech (speech-dispatcher on Linux).
//
// Making the engine blocks for seconds while speech-dispatcher starts and lists its voices, so it is
// made on a thread of its own, at the first utterance (the announcer's silent warm-up at launch), and
// every call from the main thread is queued to that thread: nothing here ever waits for the engine.
// An announcement that comes before the engine is ready is spoken once it is ready; each utterance
// cuts off the one before, so of several early ones only the last is heard. isSpeaking() is the
// state the engine last reported (speech-dispatcher without a sound device may report speaking for
// ever; nothing waits on it). Without any engine installed, one log line says so and every utterance
// is dropped.
class QtSpeechSynthesizer final : public SpeechSynthesizer {
public:
    // `engine`: a QTextToSpeech engine name; empty takes Qt's default.
    explicit QtSpeechSynthesizer(Logger logger, QString engine = {});
    ~QtSpeechSynthesizer() override;
    QtSpeechSynthesizer(const QtSpeechSynthesizer&) = delete;
    QtSpeechSynthesizer& operator=(const QtSpeechSynthesizer&) = delete;

    void speak(const Utterance& utterance) override;
    bool isSpeaking() const override { return speaking_->load(); }
    void stopSpeaking() override;
    bool hasEngine() const override;

private:
    void startEngine();

    Logger logger_;
    QString engine_;
    static constexpr int kExitWaitMilliseconds = 2000;

    QThread* thread_ = nullptr;      // left behind at exit if the engine does not let go in time
    SpeechWorker* worker_ = nullptr; // lives on thread_, deleted when it finishes
    std::shared_ptr<std::atomic<bool>> speaking_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> available_ = std::make_shared<std::atomic<bool>>(true);
};

} // namespace sm
