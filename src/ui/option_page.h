// The common base of the pages of the options sheet. A page holds its
// values in its controls: load() fills them from the values the sheet edits,
// validate() checks them when the page is left or the sheet confirmed, and
// apply() copies them back. Most fields are rows of the page's tables (a
// number with the range the settings accept, a check box, a text with its
// longest length), from which the base loads, checks and applies them; a
// page adds only what no row says. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/crawl_settings.h"

class QCheckBox;
class QGridLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sg {

class NumberBox;

// What the pages ask of the world outside the sheet; tests replace these.
struct OptionsHooks {
  // A message box with an OK button.
  std::function<void(const QString& text, QMessageBox::Icon icon)> message;
  // A folder picker; "" when the user cancelled.
  std::function<QString(const QString& title, const QString& start)> chooseFolder;
  // A picker of an existing file to read; "" when the user cancelled.
  std::function<QString(const QString& title, const QString& start)> chooseFile;
  // The "Set Password" dialog; nothing when cancelled.
  std::function<std::optional<QString>()> askPassword;
};

// What the sheet edits: the settings record and the exclusion rules.
struct OptionValues {
  CrawlSettings settings;
  std::vector<std::string> exclusions;
};

// A whole number kept in a member of the settings. It accepts the range
// that the settings file accepts for `setting`.
struct NumberField {
  NumberBox* box = nullptr;
  const char* setting = nullptr;
  int CrawlSettings::*member = nullptr;
  // A limit is in force while its check box is ticked; `flag` is its bit
  // of `Limit Flags`.
  QCheckBox* gate = nullptr;
  int flag = 0;
  // A value shown in one of two units: entry `largeEntry` of the list
  // shows the stored value divided by `factor`, the other entry shows it
  // as stored.
  QComboBox* unit = nullptr;
  int largeEntry = 0;
  int factor = 1;
};

struct CheckField {
  QCheckBox* box = nullptr;
  bool CrawlSettings::*member = nullptr;
};

// Typing stops at maxLength; a longer stored text is shown whole and
// refused on OK.
struct TextField {
  QLineEdit* edit = nullptr;
  std::string CrawlSettings::*member = nullptr;
  int maxLength = 0;
};

class OptionsPage : public QWidget {
  Q_OBJECT

 public:
  OptionsPage(OptionsHooks& hooks, QWidget* parent);

  virtual QString title() const = 0;
  void load(const OptionValues& values);
  // Checks the enabled fields in the order of the page; at the first bad
  // one shows its message, gives that field the focus and answers false.
  bool validate();
  // A field that is switched off is not checked; it keeps the stored
  // value unless it holds a valid one.
  void apply(OptionValues& values);

  const std::vector<NumberField>& numberFields() const { return m_numbers; }
  // The range a number field accepts in the unit it shows now.
  static std::pair<int, int> shownRange(const NumberField& field);

 protected:
  // The rows, added by the constructors in the order of the page.
  void addNumber(const NumberField& field);
  void addCheck(QCheckBox* box, bool CrawlSettings::*member);
  // A check box on a row of its own across three columns of grid.
  QCheckBox* addCheckRow(QGridLayout* grid, int& row, const QString& text, const char* name,
                         bool CrawlSettings::*member);
  void addText(QLineEdit* edit, std::string CrawlSettings::*member, int maxLength);

  // What a page does beyond its rows; load ends with updateEnabling().
  virtual void loadOwn(const OptionValues&) {}
  virtual bool validateOwn() { return true; }
  virtual void applyOwn(OptionValues&) {}
  virtual void updateEnabling() {}

  // Enables or disables a control.
  static void enableControl(QWidget* control, bool enabled);
  // A number within [low, high]: "Please enter an integer." when the text
  // is not a number, "Please enter an integer between %1 and %2." when
  // it is out of range.
  bool checkNumber(NumberBox* box, int low, int high);
  // "Please enter no more than %1 characters."
  bool checkLength(QLineEdit* edit, int maximum);
  void refuse(QWidget* field, const QString& message);

  // Building blocks of the pages.
  static QLabel* labelFor(const QString& text, QWidget* buddy, QWidget* parent);
  // The "..." beside a path, no wider than it needs to be.
  static QPushButton* browseButton(QWidget* parent);
  static QComboBox* unitList(const QString& first, const QString& second, QWidget* parent);
  static QString qtext(const std::string& text) { return QString::fromStdString(text); }
  static QString qtext(const char* text) { return QString::fromUtf8(text); }

  OptionsHooks& m_hooks;

 private:
  std::vector<NumberField> m_numbers;
  std::vector<CheckField> m_checks;
  std::vector<TextField> m_texts;
};

// Base64 (RFC 2045 alphabet, "=" padding, no line breaks) of "user:password".
std::string basicCredential(const QString& user, const QString& password);

}  // namespace sg
