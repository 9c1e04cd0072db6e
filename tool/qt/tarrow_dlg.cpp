#include "qt/tarrow_dlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTextCursor>

#include "link/com_port.h"
#include "monitor/monitor_text.h"
#include "qt/about_dlg.h"
#include "qt/configuration_applet.h"
#include "qt/dialog_look.h"
#include "qt/status_update.h"
#include "qt/wait_dialog.h"
#include "resources/window_texts.h"
#include "ui_tarrow_dlg.h"

namespace kavonel {
namespace {

// The events carry what the worker hands over: the text (owned by the event and freed
// with it) and whether detection started or ended, so a state handled late can never
// be read as a different one.
class MonitorTextEvent final : public QEvent {
 public:
  explicit MonitorTextEvent(std::string text)
      : QEvent(static_cast<QEvent::Type>(kMonitorTextEvent)), text_(std::move(text)) {}
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class ReaderCheckStateEvent final : public QEvent {
 public:
  explicit ReaderCheckStateEvent(bool running)
      : QEvent(static_cast<QEvent::Type>(kReaderCheckStateEvent)), running_(running) {}
  bool Running() const { return running_; }

 private:
  bool running_;
};

class ProgramDialogs final : public WindowDialogs {
 public:
  bool EditSettings() override { return g_settingsDialog.DoModal() == CConfigurationApplet::IDOK; }
  void ShowStatus(std::string_view text) override { kavonel::ShowStatus(text); }
  void ShowWaitDialog() override { g_waitDialog.DoModal(); }
  void EndWaitDialog() override { g_waitDialog.EndDialog(CWaitDialog::IDOK); }
  void ShowAbout(QWidget* parent) override { CAboutDlg().DoModal(parent); }
  ScriptChoice ChooseScriptFile(QWidget* parent) override {
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilter(QString::fromUtf8(texts::kScriptFileFilter));
    dialog.setDefaultSuffix(QString::fromUtf8(texts::kScriptFileSuffix));
    ScriptChoice choice;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return choice;
    choice.result = ScriptChoice::kChosen;
    choice.path = dialog.selectedFiles().front().toStdString();
    return choice;
  }
  void ShowPortProblem(QWidget* parent, std::string_view reason) override {
    if (portProblem_ == nullptr) {
      portProblem_ = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(), {},
                                     QMessageBox::Ok, parent);
      portProblem_->setModal(false);
      // The reason names the port as the operator typed it.
      portProblem_->setTextFormat(Qt::PlainText);
    }
    portProblem_->setText(
        QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())));
    portProblem_->show();
    portProblem_->raise();
  }
  void ClosePortProblem() override {
    if (portProblem_ != nullptr) portProblem_->hide();
  }

 private:
  QPointer<QMessageBox> portProblem_;  // one box, reused; goes with the window
};

// A QPushButton never wraps its caption: break it between words where a line would
// no longer fit the button.
void WrapCaption(QPushButton* button) {
  const QFontMetrics metrics(button->font());
  const int room = button->width() - 12;
  const QStringList words = button->text().split(QLatin1Char(' '));
  QStringList lines;
  QString line;
  for (const QString& word : words) {
    const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
    QString shown = candidate;
    shown.remove(QLatin1Char('&'));
    if (!line.isEmpty() && metrics.horizontalAdvance(shown) > room) {
      lines << line;
      line = word;
    } else {
      line = candidate;
    }
  }
  lines << line;
  button->setText(lines.join(QLatin1Char('\n')));
}

CLogFile MakeLogFile(const std::string& path) {
  if (path.empty()) return CLogFile();
  return CLogFile(path);
}

}  // namespace

std::unique_ptr<WindowDialogs> MakeProgramDialogs() {
  return std::make_unique<ProgramDialogs>();
}

void CTarrowDlg::MonitorDisplay::AppendMonitorText(std::string_view text) {
  if (widget_ == nullptr) return;
  // Insert at the end through a cursor: the cost does not grow with the text shown.
  QTextCursor cursor(widget_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  QScrollBar* bar = widget_->verticalScrollBar();
  bar->setValue(bar->maximum());
}

CTarrowDlg::CTarrowDlg(WindowOptions options)
    : QDialog(nullptr),
      ui_(std::make_unique<Ui::CTarrowDlg>()),
      m_dialogs(options.dialogs ? std::move(options.dialogs) : MakeProgramDialogs()),
      m_startDetection(std::move(options.startDetection)),
      m_logFile(MakeLogFile(options.logFilePath)),
      m_port(options.port != nullptr ? *options.port : TheComPort()),
      m_detection(*this, m_port) {
  ui_->setupUi(this);
  setFont(ShellDialogFont());
  m_monitorWidget = ui_->commandMonitor;
  m_gate->target = this;
  // A modal-frame window with caption and close box, on the task bar; no minimize box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowIcon(AppIcon());

  // The monitor: read-only, no caret, nothing can be selected, no copy menu.
  m_monitorWidget->setReadOnly(true);
  m_monitorWidget->setTextInteractionFlags(Qt::NoTextInteraction);
  m_monitorWidget->setContextMenuPolicy(Qt::PreventContextMenu);
  m_monitorWidget->setUndoRedoEnabled(false);

  // Only these two captions are multi-line.
  WrapCaption(ui_->runScriptButton);
  WrapCaption(ui_->resetToDefaultButton);
  // No button is the default one, not even for a moment: an auto-default button would
  // become it when the window is shown, and Enter anywhere would press it.
  for (QPushButton* button : findChildren<QPushButton*>()) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }

  connect(ui_->settingsButton, &QPushButton::clicked, this, [this] { OnSettings(); });
  connect(ui_->runScriptButton, &QPushButton::clicked, this, [this] { OnRunScript(); });
  connect(ui_->checkConnectionButton, &QPushButton::clicked, this, [this] { OnCheckConnection(); });
  connect(ui_->resetToDefaultButton, &QPushButton::clicked, this, [this] { OnResetToDefault(); });
  connect(ui_->rebootReaderButton, &QPushButton::clicked, this, [this] { OnRebootReader(); });
  connect(ui_->clearButton, &QPushButton::clicked, this, [this] { OnClear(); });

  // While an operation waits for the reader on this thread, the window keeps painting.
  m_port.SetWaitHook([] { QCoreApplication::processEvents(); });
  m_ownsWaitHook = true;
}

CTarrowDlg::~CTarrowDlg() {
  // A detection still running finishes without reaching this window.
  m_detection.DetachView();
  {
    // Nothing posted from now on reaches this window; what is queued is dropped with
    // the window (Qt removes a receiver's pending events when it is destroyed).
    std::lock_guard<std::mutex> guard(m_gate->lock);
    m_gate->target = nullptr;
  }
  if (m_ownsWaitHook) m_port.SetWaitHook({});
  QCoreApplication::removePostedEvents(this);
}

bool CTarrowDlg::OnInitDialog() {
  if (!m_dialogs->EditSettings()) return false;
  m_settings = g_settingsDialog.m_settings;
  m_monitorWidget->setFont(MonitorFont());
  ui_->firmwareVersionField->setFont(FieldFont());
  ui_->statusLine->setFont(FieldFont());
  StartReaderDetection();
  // The buttons stay disabled until reader detection has ended.
  DisableOperationButtons();
  return true;
}

int CTarrowDlg::DoModal() {
  if (!OnInitDialog()) return QDialog::Accepted;
  return exec();
}

void CTarrowDlg::OnSettings() {
  if (!m_dialogs->EditSettings()) return;
  m_dialogs->ClosePortProblem();
  ClearMonitor();
  SetStatusLine({});
  ShowFirmwareVersion({});
  m_detection.ClearReaderAnswered();
  DisableOperationButtons();
  m_settings = g_settingsDialog.m_settings;
  StartReaderDetection();
}

void CTarrowDlg::OnRunScript() {
  m_dialogs->ClosePortProblem();
  RunConfigurationScript(*this, m_port, m_settings);
}
void CTarrowDlg::OnCheckConnection() {
  m_dialogs->ClosePortProblem();
  CheckReaderConnection(*this, m_port, m_settings);
}
void CTarrowDlg::OnResetToDefault() {
  m_dialogs->ClosePortProblem();
  ResetConfigurationToDefault(*this, m_port, m_settings);
}
void CTarrowDlg::OnRebootReader() {
  m_dialogs->ClosePortProblem();
  RebootReader(*this, m_port, m_settings);
}

void CTarrowDlg::OnClear() {
  // The log file keeps what it has.
  ClearMonitor();
  SetStatusLine({});
}

void CTarrowDlg::OnAbout() {
  m_dialogs->ShowAbout(this);
}

void CTarrowDlg::StartReaderDetection() {
  if (m_startDetection) {
    m_startDetection(m_settings, LiveReaderType());
  } else {
    m_detection.Start(m_settings, LiveReaderType());
  }
}

void CTarrowDlg::AppendMonitorText(std::string_view text) {
  m_monitor.AppendMonitorText(text);
}

void CTarrowDlg::ClearMonitor() {
  m_monitorWidget->clear();
}

void CTarrowDlg::SetStatusLine(std::string_view text) {
  ui_->statusLine->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void CTarrowDlg::ShowStatus(std::string_view text) {
  m_dialogs->ShowStatus(text);
}

void CTarrowDlg::DisableOperationButtons() {
  // Qt moves the focus on from a button it disables; remember where it was, so it can
  // go back there when that control is enabled again.
  bool anyEnabled = false;
  for (Button button : {kCheckConnection, kRebootReader, kResetToDefault, kRunScript, kSettings}) {
    anyEnabled = anyEnabled || ButtonFor(button)->isEnabled();
  }
  if (anyEnabled) m_focusBeforeOperation = focusWidget();
  for (Button button : {kCheckConnection, kRebootReader, kResetToDefault, kRunScript, kSettings}) {
    ButtonFor(button)->setEnabled(false);
  }
}

void CTarrowDlg::EnableOperationButtons() {
  ButtonFor(kCheckConnection)->setEnabled(true);
  if (LiveReaderType() != 0) ButtonFor(kRebootReader)->setEnabled(true);
  ButtonFor(kResetToDefault)->setEnabled(true);
  ButtonFor(kRunScript)->setEnabled(true);
  ButtonFor(kSettings)->setEnabled(true);
  RestoreFocus();
}

void CTarrowDlg::RestoreFocus() {
  QWidget* control = m_focusBeforeOperation;
  if (control == nullptr || !control->isEnabled()) return;
  m_focusBeforeOperation = nullptr;
  // Also while a dialog is above the window: the control has the focus once the
  // window is active again.
  control->setFocus(Qt::OtherFocusReason);
}

void CTarrowDlg::EnableButton(Button button) {
  // Reboot is never offered for a Lark, whoever asks.
  if (button == kRebootReader && LiveReaderType() == 0) return;
  ButtonFor(button)->setEnabled(true);
  RestoreFocus();
}

ScriptChoice CTarrowDlg::ChooseScriptFile() {
  return m_dialogs->ChooseScriptFile(this);
}

void CTarrowDlg::ShowWaitDialog() {
  m_dialogs->ShowWaitDialog();
}

void CTarrowDlg::EndWaitDialog() {
  m_dialogs->EndWaitDialog();
}

void CTarrowDlg::ShowFirmwareVersion(std::string_view text) {
  ui_->firmwareVersionField->setText(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

int CTarrowDlg::LiveReaderType() const {
  return g_settingsDialog.m_settings.nReaderType;
}

void CTarrowDlg::ShowPortProblem(std::string_view reason) {
  m_dialogs->ShowPortProblem(this, reason);
}

void CTarrowDlg::Post(QEvent* event) {
  std::lock_guard<std::mutex> guard(m_gate->lock);
  if (m_gate->target == nullptr) {
    delete event;
    return;
  }
  QCoreApplication::postEvent(m_gate->target, event);
}

void CTarrowDlg::PostMonitorText(std::string text) {
  try {
    text.resize(CutMonitorText(text).size());
    Post(new MonitorTextEvent(std::move(text)));
  } catch (...) {
    // A report that cannot be posted is dropped; the detection goes on.
  }
}

void CTarrowDlg::PostReaderCheckState(bool running) {
  Post(new ReaderCheckStateEvent(running));
}

void CTarrowDlg::PostShowFirmwareVersion() {
  Post(new QEvent(static_cast<QEvent::Type>(kShowFirmwareVersionEvent)));
}

bool CTarrowDlg::event(QEvent* event) {
  switch (static_cast<int>(event->type())) {
    case kShowFirmwareVersionEvent:
      m_detection.OnShowFirmwareVersion();
      return true;
    case kMonitorTextEvent:
      // Shown as it came: the text is never used as a format.
      AppendMonitorText(static_cast<MonitorTextEvent*>(event)->Text());
      return true;
    case kReaderCheckStateEvent:
      m_detection.OnReaderCheckState(static_cast<ReaderCheckStateEvent*>(event)->Running());
      return true;
    default:
      return QDialog::event(event);
  }
}

void CTarrowDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  // The item stands behind a separator, which QMenu would hide as the first entry.
  menu.setSeparatorsCollapsible(false);
  menu.addSeparator();
  QAction* about = menu.addAction(QString::fromUtf8(texts::kAboutMenuItem));
  if (menu.exec(event->globalPos()) == about) OnAbout();
}

void CTarrowDlg::keyPressEvent(QKeyEvent* event) {
  const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                     (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (!enter) {
    QDialog::keyPressEvent(event);
    return;
  }
  // Enter presses a focused button (it is the default one while it has the focus) and
  // does nothing anywhere else: the monitor is read-only, and the window has no OK, so
  // a stray Enter can never end the program and throw the monitor away. Escape and the
  // close box end it.
  auto* button = qobject_cast<QPushButton*>(focusWidget());
  if (button != nullptr && button->isEnabled()) button->click();
}

QPlainTextEdit* CTarrowDlg::Monitor() const {
  return m_monitorWidget;
}

QPushButton* CTarrowDlg::ButtonFor(Button button) const {
  switch (button) {
    case kCheckConnection:
      return ui_->checkConnectionButton;
    case kResetToDefault:
      return ui_->resetToDefaultButton;
    case kRebootReader:
      return ui_->rebootReaderButton;
    case kRunScript:
      return ui_->runScriptButton;
    case kSettings:
      return ui_->settingsButton;
  }
  return ui_->settingsButton;
}

}  // namespace kavonel
