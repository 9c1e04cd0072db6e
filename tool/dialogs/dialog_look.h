// The look shared by the program's small dialogs: the program icon and the big bold
// text font of the status reporter and the waiting dialog.
#pragma once

#include <QFont>
#include <QIcon>

namespace kavonel {

// The program's icon (16 to 64 px) from the resources.
QIcon AppIcon();
// "Tahoma", 20 px, bold (fontconfig substitutes a Tahoma-metric face when missing).
QFont StatusTextFont();

}  // namespace kavonel
