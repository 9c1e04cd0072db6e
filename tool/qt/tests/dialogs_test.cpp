#include <gtest/gtest.h>

#include <QDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "qt/about_dlg.h"
#include "qt/status_update.h"
#include "qt/testing/qt_testing.h"
#include "qt/wait_dialog.h"
#include "resources/dialog_templates.h"

namespace kavonel {
namespace {

using kavonel::testing::TestApplication;
using kavonel::testing::WhenModalShown;

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override { TestApplication(); }
};

TEST_F(DialogsTest, StatusReporterShowsTextBigBoldAndOnTopWithoutCloseBox) {
  QString text, title;
  QFont font;
  Qt::WindowFlags flags;
  WhenModalShown([&](QWidget* w) {
    auto* label = w->findChild<QLabel*>("statusText");
    ASSERT_NE(label, nullptr);
    text = label->text();
    font = label->font();
    title = w->windowTitle();
    flags = w->windowFlags();
    QTest::mouseClick(w->findChild<QPushButton*>("okButton"), Qt::LeftButton);
  });
  ShowStatus("Reader Found 100%");
  EXPECT_EQ(text, "Reader Found 100%");
  EXPECT_EQ(title, STATUS_DIALOG_CAPTION);
  EXPECT_EQ(QFontInfo(font).family(), "Tahoma");
  EXPECT_EQ(font.pixelSize(), 17);  // a Windows cell height of 20 in Tahoma
  EXPECT_EQ(font.weight(), QFont::Bold);
  EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_EQ(g_statusReporter.Window(), nullptr);
}

TEST_F(DialogsTest, StatusReporterGrowsForATextThatNeedsMoreLinesThanItsTemplate) {
  // The run verdict's three lines wrap to four in the reporter's width.
  const char* longText = "Script OK.\nReader not configured 100%.\nSome commands returned error statuses.";
  bool textFits = false, buttonBelowText = false, buttonInside = false;
  WhenModalShown([&](QWidget* w) {
    auto* label = w->findChild<QLabel*>("statusText");
    auto* ok = w->findChild<QPushButton*>("okButton");
    textFits = label->height() >= label->heightForWidth(label->width());
    buttonBelowText = ok->y() >= label->geometry().bottom();
    buttonInside = ok->geometry().bottom() < w->height();
    ok->click();
  });
  ShowStatus(longText);
  EXPECT_TRUE(textFits);
  EXPECT_TRUE(buttonBelowText);
  EXPECT_TRUE(buttonInside);
}

TEST_F(DialogsTest, TwoStatusesShowOneAfterTheOther) {
  std::vector<QString> seen;
  auto closeAndRecord = [&seen](QWidget* w) {
    seen.push_back(w->findChild<QLabel*>("statusText")->text());
    static_cast<QDialog*>(w)->accept();
  };
  WhenModalShown(closeAndRecord);
  ShowStatus("first");
  WhenModalShown(closeAndRecord);
  ShowStatus("second");
  EXPECT_EQ(seen, (std::vector<QString>{"first", "second"}));
  EXPECT_EQ(g_statusReporter.m_strStatusText, "second");
}

TEST_F(DialogsTest, WaitDialogEndsOnEndDialogAndSecondEndIsHarmless) {
  QString text;
  WhenModalShown([&](QWidget* w) {
    text = w->findChild<QLabel*>("waitText")->text();
    EXPECT_TRUE(g_waitDialog.IsShown());
    g_waitDialog.EndDialog(CWaitDialog::IDOK);
    g_waitDialog.EndDialog(CWaitDialog::IDOK);
  });
  EXPECT_EQ(g_waitDialog.DoModal(), CWaitDialog::IDOK);
  EXPECT_EQ(text, QString::fromUtf8(WAIT_DIALOG_TEXT));
  EXPECT_FALSE(g_waitDialog.IsShown());
  g_waitDialog.EndDialog(CWaitDialog::IDOK);  // not shown: nothing happens
}

TEST_F(DialogsTest, WaitDialogClosedEarlyWithEscape) {
  WhenModalShown([](QWidget* w) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(w, &escape);
  });
  EXPECT_EQ(g_waitDialog.DoModal(), QDialog::Rejected);
  EXPECT_FALSE(g_waitDialog.IsShown());
  g_waitDialog.EndDialog(CWaitDialog::IDOK);  // the late end finds nothing to end
}

TEST_F(DialogsTest, StatusReportedFromInsideTheWaitingDialogEndsBoth) {
  // The detection's end arrives while the waiting dialog runs: it ends the waiting
  // dialog and reports; the waiting dialog's DoModal returns after the report.
  std::vector<std::string> order;
  WhenModalShown([&](QWidget*) {
    g_waitDialog.EndDialog(CWaitDialog::IDOK);
    WhenModalShown([&](QWidget* reporter) {
      order.push_back("report shown");
      static_cast<QDialog*>(reporter)->accept();
    });
    ShowStatus("Reader Not Found");
    order.push_back("report closed");
  });
  g_waitDialog.DoModal();
  order.push_back("wait returned");
  EXPECT_EQ(order, (std::vector<std::string>{"report shown", "report closed", "wait returned"}));
}

// Its texts and places: window_look_test, against the template.
TEST_F(DialogsTest, AboutBoxIconAndOk) {
  QString title;
  WhenModalShown([&](QWidget* w) {
    title = w->windowTitle();
    EXPECT_FALSE(w->findChild<QLabel*>("iconLabel")->pixmap().isNull());
    QTest::mouseClick(w->findChild<QPushButton*>("okButton"), Qt::LeftButton);
  });
  EXPECT_EQ(CAboutDlg().DoModal(), QDialog::Accepted);
  EXPECT_EQ(title, ABOUT_DIALOG_CAPTION);
}

}  // namespace
}  // namespace kavonel
