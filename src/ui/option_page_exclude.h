// Tab "Excluded URLs": the addresses the crawl leaves alone.
#pragma once

#include "ui/option_page.h"

namespace sg {

class ExclusionList;

class ExcludePage : public OptionsPage {
  Q_OBJECT

 public:
  explicit ExcludePage(OptionsHooks& hooks, QWidget* parent = nullptr);
  QString title() const override { return tr("Excluded URLs"); }

  // "&Add": the edit's text through the URL check; "Invalid URL" when it
  // fails.
  void addEntry();
  void removeEntry();

  QLineEdit* edit = nullptr;
  QPushButton* add = nullptr;
  QPushButton* remove = nullptr;
  ExclusionList* list = nullptr;

 protected:
  void loadOwn(const OptionValues& values) override;
  void applyOwn(OptionValues& values) override;
  void updateEnabling() override;

 private:
  void typeAhead(const QString& text);
  bool m_selecting = false;  // the page itself changes the selection
};

}  // namespace sg
