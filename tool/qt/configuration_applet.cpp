#include "qt/configuration_applet.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "qt/dialog_look.h"
#include "ui_configuration_applet.h"

namespace kavonel {

CConfigurationApplet g_settingsDialog;

namespace {

// The dialog's window: mirrors a SettingsForm into the controls and back; the rules
// themselves live in settings_rules.
class SettingsWindow final : public QDialog {
 public:
  SettingsWindow(ReaderSettings& settings, std::vector<std::string> ports, QWidget* parent)
      : QDialog(parent), settings_(settings) {
    ui_.setupUi(this);
    setFont(ShellDialogFont());
    setWindowIcon(AppIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    form_ = OpenSettingsForm(settings_, std::move(ports));
    for (const std::string& port : form_.portRows) {
      ui_.comPortList->addItem(QString::fromStdString(port));
    }
    ui_.comPortList->setCurrentIndex(form_.portRow);
    ui_.comPortList->setEditText(QString::fromStdString(form_.portText));
    for (int baud : kBaudRateRows) ui_.baudRateList->addItem(QString::number(baud));
    for (const char* type : kReaderTypeRows) ui_.readerTypeList->addItem(QString::fromUtf8(type));
    ui_.readerTypeList->setCurrentIndex(form_.readerTypeRow);
    ui_.baudRateList->setCurrentIndex(form_.baudRow);
    ui_.logCommandsCheck->setChecked(form_.logCommands);
    ui_.comPortList->view()->setMinimumWidth(ui_.comPortList->width() * 2);
    ui_.readerTypeList->view()->setMinimumWidth(ui_.readerTypeList->width() * 3 / 2);

    // Only a pick by the operator counts as a change (activated, not
    // currentIndexChanged): the pre-selection above must not store anything.
    connect(ui_.readerTypeList, &QComboBox::activated, this, [this](int row) {
      PickReaderType(form_, settings_, row);
      ui_.baudRateList->setCurrentIndex(form_.baudRow);
    });
    connect(ui_.okButton, &QPushButton::clicked, this, [this] { OnOK(); });

    // Enter on the dialog or any of its controls is OK, also in a list's edit field.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    ui_.okButton->setFocus();
  }

  void OnOK() {
    form_.portRow = ui_.comPortList->currentIndex();
    form_.portText = ui_.comPortList->currentText().toStdString();
    form_.readerTypeRow = ui_.readerTypeList->currentIndex();
    form_.baudRow = ui_.baudRateList->currentIndex();
    form_.logCommands = ui_.logCommandsCheck->isChecked();
    AcceptSettingsForm(form_, settings_);
    accept();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        OnOK();
        return true;
      }
    }
    return QDialog::eventFilter(watched, event);
  }

 private:
  Ui::CConfigurationApplet ui_;
  ReaderSettings& settings_;
  SettingsForm form_;
};

}  // namespace

int CConfigurationApplet::DoModal(QWidget* parent) {
  if (m_window != nullptr) return IDCANCEL;  // already shown
  SettingsWindow window(m_settings, m_listPorts ? m_listPorts() : std::vector<std::string>{},
                        parent);
  m_window = &window;
  const int result = window.exec();
  m_window = nullptr;
  return result == QDialog::Accepted ? IDOK : IDCANCEL;
}

}  // namespace kavonel
