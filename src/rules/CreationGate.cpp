#include "rules/CreationGate.h"

#include <algorithm>

namespace sm::CreationGate {

Step next(const Facts& facts) {
    if (facts.withinReconfigGrace) return Step::suppressed;
    if (facts.rawWithoutA && facts.rawLagDeferrals < kRawLagStrikes) return Step::deferred;
    if (facts.existing == 0) return Step::create;
    return facts.elapsed < facts.quiet ? Step::gated : Step::escalated;
}

double quietSeconds(std::optional<double> stored) {
    if (!stored || !(*stored > 0.0)) return kDefaultQuietSeconds;
    return std::clamp(*stored, kMinQuietSeconds, kMaxQuietSeconds);
}

} // namespace sm::CreationGate
