#include "ui/file_icons.h"

#include <QMimeDatabase>
#include <QPainter>
#include <QPixmap>

namespace sg {

namespace {

constexpr int kIconSize = 16;

QPixmap markPixmap(int mark) {
  QPixmap pixmap(kIconSize, kIconSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF badge(kIconSize / 2.0, kIconSize / 2.0, kIconSize / 2.0 - 0.5, kIconSize / 2.0 - 0.5);
  QColor colour;
  switch (mark) {
    case FileIcons::kReadingMark:
      colour = QColor(0, 96, 192);
      break;
    case FileIcons::kCompleteMark:
      colour = QColor(0, 128, 0);
      break;
    case FileIcons::kFailedMark:
      colour = QColor(168, 60, 60);
      break;
    default:
      colour = QColor(0, 0, 128);
      break;
  }
  painter.setPen(QPen(Qt::white, 1));
  painter.setBrush(colour);
  painter.drawEllipse(badge);
  painter.setPen(QPen(Qt::white, 1.5));
  QPointF c = badge.center();
  if (mark == FileIcons::kCompleteMark) {
    painter.drawPolyline(QPolygonF({c + QPointF(-2, 0), c + QPointF(-0.5, 1.5), c + QPointF(2, -1.5)}));
  } else if (mark == FileIcons::kFailedMark) {
    painter.drawLine(c + QPointF(-1.5, -1.5), c + QPointF(1.5, 1.5));
    painter.drawLine(c + QPointF(-1.5, 1.5), c + QPointF(1.5, -1.5));
  } else if (mark == FileIcons::kSkippedMark) {
    painter.drawLine(c + QPointF(-2, 0), c + QPointF(2, 0));
  } else {
    painter.drawPoint(c);
  }
  return pixmap;
}

}  // namespace

FileIcons& FileIcons::instance() {
  static FileIcons icons;
  return icons;
}

QString FileIcons::extensionOf(const QString& name) {
  // The name is cut at the first "?", "#" or "@", and only its extension counts.
  QString cut = name;
  for (QChar stop : {QChar('?'), QChar('#'), QChar('@')}) {
    int at = cut.indexOf(stop);
    if (at >= 0) cut.truncate(at);
  }
  int slash = cut.lastIndexOf('/');
  QString file = cut.mid(slash + 1);
  int dot = file.lastIndexOf('.');
  return dot < 0 ? QString() : file.mid(dot + 1).toLower();
}

QIcon FileIcons::baseIcon(const QString& extension) {
  static QMimeDatabase database;
  QMimeType type = extension.isEmpty() ? database.mimeTypeForName(QStringLiteral("text/html"))
                                       : database.mimeTypeForFile(QStringLiteral("x.") + extension,
                                                                  QMimeDatabase::MatchExtension);
  QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  if (icon.isNull()) {
    // Without an icon theme (a bare desktop, tests), a plain page glyph.
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(96, 96, 96));
    painter.setBrush(Qt::white);
    painter.drawRect(3, 1, 10, 14);
    painter.drawLine(5, 5, 11, 5);
    painter.drawLine(5, 8, 11, 8);
    painter.drawLine(5, 11, 9, 11);
    icon = QIcon(pixmap);
  }
  return icon;
}

QIcon FileIcons::icon(const QString& name, int mark) {
  QString extension = extensionOf(name);
  QString key = extension + QLatin1Char('|') + QString::number(mark);
  auto it = m_icons.constFind(key);
  if (it != m_icons.constEnd()) return *it;
  QIcon icon = baseIcon(extension);
  if (mark != kNoMark) {
    QPixmap pixmap = icon.pixmap(kIconSize, kIconSize);
    QPainter painter(&pixmap);
    painter.drawPixmap(0, 0, markPixmap(mark));
    painter.end();
    icon = QIcon(pixmap);
  }
  m_icons.insert(key, icon);
  return icon;
}

QString FileIcons::typeName(const QString& name) {
  QString extension = extensionOf(name);
  auto it = m_types.constFind(extension);
  if (it != m_types.constEnd()) return *it;
  static QMimeDatabase database;
  QString type;
  if (!extension.isEmpty()) {
    QMimeType mime = database.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    if (!mime.isDefault()) type = mime.comment();
  }
  m_types.insert(extension, type);
  return type;
}

}  // namespace sg
