#pragma once

#include "platform/sway/SwayWindowServer.h"
#include "platform/widgets/HostedPanel.h"

namespace sm::sway {

using SwayLabelPanel = widgets::HostedLabelPanel<SwayWindowServer>;
using SwayEditorPanel = widgets::HostedEditorPanel<SwayWindowServer>;

} // namespace sm::sway
