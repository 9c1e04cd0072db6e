// Helpers for the window tests: one QApplication for the test program, and a way to
// act on a modal dialog once its exec() runs, so no test leaves a dialog waiting.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include <ostream>

// Test failures show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace kavonel::testing {

inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "kavonel-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);  // lives to the end
  return *app;
}

// Runs action once on the first visible modal widget that matches, polling the event
// loop every 5 ms; gives up after tries polls.
inline void WhenModal(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> action,
                      int tries) {
  auto poll = std::make_shared<std::function<void(int)>>();
  *poll = [matches, action, poll](int left) {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible() && matches(modal)) {
      action(modal);
      *poll = nullptr;  // break the self-reference
      return;
    }
    if (left > 0) {
      QTimer::singleShot(5, [poll, left] {
        if (*poll) (*poll)(left - 1);
      });
    } else {
      *poll = nullptr;
    }
  };
  QTimer::singleShot(0, [poll, tries] {
    if (*poll) (*poll)(tries);
  });
}

// Runs action on the modal widget that becomes active next (after the one that is
// active now, if any). Gives up after about tries * 5 ms of event-loop time.
inline void WhenModalShown(std::function<void(QWidget*)> action, int tries = 400) {
  QWidget* before = QApplication::activeModalWidget();
  WhenModal([before](QWidget* modal) { return modal != before; }, std::move(action), tries);
}

// Runs action on the first visible modal widget whose object name is name (a form's
// class name, e.g. "CStatusUpdate"), also when other modal dialogs are open below it.
inline void WhenModalNamed(const QString& name, std::function<void(QWidget*)> action,
                           int tries = 2000) {
  WhenModal([name](QWidget* modal) { return modal->objectName() == name; }, std::move(action),
            tries);
}

}  // namespace kavonel::testing
