#pragma once

#include <QtGlobal>

#include <optional>

namespace sm {

// Whether a time-out that found no label for the active desktop makes a tag for it now. A missing
// label is more often late than absent: within the grace after a display reconfiguration, while a
// label on the screen is still visible without being on the active desktop (for a few strikes), and on
// a screen that has tags until the episode has been quiet long enough, the episode waits again.
namespace CreationGate {

inline constexpr int kRawLagStrikes = 3;
inline constexpr double kDefaultQuietSeconds = 4.0;
inline constexpr double kMinQuietSeconds = 1.0;
inline constexpr double kMaxQuietSeconds = 60.0;

struct Facts {
    bool withinReconfigGrace = false;
    bool rawWithoutA = false; // a label on the screen is visible but not on the active desktop
    int rawLagDeferrals = 0;  // strikes already taken in this episode
    qsizetype existing = 0;   // tags bound to the screen
    double elapsed = 0.0;     // since the episode began
    double quiet = kDefaultQuietSeconds;
};

enum class Step {
    suppressed, // within the reconfiguration grace: wait again
    deferred,   // a lagging label: one more strike, wait again
    gated,      // a populated screen, not quiet long enough: wait again
    escalated,  // a populated screen, quiet long enough: create
    create,     // an empty screen: create
};

Step next(const Facts& facts);

// The quiet period for a populated screen from the stored setting: the default when absent or not
// positive, else kept within its bounds.
double quietSeconds(std::optional<double> stored);

} // namespace CreationGate

} // namespace sm
