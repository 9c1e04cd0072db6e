// What every dialog of the Win32 front end shares: the modal dialog on a template with
// its object, the fonts made from the templates' cell heights, placing a dialog where
// the operator looks, the controls' texts in UTF-8, and the message handling of a
// window that waits for the reader on its own thread.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kavonel {

// A dialog on a template of the program's resources, tied to this object while it is
// shown. Subclasses handle messages in OnMessage and answer as a dialog procedure does
// (TRUE: handled).
class TemplateDialog {
 public:
  virtual ~TemplateDialog() = default;
  // Modal: returns the EndDialog result, or -1 when the dialog could not be made.
  INT_PTR RunModal(int templateId, HWND owner);
  // Modeless (tests, the port problem box): the window, or null.
  HWND CreateModeless(int templateId, HWND owner);
  HWND Handle() const { return hwnd_; }

 protected:
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

// A font as the templates give them: lfHeight is the character cell's height (ascent
// plus descent), every other field 0 but the weight and the face. A fixed-pitch one
// says so, so that where the face is missing (Wine has no bitmap "Courier") the font
// mapper picks another fixed-pitch face rather than a proportional one.
HFONT CreateCellHeightFont(const wchar_t* face, int cellHeight, int weight, bool fixedPitch = false);

// Centred over the owner when it is shown, else on the screen's work area; always
// kept inside that work area.
void CenterOverOwner(HWND dialog);

void SetControlText(HWND control, std::string_view utf8);
std::string ControlText(HWND control);

// Handles the thread's pending window messages as a dialog's modal loop would, the
// keyboard of every dialog included; returns when none is left.
void HandlePendingMessages();

}  // namespace kavonel
