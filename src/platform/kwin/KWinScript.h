#pragma once

namespace sm::kwin {

// The KWin script (data/kwin/spacemarquee.js), built in: the program writes it out for KWin to load.
extern const char kScriptSource[];

} // namespace sm::kwin
