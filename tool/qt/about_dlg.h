// The about box: icon, name and version, OK.
#pragma once

class QWidget;

namespace kavonel {

class CAboutDlg {
 public:
  int DoModal(QWidget* parent = nullptr);
};

}  // namespace kavonel
