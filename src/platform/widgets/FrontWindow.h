#pragma once

class QWidget;

namespace sm::widgets {

// Shows one of the program's windows in front with the keyboard; the window asked for last wins. A
// window the window manager has not mapped yet is activated once it is exposed, and only if no other
// was asked for since: Qt would otherwise keep the request and send it on mapping, after a later one.
void bringToFront(QWidget* window);

} // namespace sm::widgets
