#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "qt/configuration_applet.h"
#include "qt/testing/qt_testing.h"
#include "resources/dialog_templates.h"

namespace kavonel {
namespace {

using kavonel::testing::TestApplication;
using kavonel::testing::WhenModalShown;

template <typename T>
T* Find(QWidget* window, const char* name) {
  T* child = window->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApplication();
    dialog_.m_listPorts = [this] { return ports_; };
  }
  // Shows the dialog, lets act work on its window, and returns DoModal's result.
  int Show(std::function<void(QWidget*)> act) {
    WhenModalShown(std::move(act));
    return dialog_.DoModal();
  }
  CConfigurationApplet dialog_;
  std::vector<std::string> ports_{"COM1", "COM10", "/dev/ttyUSB0"};
};

void SendKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(target, &press);
}

TEST_F(SettingsDialogTest, OpensWithTheStoredValuesPreselected) {
  dialog_.m_settings.nBaudRate = 57600;
  dialog_.m_settings.bLogCommands = true;
  int typeRow = -1, baudRow = -1;
  QString port;
  bool checked = false, topmost = false;
  const int result = Show([&](QWidget* w) {
    typeRow = Find<QComboBox>(w, "readerTypeList")->currentIndex();
    baudRow = Find<QComboBox>(w, "baudRateList")->currentIndex();
    port = Find<QComboBox>(w, "comPortList")->currentText();
    checked = Find<QCheckBox>(w, "logCommandsCheck")->isChecked();
    topmost = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    EXPECT_EQ(w->windowTitle(), SETTINGS_DIALOG_CAPTION);
    EXPECT_EQ(Find<QComboBox>(w, "readerTypeList")->itemText(1),
              "Tern in Lark Backward Compatibility Mode");
    static_cast<QDialog*>(w)->reject();
  });
  EXPECT_EQ(result, CConfigurationApplet::IDCANCEL);
  EXPECT_EQ(typeRow, 2);
  EXPECT_EQ(baudRow, 3);
  EXPECT_EQ(port, "COM1");
  EXPECT_TRUE(checked);
  EXPECT_TRUE(topmost);
}

TEST_F(SettingsDialogTest, PickingTypesPresetsBaudAndOkStoresAll) {
  const int result = Show([](QWidget* w) {
    auto* type = Find<QComboBox>(w, "readerTypeList");
    auto* baud = Find<QComboBox>(w, "baudRateList");
    type->setCurrentIndex(0);
    emit type->activated(0);
    EXPECT_EQ(baud->currentText(), "19200");
    type->setCurrentIndex(3);
    emit type->activated(3);
    EXPECT_EQ(baud->currentText(), "115200");
    Find<QComboBox>(w, "comPortList")->setCurrentIndex(2);
    Find<QCheckBox>(w, "logCommandsCheck")->setChecked(true);
    QTest::mouseClick(Find<QPushButton>(w, "okButton"), Qt::LeftButton);
  });
  EXPECT_EQ(result, CConfigurationApplet::IDOK);
  EXPECT_EQ(dialog_.m_settings.nReaderType, 3);
  EXPECT_EQ(dialog_.m_settings.nBaudRate, 115200);
  EXPECT_EQ(dialog_.m_settings.strComPort, "/dev/ttyUSB0");
  EXPECT_TRUE(dialog_.m_settings.bLogCommands);
}

TEST_F(SettingsDialogTest, CancelKeepsOnlyThePickedReaderType) {
  const int result = Show([](QWidget* w) {
    auto* type = Find<QComboBox>(w, "readerTypeList");
    type->setCurrentIndex(3);
    emit type->activated(3);
    Find<QComboBox>(w, "comPortList")->setCurrentIndex(2);
    Find<QCheckBox>(w, "logCommandsCheck")->setChecked(true);
    SendKey(w, Qt::Key_Escape);
  });
  EXPECT_EQ(result, CConfigurationApplet::IDCANCEL);
  EXPECT_EQ(dialog_.m_settings.nReaderType, 3);
  EXPECT_EQ(dialog_.m_settings.nBaudRate, 115200);
  EXPECT_EQ(dialog_.m_settings.strComPort, "COM1");
  EXPECT_FALSE(dialog_.m_settings.bLogCommands);
}

TEST_F(SettingsDialogTest, CloseBoxCancels) {
  const int result = Show([](QWidget* w) {
    auto* baud = Find<QComboBox>(w, "baudRateList");
    baud->setCurrentIndex(0);
    w->close();
  });
  EXPECT_EQ(result, CConfigurationApplet::IDCANCEL);
  EXPECT_EQ(dialog_.m_settings.nBaudRate, 115200);
}

class EnterOnControl : public SettingsDialogTest,
                       public ::testing::WithParamInterface<const char*> {};

TEST_P(EnterOnControl, BehavesLikeOk) {
  const char* control = GetParam();
  const int result = Show([control](QWidget* w) {
    Find<QComboBox>(w, "baudRateList")->setCurrentIndex(0);
    QWidget* target = std::string(control) == "dialog" ? w : Find<QWidget>(w, control);
    if (auto* combo = qobject_cast<QComboBox*>(target); combo && combo->lineEdit()) {
      target = combo->lineEdit();
    }
    SendKey(target, Qt::Key_Return);
  });
  EXPECT_EQ(result, CConfigurationApplet::IDOK);
  EXPECT_EQ(dialog_.m_settings.nBaudRate, 9600);
}

INSTANTIATE_TEST_SUITE_P(Controls, EnterOnControl,
                         ::testing::Values("dialog", "readerTypeList", "comPortList",
                                           "baudRateList", "logCommandsCheck", "okButton"));

TEST_F(SettingsDialogTest, TypedPortNameIsStoredWhenItMatchesNoRow) {
  const int result = Show([](QWidget* w) {
    auto* port = Find<QComboBox>(w, "comPortList");
    port->lineEdit()->selectAll();
    QTest::keyClicks(port->lineEdit(), "/tmp/kavonel-reader");
    SendKey(port->lineEdit(), Qt::Key_Enter);
    EXPECT_EQ(port->count(), 3);  // typing adds no row
  });
  EXPECT_EQ(result, CConfigurationApplet::IDOK);
  EXPECT_EQ(dialog_.m_settings.strComPort, "/tmp/kavonel-reader");
}

TEST_F(SettingsDialogTest, ReopeningListsPortsAfreshAndPreselectsTheLastOk) {
  ASSERT_EQ(Show([](QWidget* w) {
              Find<QComboBox>(w, "comPortList")->setCurrentIndex(1);
              SendKey(w, Qt::Key_Return);
            }),
            CConfigurationApplet::IDOK);
  EXPECT_EQ(dialog_.m_settings.strComPort, "COM10");
  ports_ = {"COM1", "COM10", "COM11"};
  int count = 0;
  QString port;
  Show([&](QWidget* w) {
    auto* list = Find<QComboBox>(w, "comPortList");
    count = list->count();
    port = list->currentText();
    static_cast<QDialog*>(w)->reject();
  });
  EXPECT_EQ(count, 3);
  EXPECT_EQ(port, "COM10");
}

TEST_F(SettingsDialogTest, ComOneStoredWithComTenListedStaysComOne) {
  dialog_.m_settings.strComPort = "COM1";
  QString port;
  Show([&](QWidget* w) {
    port = Find<QComboBox>(w, "comPortList")->currentText();
    SendKey(w, Qt::Key_Return);
  });
  EXPECT_EQ(port, "COM1");
  EXPECT_EQ(dialog_.m_settings.strComPort, "COM1");
}

}  // namespace
}  // namespace kavonel
