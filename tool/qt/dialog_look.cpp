#include "qt/dialog_look.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPointer>
#include <QRawFont>
#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace kavonel {

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    icon.addFile(QStringLiteral(":/kavonel/kavonel-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

void RegisterWindowsFaces() {
  // Application fonts go with the application object; a new one registers them anew.
  static QPointer<QCoreApplication> registeredWith;
  if (registeredWith == QCoreApplication::instance()) return;
  registeredWith = QCoreApplication::instance();
  // A real Tahoma that fontconfig knows wins over Wine's.
  if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) return;
  for (const char* file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
    const QString path = QString::fromLatin1(file);
    if (QFile::exists(path)) QFontDatabase::addApplicationFont(path);
  }
}

QFont WindowsFont(const QString& face, bool monospace) {
  RegisterWindowsFaces();
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

int EmPixelsForCellHeight(const QFont& font, int cellHeight) {
  // Measured on a large em so rounding in the metrics does not matter.
  QFont probe = font;
  probe.setPixelSize(1000);
  double cellPerEm = 0;
  const QRawFont raw = QRawFont::fromFont(probe);
  const QByteArray os2 = raw.isValid() ? raw.fontTable("OS/2") : QByteArray();
  if (os2.size() >= 78 && raw.unitsPerEm() > 0) {
    // usWinAscent and usWinDescent: what Windows makes its cell of, whatever the face
    // tells other systems to use.
    const auto* bytes = reinterpret_cast<const uchar*>(os2.constData());
    const int winAscent = qFromBigEndian<quint16>(bytes + 74);
    const int winDescent = qFromBigEndian<quint16>(bytes + 76);
    cellPerEm = (winAscent + winDescent) / raw.unitsPerEm();
  }
  if (cellPerEm <= 0) {
    const QFontMetricsF metrics(probe);
    cellPerEm = (metrics.ascent() + metrics.descent()) / 1000.0;
  }
  if (cellPerEm <= 0) return cellHeight;
  return std::max(1, static_cast<int>(std::lround(cellHeight / cellPerEm)));
}

namespace {

QFont CellHeightFont(const QString& face, int cellHeight, QFont::Weight weight,
                     bool monospace = false) {
  QFont font = WindowsFont(face, monospace);
  font.setWeight(weight);
  font.setPixelSize(EmPixelsForCellHeight(font, cellHeight));
  return font;
}

// The dialog geometry is fixed in pixels at 96 dpi, so point sizes are turned into
// pixels at that resolution too, whatever the screen reports.
QFont PointFont(const QString& face, int points, QFont::Weight weight) {
  QFont font = WindowsFont(face);
  font.setPixelSize((points * 96 + 36) / 72);
  font.setWeight(weight);
  return font;
}

}  // namespace

QFont StatusTextFont() {
  return CellHeightFont(QStringLiteral("Tahoma"), 20, QFont::Bold);
}

QFont MonitorFont() {
  return CellHeightFont(QStringLiteral("Courier"), 12, QFont::Black, true);
}

QFont FieldFont() {
  return CellHeightFont(QStringLiteral("Tahoma"), 14, QFont::Bold);
}

QFont ShellDialogFont() {
  return PointFont(QStringLiteral("MS Shell Dlg"), 8, QFont::Normal);
}

QFont WaitDialogFont() {
  return PointFont(QStringLiteral("Tahoma"), 10, QFont::Bold);
}

}  // namespace kavonel
