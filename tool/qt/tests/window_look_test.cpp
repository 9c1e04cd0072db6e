// The window and its dialogs as built, against the dialog-unit templates they come
// from: every control's place and caption, the faces the fonts resolve to, and every
// text they can show, measured in the font it is drawn in against its box.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>
#include <functional>
#include <map>

#include "operations/operation_texts.h"
#include "qt/about_dlg.h"
#include "qt/configuration_applet.h"
#include "qt/dialog_look.h"
#include "qt/status_update.h"
#include "qt/tarrow_dlg.h"
#include "qt/testing/qt_testing.h"
#include "qt/wait_dialog.h"
#include "resources/dialog_templates.h"

namespace kavonel {
namespace {

using kavonel::testing::TestApplication;
using kavonel::testing::WhenModalShown;

// Dialog units of "MS Shell Dlg" 8 pt at 96 dpi: 6 x 13 px base units.
int Px(int dluX) {
  return static_cast<int>(std::lround(1.5 * dluX));
}
int Py(int dluY) {
  return static_cast<int>(std::lround(1.625 * dluY));
}

// The template's control kinds, by the header's own tokens.
enum class Kind {
  kGROUPBOX,
  kPUSHBUTTON,
  kPUSHBUTTON_WRAP,
  kDEFPUSHBUTTON,
  kLTEXT,
  kFIELD,
  kCTEXT,
  kICON,
  kMONITOR,
  kCOMBO,
  kCHECKBOX,
};

struct Control {
  const char* name;
  Kind kind;
  const char* caption;
  int x, y, width, height;
};

struct Form {
  const char* title;
  int width, height;
  std::vector<Control> controls;
};

#define KAVONEL_CONTROL(name, id, kind, caption, x, y, cx, cy) \
  Control{#name, Kind::k##kind, caption, x, y, cx, cy},
#define KAVONEL_FORM(PREFIX)                             \
  Form {                                                 \
    PREFIX##_CAPTION, PREFIX##_WIDTH, PREFIX##_HEIGHT, { \
      PREFIX##_CONTROLS(KAVONEL_CONTROL)                 \
    }                                                    \
  }
const Form kMainForm = KAVONEL_FORM(TARROW_DIALOG);
const Form kAboutForm = KAVONEL_FORM(ABOUT_DIALOG);
const Form kStatusForm = KAVONEL_FORM(STATUS_DIALOG);
const Form kWaitForm = KAVONEL_FORM(WAIT_DIALOG);
const Form kSettingsForm = KAVONEL_FORM(SETTINGS_DIALOG);
#undef KAVONEL_FORM
#undef KAVONEL_CONTROL

QString Caption(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) return edit->toPlainText();
  return {};
}

// The widget that renders each kind, and what the kind promises of it.
void ExpectKind(QWidget* widget, Kind kind) {
  auto* button = qobject_cast<QPushButton*>(widget);
  auto* label = qobject_cast<QLabel*>(widget);
  switch (kind) {
    case Kind::kGROUPBOX:
      EXPECT_NE(qobject_cast<QGroupBox*>(widget), nullptr);
      break;
    case Kind::kPUSHBUTTON:
    case Kind::kPUSHBUTTON_WRAP:
    case Kind::kDEFPUSHBUTTON:
      ASSERT_NE(button, nullptr);
      // Only a wrapping caption is broken onto lines of its own.
      EXPECT_EQ(button->text().contains(QLatin1Char('\n')), kind == Kind::kPUSHBUTTON_WRAP);
      if (kind == Kind::kDEFPUSHBUTTON) {
        EXPECT_TRUE(button->isDefault());
      }
      break;
    case Kind::kLTEXT:
    case Kind::kFIELD:
    case Kind::kCTEXT:
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(label->alignment().testFlag(Qt::AlignHCenter), kind == Kind::kCTEXT);
      // A field shows text from outside (a reader, a port name): never as markup.
      if (kind == Kind::kFIELD) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
      }
      break;
    case Kind::kICON:
      ASSERT_NE(label, nullptr);
      EXPECT_FALSE(label->pixmap().isNull());
      break;
    case Kind::kMONITOR:
      EXPECT_NE(qobject_cast<QPlainTextEdit*>(widget), nullptr);
      break;
    case Kind::kCOMBO:
      EXPECT_NE(qobject_cast<QComboBox*>(widget), nullptr);
      break;
    case Kind::kCHECKBOX:
      EXPECT_NE(qobject_cast<QCheckBox*>(widget), nullptr);
      break;
  }
}

void ExpectForm(QWidget* window, const Form& form) {
  SCOPED_TRACE(form.title);
  EXPECT_EQ(window->windowTitle(), QString::fromUtf8(form.title));
  EXPECT_EQ(window->size(), QSize(Px(form.width), Py(form.height)));
  QStringList named;
  QList<QWidget*> tabOrder;
  for (const Control& control : form.controls) {
    SCOPED_TRACE(control.name);
    named << QString::fromLatin1(control.name);
    auto* widget = window->findChild<QWidget*>(control.name);
    ASSERT_NE(widget, nullptr);
    ExpectKind(widget, control.kind);
    if (widget->focusPolicy() & Qt::TabFocus) tabOrder << widget;
    const QRect place = widget->geometry();
    EXPECT_EQ(place.topLeft(), QPoint(Px(control.x), Py(control.y)));
    switch (control.kind) {
      case Kind::kCOMBO:
        // The template's height is the dropped-down extent.
        EXPECT_EQ(place.width(), Px(control.width));
        EXPECT_LE(place.height(), Py(control.height));
        break;
      case Kind::kICON:
        EXPECT_EQ(place.size(), QSize(32, 32));
        break;
      default:
        EXPECT_EQ(place.size(), QSize(Px(control.width), Py(control.height)));
        break;
    }
    // A field's text comes at run time.
    if (control.kind != Kind::kFIELD) {
      // A multi-line button's caption is broken where its lines meet.
      QString caption = Caption(widget);
      caption.replace(QLatin1Char('\n'), QLatin1Char(' '));
      EXPECT_EQ(caption, QString::fromUtf8(control.caption));
    }
  }
  // Tab visits the controls in the template's order.
  for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i) {
    QWidget* next = tabOrder[i]->nextInFocusChain();
    while (next != tabOrder[i] && !tabOrder.contains(next)) next = next->nextInFocusChain();
    EXPECT_EQ(next->objectName().toStdString(), tabOrder[i + 1]->objectName().toStdString())
        << "after " << qPrintable(tabOrder[i]->objectName());
  }
  // Nothing on the form that the template does not have.
  for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->objectName().startsWith(QLatin1String("qt_"))) continue;
    EXPECT_TRUE(named.contains(child->objectName())) << qPrintable(child->objectName());
  }
}

// The window's modal pieces answer at once.
struct QuietDialogs : WindowDialogs {
  bool EditSettings() override { return true; }
  void ShowStatus(std::string_view) override {}
  void ShowWaitDialog() override {}
  void EndWaitDialog() override {}
  void ShowAbout(QWidget*) override {}
  ScriptChoice ChooseScriptFile(QWidget*) override { return {}; }
};

std::unique_ptr<CTarrowDlg> MakeMainWindow() {
  WindowOptions options;
  options.dialogs = std::make_unique<QuietDialogs>();
  options.logFilePath = "/dev/null";
  options.startDetection = [](const ReaderSettings&, int) {};
  auto window = std::make_unique<CTarrowDlg>(std::move(options));
  window->OnInitDialog();
  return window;
}

// Runs inspect on a program dialog while its DoModal runs, then ends it.
void WithDialog(const std::function<void()>& show, const std::function<void(QWidget*)>& inspect,
                const std::function<void(QWidget*)>& end = [](QWidget* w) {
                  static_cast<QDialog*>(w)->done(0);
                }) {
  bool seen = false;
  WhenModalShown([&](QWidget* w) {
    seen = true;
    inspect(w);
    end(w);
  });
  show();
  EXPECT_TRUE(seen);
}

void EndWait(QWidget*) {
  g_waitDialog.EndDialog(CWaitDialog::IDOK);
}

class LookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    g_settingsDialog.m_settings = ReaderSettings{};
    g_settingsDialog.m_listPorts = [] { return std::vector<std::string>{"/dev/ttyS0"}; };
  }
};

TEST_F(LookTest, EveryFormMatchesItsTemplate) {
  {
    auto window = MakeMainWindow();
    ExpectForm(window.get(), kMainForm);
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  }
  WithDialog([] { CAboutDlg().DoModal(); }, [](QWidget* w) { ExpectForm(w, kAboutForm); });
  WithDialog([] { ShowStatus("OK"); }, [](QWidget* w) { ExpectForm(w, kStatusForm); });
  WithDialog([] { g_waitDialog.DoModal(); }, [](QWidget* w) { ExpectForm(w, kWaitForm); }, EndWait);
  WithDialog([] { g_settingsDialog.DoModal(); },
             [](QWidget* w) { ExpectForm(w, kSettingsForm); });
}

TEST_F(LookTest, DialogFacesResolveToTahoma) {
  // scripts/install-deps installs fonts-wine for this face; without it the texts
  // would fall back to whatever the machine has.
  ASSERT_TRUE(QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")));
  const std::map<std::string, QFont> fonts{{"shell dialog", ShellDialogFont()},
                                           {"field", FieldFont()},
                                           {"status text", StatusTextFont()},
                                           {"wait dialog", WaitDialogFont()}};
  for (const auto& [name, font] : fonts) {
    EXPECT_EQ(QFontInfo(font).family(), "Tahoma") << name;
  }
  EXPECT_TRUE(QFontInfo(FieldFont()).bold());
  // What a widget of a form ends up drawing with, after the form's own font.
  auto window = MakeMainWindow();
  for (const char* name : {"statusLine", "clearButton", "readerOperationsGroup"}) {
    EXPECT_EQ(window->findChild<QWidget*>(name)->fontInfo().family(), "Tahoma") << name;
  }
}

TEST_F(LookTest, FontHeightsAreWindowsCellHeights) {
  // Tahoma's Windows cell is (usWinAscent 2049 + usWinDescent 423) / 2048 em, so a cell
  // of 14 is an em of 11.6 px and a cell of 20 one of 16.6 px.
  EXPECT_EQ(FieldFont().pixelSize(), 12);
  EXPECT_EQ(StatusTextFont().pixelSize(), 17);
  // 8 and 10 pt at 96 dpi.
  EXPECT_EQ(ShellDialogFont().pixelSize(), 11);
  EXPECT_EQ(WaitDialogFont().pixelSize(), 13);
  // The monitor's face is whatever monospace face resolves; its cell stays at 12.
  const QFont monitor = MonitorFont();
  EXPECT_EQ(monitor.weight(), QFont::Black);
  EXPECT_LE(QFontMetrics(monitor).height(), 12);
  EXPECT_GE(QFontMetrics(monitor).height(), 10);
}

// The box a label draws its text in, and the room that text needs there.
void ExpectLabelFits(QLabel* label, const QString& text) {
  SCOPED_TRACE(qPrintable(label->objectName() + QStringLiteral(": ") + text));
  label->setText(text);
  const QRect room = label->contentsRect();
  const int flags = static_cast<int>(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
  const QRect need = label->fontMetrics().boundingRect(room, flags, text);
  EXPECT_LE(need.width(), room.width());
  EXPECT_LE(need.height(), room.height());
}

void ExpectCaptionFits(QWidget* window) {
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    SCOPED_TRACE(qPrintable(button->objectName() + QStringLiteral(": ") + button->text()));
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QRect need = button->fontMetrics().boundingRect(
        room, Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
    EXPECT_LE(need.width(), room.width());
    EXPECT_LE(need.height(), room.height());
  }
  for (QGroupBox* group : window->findChildren<QGroupBox*>()) {
    EXPECT_LT(group->fontMetrics().horizontalAdvance(group->title()), group->width());
  }
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->text().isEmpty()) ExpectLabelFits(label, label->text());
  }
}

// The outcome texts as the status line shows them, or the status reporter.
QStringList OutcomeTexts(bool reporter) {
  QStringList all{QString::fromUtf8(texts::kReaderFound), QString::fromUtf8(texts::kReaderNotFound)};
  if (!reporter) all << QString::fromUtf8(texts::kScriptRunning);
  for (RunVerdict verdict : {VERDICT_SCRIPT_ERROR, VERDICT_COMM_ERROR, VERDICT_NOT_ALL_CONFIGURED,
                             VERDICT_COMPLETED}) {
    all << QString::fromUtf8(reporter ? RunVerdictReporterText(verdict)
                                      : RunVerdictStatusLineText(verdict));
  }
  for (const ButtonOperationTexts* op :
       {&kCheckConnectionTexts, &kResetToDefaultTexts, &kRebootReaderTexts}) {
    all << QString::fromUtf8(op->successStatus)
        << QString::fromUtf8(reporter ? op->failureReporter : op->failureStatusLine);
  }
  return all;
}

TEST_F(LookTest, EveryTextFitsItsBox) {
  {
    auto window = MakeMainWindow();
    ExpectCaptionFits(window.get());
    auto* statusLine = window->findChild<QLabel*>("statusLine");
    for (const QString& text : OutcomeTexts(false)) ExpectLabelFits(statusLine, text);
    // Versions as the reader types give them.
    auto* firmware = window->findChild<QLabel*>("firmwareVersionField");
    for (const char* version : {"1.07.3", "2.4.1", "HERON 3.2.0"}) {
      ExpectLabelFits(firmware, QString::fromUtf8(version));
    }
  }
  // The reporter's own template box, not the room it grows to for an outside text.
  WithDialog([] { ShowStatus("OK"); }, [](QWidget* w) {
    ExpectCaptionFits(w);
    auto* text = w->findChild<QLabel*>("statusText");
    for (const QString& report : OutcomeTexts(true)) ExpectLabelFits(text, report);
  });
  WithDialog([] { g_waitDialog.DoModal(); }, ExpectCaptionFits, EndWait);
  WithDialog([] { CAboutDlg().DoModal(); }, ExpectCaptionFits);
  WithDialog([] { g_settingsDialog.DoModal(); }, ExpectCaptionFits);
}

TEST_F(LookTest, OutsideTextIsShownAsPlainText) {
  const QString markup = QStringLiteral("<b>1.2</b>");
  const auto expectPlain = [&markup](QLabel* label) {
    SCOPED_TRACE(qPrintable(label->objectName()));
    EXPECT_EQ(label->text(), markup);
    // Drawn as markup, only "1.2" would take room.
    EXPECT_GE(label->sizeHint().width(), label->fontMetrics().horizontalAdvance(markup));
  };
  auto window = MakeMainWindow();
  window->ShowFirmwareVersion(markup.toStdString());
  window->SetStatusLine(markup.toStdString());
  expectPlain(window->findChild<QLabel*>("firmwareVersionField"));
  expectPlain(window->findChild<QLabel*>("statusLine"));
  WithDialog([&markup] { ShowStatus(markup.toStdString()); },
             [&expectPlain](QWidget* w) { expectPlain(w->findChild<QLabel*>("statusText")); });
  // A port that did not open, named as the operator typed it.
  std::unique_ptr<WindowDialogs> dialogs = MakeProgramDialogs();
  dialogs->ShowPortProblem(window.get(), markup.toStdString());
  auto* box = window->findChild<QMessageBox*>();
  ASSERT_NE(box, nullptr);
  expectPlain(box->findChild<QLabel*>("qt_msgbox_label"));
}

}  // namespace
}  // namespace kavonel
