/* The program's five dialogs as templates: resource IDs, control IDs, captions, and
 * every control's kind and rectangle in dialog units. Written once, in preprocessor
 * definitions only, so that the Win32 resource script (through windres's preprocessor)
 * and C++ (both front ends and their tests) include the same table.
 *
 * A dialog's controls are a list macro: NAME_CONTROLS(X) expands X(name, id, kind,
 * caption, x, y, cx, cy) once per control, in tab order. `name` is the control's name in
 * the Qt forms; `kind` one of the KIND_ tokens below, which the resource script turns
 * into a window class and styles; `caption` a UTF-8 string literal.
 *
 * Kinds: GROUPBOX; PUSHBUTTON; PUSHBUTTON_WRAP (caption wraps onto several lines);
 * DEFPUSHBUTTON; LTEXT (left-aligned static text); FIELD (left-aligned static text
 * that shows outside text: no mnemonics); CTEXT (centred static text); ICON (the
 * program's icon); MONITOR (the read-only, multi-line command monitor); COMBO (drop-down
 * combo box with edit field); CHECKBOX (automatic check box without text). */
#ifndef KAVONEL_RESOURCES_DIALOG_TEMPLATES_H
#define KAVONEL_RESOURCES_DIALOG_TEMPLATES_H

/* Resources. */
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TARROW_DIALOG 102
#define IDR_MAINFRAME 128
#define IDD_CONFIGURATION_APPLET 129
#define IDD_STATUS_UPDATE 137
#define IDD_WAIT_DIALOG 138

/* The system menu's About item. */
#define IDM_ABOUTBOX 0x0010
#define KAVONEL_ABOUT_MENU_TEXT "&About Orvessa Configuration Tool"

/* Controls without an ID of their own. */
#define IDC_STATIC_TEXT (-1)

/* Main dialog. */
#define IDC_COMMAND_MONITOR 1005
#define IDC_CLEAR 1004
#define IDC_CHECK_CONNECTION 1010
#define IDC_RESET_TO_DEFAULT 1011
#define IDC_REBOOT_READER 1012
#define IDC_FIRMWARE_VERSION 1013
#define IDC_SETTINGS 1014
#define IDC_RUN_SCRIPT 1015
#define IDC_STATUS_LINE 1017

/* Settings dialog. */
#define IDC_READER_TYPE_LIST 1000
#define IDC_COM_PORT_LIST 1001
#define IDC_BAUD_RATE_LIST 1002
#define IDC_LOG_COMMANDS 1003
#define IDC_SETTINGS_OK 1004

/* Status reporter and waiting dialog. */
#define IDC_STATUS_OK 1018
#define IDC_STATUS_TEXT 1019
#define IDC_WAIT_TEXT 1020

/* The about box's OK is the dialog's own OK. */
#define IDC_ABOUT_OK 1

/* Dialog fonts: "MS Shell Dlg" 8 pt for all but the waiting dialog. */
#define KAVONEL_SHELL_FONT_FACE "MS Shell Dlg"
#define KAVONEL_SHELL_FONT_POINTS 8
#define KAVONEL_WAIT_FONT_FACE "Tahoma"
#define KAVONEL_WAIT_FONT_POINTS 10
#define KAVONEL_WAIT_FONT_WEIGHT 700

#define TARROW_DIALOG_CAPTION "Orvessa Reader Configuration Tool (Version 1.3.3)"
#define TARROW_DIALOG_WIDTH 451
#define TARROW_DIALOG_HEIGHT 375
#define TARROW_DIALOG_CONTROLS(X)                                                               \
  X(readerOperationsGroup, IDC_STATIC_TEXT, GROUPBOX, "Reader Operations", 7, 9, 245, 144)     \
  X(checkConnectionButton, IDC_CHECK_CONNECTION, PUSHBUTTON, "&Check Reader Connection", 31,   \
    23, 87, 37)                                                                                \
  X(runScriptButton, IDC_RUN_SCRIPT, PUSHBUTTON_WRAP, "Set Configuration from Text File", 139, \
    23, 87, 37)                                                                                \
  X(resetToDefaultButton, IDC_RESET_TO_DEFAULT, PUSHBUTTON_WRAP,                               \
    "Reset Configuration to Default", 31, 66, 87, 37)                                          \
  X(rebootReaderButton, IDC_REBOOT_READER, PUSHBUTTON, "Reboot Reader", 31, 109, 87, 37)       \
  X(applicationOptionsGroup, IDC_STATIC_TEXT, GROUPBOX, "Application Options", 258, 9, 186,    \
    60)                                                                                        \
  X(settingsButton, IDC_SETTINGS, PUSHBUTTON, "Settings", 296, 25, 96, 30)                     \
  X(firmwareVersionGroup, IDC_STATIC_TEXT, GROUPBOX, "Firmware Version", 257, 74, 186, 49)     \
  X(firmwareVersionField, IDC_FIRMWARE_VERSION, FIELD, "", 283, 92, 134, 20)                   \
  X(statusLine, IDC_STATUS_LINE, FIELD, "", 272, 136, 160, 18)                                 \
  X(commandMonitorGroup, IDC_STATIC_TEXT, GROUPBOX, "Command Monitor", 7, 157, 441, 210)       \
  X(commandMonitor, IDC_COMMAND_MONITOR, MONITOR, "", 11, 169, 433, 182)                       \
  X(clearButton, IDC_CLEAR, PUSHBUTTON, "Clear", 10, 352, 54, 12)

#define ABOUT_DIALOG_CAPTION "About Orvessa Configuration Tool"
#define ABOUT_DIALOG_WIDTH 194
#define ABOUT_DIALOG_HEIGHT 70
/* An icon control takes the icon's own size; its template size is 0 x 0. */
#define ABOUT_DIALOG_CONTROLS(X)                                                              \
  X(iconLabel, IDC_STATIC_TEXT, ICON, "", 14, 14, 0, 0)                                      \
  X(versionText, IDC_STATIC_TEXT, LTEXT, "Orvessa Configuration Tool, Version 1.3.2", 42, 14, \
    145, 8)                                                                                   \
  X(okButton, IDC_ABOUT_OK, DEFPUSHBUTTON, "OK", 137, 49, 50, 14)

#define STATUS_DIALOG_CAPTION "Status Reporter"
#define STATUS_DIALOG_WIDTH 279
#define STATUS_DIALOG_HEIGHT 134
#define STATUS_DIALOG_CONTROLS(X)                                   \
  X(okButton, IDC_STATUS_OK, PUSHBUTTON, "OK", 99, 95, 82, 32)     \
  X(statusText, IDC_STATUS_TEXT, FIELD, "", 32, 24, 220, 53)

#define WAIT_DIALOG_CAPTION "Waiting Dialogue"
#define WAIT_DIALOG_WIDTH 168
#define WAIT_DIALOG_HEIGHT 70
/* The last character is U+2026, after a space. */
#define WAIT_DIALOG_TEXT "Checking connection to Orvessa Reader …"
#define WAIT_DIALOG_CONTROLS(X) X(waitText, IDC_WAIT_TEXT, CTEXT, WAIT_DIALOG_TEXT, 10, 14, 149, 31)

/* A combo box's template height is its dropped-down extent. */
#define SETTINGS_DIALOG_CAPTION "Configuration Tool - Settings"
#define SETTINGS_DIALOG_WIDTH 268
#define SETTINGS_DIALOG_HEIGHT 157
#define SETTINGS_DIALOG_CONTROLS(X)                                                      \
  X(readerTypeLabel, IDC_STATIC_TEXT, LTEXT, "Reader Type", 23, 18, 42, 8)              \
  X(readerTypeList, IDC_READER_TYPE_LIST, COMBO, "", 126, 17, 127, 63)                   \
  X(comPortLabel, IDC_STATIC_TEXT, LTEXT, "COM Port", 23, 41, 32, 8)                    \
  X(comPortList, IDC_COM_PORT_LIST, COMBO, "", 126, 40, 75, 62)                          \
  X(baudRateLabel, IDC_STATIC_TEXT, LTEXT, "BaudRate", 23, 64, 32, 8)                   \
  X(baudRateList, IDC_BAUD_RATE_LIST, COMBO, "", 126, 63, 76, 68)                        \
  X(logCommandsLabel, IDC_STATIC_TEXT, LTEXT, "Log Commands to File", 25, 90, 95, 8)    \
  X(logCommandsCheck, IDC_LOG_COMMANDS, CHECKBOX, "", 126, 90, 16, 10)                   \
  X(okButton, IDC_SETTINGS_OK, PUSHBUTTON, "OK", 91, 113, 84, 34)

/* Why the port did not open: a box beside the main window, not modal. The Qt front end
 * shows a message box of its toolkit instead. */
#define IDD_PORT_PROBLEM 140
#define IDC_PORT_PROBLEM_ICON 1030
#define IDC_PORT_PROBLEM_TEXT 1031
#define PORT_PROBLEM_DIALOG_WIDTH 280
#define PORT_PROBLEM_DIALOG_HEIGHT 74
#define PORT_PROBLEM_DIALOG_CONTROLS(X)                                   \
  X(icon, IDC_PORT_PROBLEM_ICON, ICON, "", 10, 10, 0, 0)                \
  X(text, IDC_PORT_PROBLEM_TEXT, FIELD, "", 42, 10, 228, 36)            \
  X(okButton, IDC_ABOUT_OK, DEFPUSHBUTTON, "OK", 220, 54, 50, 14)

#endif /* KAVONEL_RESOURCES_DIALOG_TEMPLATES_H */
