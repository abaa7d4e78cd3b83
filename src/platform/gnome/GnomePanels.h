#pragma once

#include "platform/gnome/GnomeWindowServer.h"
#include "platform/widgets/HostedPanel.h"

namespace sm::gnome {

using GnomeLabelPanel = widgets::HostedLabelPanel<GnomeWindowServer>;
using GnomeEditorPanel = widgets::HostedEditorPanel<GnomeWindowServer>;

} // namespace sm::gnome
