// The program's look in one place: its icon and the fonts of its dialogs and window.
#pragma once

#include <QFont>
#include <QIcon>

namespace kavonel {

// The program's icon (16 to 64 px) from the resources.
QIcon AppIcon();
// "Tahoma", 20 px, bold.
QFont StatusTextFont();
// The command monitor: "Courier", 12 px, weight 900.
QFont MonitorFont();
// The firmware version field and the status line: "Tahoma", 14 px, bold.
QFont FieldFont();
// The dialogs' own font, "MS Shell Dlg" 8 pt.
QFont ShellDialogFont();
// A font asked for by its Windows face name. Where that face is missing, faces of the
// same width are tried before the system's default substitute (often a much wider
// face, which would cut the texts the dialog geometry was made for).
QFont WindowsFont(const QString& face, bool monospace = false);

}  // namespace kavonel
