// What a user does to the desktop window, for tests on the offscreen
// platform: dropping onto a widget.
#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace sg::test {

// Drags mime over target and drops it there; true when the drop was taken.
inline bool dropOn(QWidget* target, const QMimeData* mime) {
  QDragEnterEvent enter(QPoint(5, 5), Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(5, 5), Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

inline bool dropText(QWidget* target, const QString& text) {
  QMimeData mime;
  mime.setText(text);
  return dropOn(target, &mime);
}

}  // namespace sg::test
