// What a user does to the desktop window, for tests on the offscreen
// platform: dropping onto a widget, and answering modal dialogs.
#pragma once

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

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

// Runs action; every modal dialog of type T that comes up meanwhile is
// handed to answer as soon as it is up, which must close it.
template <typename T, typename Answer, typename Action>
void answeringModals(Answer answer, Action action) {
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) answer(dialog);
  });
  timer.start(10);
  action();
}

}  // namespace sg::test
