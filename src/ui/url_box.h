// The box in which root URLs are typed or picked, with a history of the 20
// most recent, kept in the settings file. GUI thread only.
#pragma once

#include <QComboBox>

namespace sg {

class SettingsStore;

class UrlBox : public QComboBox {
  Q_OBJECT

 public:
  UrlBox(SettingsStore& store, QWidget* parent);

  // Moves the text to the top of the history (removing an equal entry,
  // ignoring case) and stores the history.
  void promote(const QString& text);
  // Inserts the text at the top and selects it, without storing.
  void addToTop(const QString& text);
  void clearHistory();
  QStringList history() const;

 signals:
  // Enter was pressed in the edit field.
  void goRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void showPopup() override;

 private:
  void storeHistory();
  SettingsStore& m_store;
};

}  // namespace sg
