// The About box and the conditions-of-use dialog.
#pragma once

#include <QDialog>

namespace sg {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

class ConditionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConditionsDialog(QWidget* parent = nullptr);
};

}  // namespace sg
