// Tab "Filter": which types and extensions are downloaded.
#pragma once

#include "ui/option_page.h"

namespace sg {

class SettingsStore;
class TypeList;

class FilterPage : public OptionsPage {
  Q_OBJECT

 public:
  FilterPage(OptionsHooks& hooks, SettingsStore& store, QWidget* parent = nullptr);
  QString title() const override { return tr("Filter"); }

  QCheckBox* downloadAll = nullptr;
  TypeList* types = nullptr;
  QCheckBox* downloadUnknown = nullptr;
  QCheckBox* ignoreInline = nullptr;
  QCheckBox* scanScripts = nullptr;
  QComboBox* extensions = nullptr;

 protected:
  void loadOwn(const OptionValues& values) override;
  // Warns when no HTML type was chosen, stores the extensions history, and
  // copies the values.
  void applyOwn(OptionValues& values) override;
  void updateEnabling() override;

 private:
  SettingsStore& m_store;
};

}  // namespace sg
