// Tab "Save": whether and where copies are saved, which types, and how
// saved pages are changed.
#pragma once

#include "ui/option_page.h"

namespace sg {

class TypeList;

class SavePage : public OptionsPage {
  Q_OBJECT

 public:
  explicit SavePage(OptionsHooks& hooks, QWidget* parent = nullptr);
  QString title() const override { return tr("Save"); }

  QCheckBox* saveFiles = nullptr;
  QCheckBox* createTree = nullptr;
  QCheckBox* noCache = nullptr;
  QLineEdit* location = nullptr;
  QPushButton* browseLocation = nullptr;
  TypeList* types = nullptr;
  QCheckBox* saveAll = nullptr;
  QCheckBox* readLocal = nullptr;
  QCheckBox* checkForChanges = nullptr;
  QCheckBox* stripTags = nullptr;
  QCheckBox* fixLinks = nullptr;
  QCheckBox* crawlJournal = nullptr;

 protected:
  void loadOwn(const OptionValues& values) override;
  void applyOwn(OptionValues& values) override;
  void updateEnabling() override;

 private:
  QLabel* m_locationLabel = nullptr;
  QLabel* m_typesLabel = nullptr;
};

}  // namespace sg
