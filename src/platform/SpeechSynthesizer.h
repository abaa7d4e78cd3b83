#pragma once

#include <QString>

#include <optional>

namespace sm {

struct Utterance {
    QString text;
    double rate = 0.5;   // 0 to 1
    double volume = 1.0; // 0 to 1
    // A BCP 47 language tag ("en-GB") whose voice should speak; none: the engine's default voice.
    std::optional<QString> voice;
};

// Speaks on its own: speak() returns at once.
class SpeechSynthesizer {
public:
    virtual ~SpeechSynthesizer() = default;
    virtual void speak(const Utterance& utterance) = 0;
    virtual bool isSpeaking() const = 0;
    // Stops the current utterance at once, not at the next word.
    virtual void stopSpeaking() = 0;
    // False when no engine is installed (or the one there did not start): nothing will be heard.
    virtual bool hasEngine() const { return true; }
};

} // namespace sm
