#include "dialogs/dialog_look.h"

#include <QStringList>

namespace kavonel {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    icon.addFile(QStringLiteral(":/kavonel/kavonel-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QFont WindowsFont(const QString& face, bool monospace) {
  QFont font(face);
  QStringList families{face};
  if (monospace) {
    font.setStyleHint(QFont::TypeWriter);
    families << QStringLiteral("Courier New") << QStringLiteral("Liberation Mono")
             << QStringLiteral("Nimbus Mono PS") << QStringLiteral("DejaVu Sans Mono");
  } else {
    font.setStyleHint(QFont::SansSerif);
    families << QStringLiteral("Tahoma") << QStringLiteral("Arial")
             << QStringLiteral("Liberation Sans") << QStringLiteral("Nimbus Sans")
             << QStringLiteral("Helvetica");
  }
  families.removeDuplicates();
  font.setFamilies(families);
  return font;
}

QFont ShellDialogFont() {
  QFont font = WindowsFont(QStringLiteral("MS Shell Dlg"));
  font.setPointSize(8);
  return font;
}

namespace {

QFont PixelFont(const QString& face, int pixels, QFont::Weight weight, bool monospace = false) {
  QFont font = WindowsFont(face, monospace);
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return font;
}

}  // namespace

QFont StatusTextFont() {
  return PixelFont(QStringLiteral("Tahoma"), 20, QFont::Bold);
}

QFont MonitorFont() {
  return PixelFont(QStringLiteral("Courier"), 12, QFont::Black, true);
}

QFont FieldFont() {
  return PixelFont(QStringLiteral("Tahoma"), 14, QFont::Bold);
}

}  // namespace kavonel
