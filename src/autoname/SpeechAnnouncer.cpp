#include "autoname/SpeechAnnouncer.h"

#include <utility>

#include <QLocale>

#include <algorithm>

namespace sm {

namespace {

// As the utterance stores it: a 32-bit float, below 0 raised to 0, 1 or more capped at 1.
double unitInterval(double value) {
    if (!(value > 0.0)) return 0.0; // NaN too
    return static_cast<double>(static_cast<float>(std::min(value, 1.0)));
}

} // namespace

SpeechAnnouncer::SpeechAnnouncer(std::shared_ptr<SpeechSynthesizer> synthesizer, Logger logger,
                                 std::optional<QString> language, bool warmUp)
    : synthesizer_(std::move(synthesizer)), logger_(std::move(logger)), voice_(std::move(language)) {
    followSetting(warmUp);
}

void SpeechAnnouncer::followSetting(bool on) {
    if (!on || std::exchange(warm_, true)) return;
    synthesizer_->speak({QStringLiteral(" "), 0.5, 0.0, voice_});
}

std::optional<QString> SpeechAnnouncer::currentLanguageCode() {
    const QLocale locale = QLocale::system();
    if (locale.language() == QLocale::C) return std::nullopt;
    return locale.name().replace(QLatin1Char('_'), QLatin1Char('-'));
}

void SpeechAnnouncer::speak(const QString& title, double rate, double volume) {
    const QString text = title.trimmed();
    if (text.isEmpty()) {
        logger_.debug(QStringLiteral("Speech skipped: empty title"));
        return;
    }
    if (text.toLower() == QLatin1String("untitled")) {
        logger_.debug(QStringLiteral("Speech skipped: placeholder 'Untitled'"));
        return;
    }
    if (synthesizer_->isSpeaking()) synthesizer_->stopSpeaking();
    synthesizer_->speak({text, unitInterval(rate), unitInterval(volume), voice_});
    logger_.info(QStringLiteral("Speaking Space name: ") + text);
}

void SpeechAnnouncer::stopSpeaking() {
    if (synthesizer_->isSpeaking()) synthesizer_->stopSpeaking();
}

} // namespace sm
