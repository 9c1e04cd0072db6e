// The program's look in one place: its icon and the fonts of its dialogs and window.
#pragma once

#include <QFont>
#include <QIcon>

namespace kavonel {

// The program's icon (16 to 64 px) from the resources.
QIcon AppIcon();
// The status reporter's and the waiting dialog's text: "Tahoma", cell height 20, bold.
QFont StatusTextFont();
// The command monitor: "Courier", cell height 12, weight 900.
QFont MonitorFont();
// The firmware version field and the status line: "Tahoma", cell height 14, bold.
QFont FieldFont();
// The dialogs' own font, "MS Shell Dlg" 8 pt.
QFont ShellDialogFont();
// The waiting dialog's own font, "Tahoma" 10 pt bold.
QFont WaitDialogFont();

// A font asked for by its Windows face name. Where that face is missing, faces of the
// same width are tried before the system's default substitute (often a much wider
// face, which would cut the texts the dialog geometry was made for).
QFont WindowsFont(const QString& face, bool monospace = false);

// A Windows font height is the height of the character cell (ascent plus descent as
// Windows measures them, from the face's OS/2 table), not the em that Qt's pixel size
// sets. The em in pixels that gives the resolved face of font that cell height.
int EmPixelsForCellHeight(const QFont& font, int cellHeight);

// The Windows faces that Debian's fonts-wine puts outside fontconfig's folders (the
// Tahoma-metric face), registered with Qt where the files exist and the system has no
// face of that name. Called by WindowsFont; once per application object.
void RegisterWindowsFaces();

}  // namespace kavonel
