#pragma once

#include "platform/SpeechSynthesizer.h"

#include <QList>

namespace sm {

// Records what it was asked to say. An utterance "speaks" until the test finishes it or it is stopped.
class RecordingSpeechSynthesizer final : public SpeechSynthesizer {
public:
    void speak(const Utterance& utterance) override {
        spoken << utterance;
        speaking = true;
    }
    bool isSpeaking() const override { return speaking; }
    void stopSpeaking() override {
        if (speaking) ++interruptions;
        speaking = false;
    }

    QList<Utterance> spoken;
    bool speaking = false;
    int interruptions = 0;
};

} // namespace sm
