#include "dialogs/dialog_look.h"

namespace kavonel {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    icon.addFile(QStringLiteral(":/kavonel/kavonel-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QFont StatusTextFont() {
  QFont font(QStringLiteral("Tahoma"));
  font.setPixelSize(20);
  font.setWeight(QFont::Bold);
  return font;
}

}  // namespace kavonel
