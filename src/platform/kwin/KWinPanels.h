#pragma once

#include "platform/kwin/KWinWindowServer.h"
#include "platform/widgets/HostedPanel.h"

namespace sm::kwin {

using KWinLabelPanel = widgets::HostedLabelPanel<KWinWindowServer>;
using KWinEditorPanel = widgets::HostedEditorPanel<KWinWindowServer>;

} // namespace sm::kwin
