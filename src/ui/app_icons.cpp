#include "ui/app_icons.h"

#include <QApplication>
#include <QImageReader>

namespace sg {

QIcon applicationIcon() {
  QIcon bundled;
  if (QImageReader::supportedImageFormats().contains("svg")) {
    bundled.addFile(QStringLiteral(":/sitegleaner/icons/sitegleaner.svg"));
  }
  for (int size : {16, 24, 32, 48, 64, 128}) {
    bundled.addFile(QStringLiteral(":/sitegleaner/icons/sitegleaner-%1.png").arg(size), QSize(size, size));
  }
  return QIcon::fromTheme(QString::fromLatin1(kDesktopId), bundled);
}

QIcon commandIcon(const QStringList& themeNames, QStyle::StandardPixmap fallback) {
  for (const QString& name : themeNames) {
    if (QIcon icon = QIcon::fromTheme(name); !icon.isNull()) return icon;
  }
  return QApplication::style()->standardIcon(fallback);
}

}  // namespace sg
