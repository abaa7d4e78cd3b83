#pragma once

#include "logging/Logger.h"
#include "platform/SpeechSynthesizer.h"

#include <QString>

#include <memory>
#include <optional>

namespace sm {

// Speaks the name of the desktop the user has just switched to. Decides what is not worth speaking
// (nothing, the placeholder "Untitled"), cuts the previous announcement off at once, and bounds the
// stored rate and volume. The space tracker decides when. Main thread only.
class SpeechAnnouncer {
public:
    // `language`: the user's language as a BCP 47 tag ("en-GB"), read once; none lets the engine
    // choose. With `warmUp`, speaks one silent utterance at once, so the engine is ready before the
    // first name. The engine is a daemon of its own here (speech-dispatcher), so the composition root
    // warms it up only for a user who has announcements on; otherwise the first name starts it.
    SpeechAnnouncer(std::shared_ptr<SpeechSynthesizer> synthesizer, Logger logger,
                    std::optional<QString> language, bool warmUp = true);

    // The user's language now, as a BCP 47 tag, for the constructor.
    static std::optional<QString> currentLanguageCode();

    void speak(const QString& title, double rate, double volume);
    // The announcement setting as it is now. Turned on, it warms the engine (once per program run), so
    // the first name spoken after the user switched announcements on does not wait for the engine.
    void followSetting(bool on);
    // For termination: stops an announcement being spoken.
    void stopSpeaking();

    SpeechSynthesizer& synthesizer() const { return *synthesizer_; }
    const std::optional<QString>& voice() const { return voice_; }

private:
    std::shared_ptr<SpeechSynthesizer> synthesizer_;
    Logger logger_;
    std::optional<QString> voice_;
    bool warm_ = false;
};

} // namespace sm
