// The look shared by the program's small dialogs: the program icon and the big bold
// text font of the status reporter and the waiting dialog.
#pragma once

#include <QFont>
#include <QIcon>

namespace kavonel {

// The program's icon (16 to 64 px) from the resources.
QIcon AppIcon();
// "Tahoma", 20 px, bold.
QFont StatusTextFont();
// The dialogs' own font, "MS Shell Dlg" 8 pt.
QFont ShellDialogFont();
// A font asked for by its Windows face name. Where that face is missing, faces of the
// same width are tried before the system's default substitute (often a much wider
// face, which would cut the texts the dialog geometry was made for).
QFont WindowsFont(const QString& face, bool monospace = false);

}  // namespace kavonel
