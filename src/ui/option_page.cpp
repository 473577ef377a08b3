#include "ui/option_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/option_controls.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

// The number of a field when it holds one within the range.
std::optional<int> inRange(const NumberBox* box, std::pair<int, int> range) {
  std::optional<int> value = box->number();
  if (!value || *value < range.first || *value > range.second) return std::nullopt;
  return value;
}

bool showsLargeUnit(const NumberField& field) {
  return field.unit != nullptr && field.unit->currentIndex() == field.largeEntry;
}

}  // namespace

std::string basicCredential(const QString& user, const QString& password) {
  return (user + QLatin1Char(':') + password).toUtf8().toBase64().toStdString();
}

OptionsPage::OptionsPage(OptionsHooks& hooks, QWidget* parent) : QWidget(parent), m_hooks(hooks) {}

std::pair<int, int> OptionsPage::shownRange(const NumberField& field) {
  int low = 0, high = 0, largeUnit = 0;
  if (!settingRange(field.setting, low, high, &largeUnit)) qFatal("no range for %s", field.setting);
  // The settings take some values in the larger unit within the same
  // range (6000 "Mb"); for the others the stored range is divided (7200
  // seconds are 120 "Mins").
  if (showsLargeUnit(field) && largeUnit != field.factor) {
    return {(low + field.factor - 1) / field.factor, high / field.factor};
  }
  return {low, high};
}

void OptionsPage::addNumber(const NumberField& field) {
  m_numbers.push_back(field);
  if (field.gate != nullptr) connect(field.gate, &QCheckBox::toggled, this, &OptionsPage::updateEnabling);
}

void OptionsPage::addCheck(QCheckBox* box, bool CrawlSettings::*member) { m_checks.push_back({box, member}); }

QCheckBox* OptionsPage::addCheckRow(QGridLayout* grid, int& row, const QString& text, const char* name,
                                    bool CrawlSettings::*member) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(QString::fromLatin1(name));
  grid->addWidget(box, row++, 0, 1, 3);
  addCheck(box, member);
  return box;
}

void OptionsPage::addText(QLineEdit* edit, std::string CrawlSettings::*member, int maxLength) {
  m_texts.push_back({edit, member, maxLength});
}

void OptionsPage::load(const OptionValues& values) {
  const CrawlSettings& s = values.settings;
  for (const NumberField& field : m_numbers) {
    int value = s.*field.member;
    // The largest unit that shows the value whole.
    if (field.unit != nullptr) {
      bool large = value % field.factor == 0;
      field.unit->setCurrentIndex(large ? field.largeEntry : 1 - field.largeEntry);
      if (large) value /= field.factor;
    }
    field.box->setNumber(value);
    if (field.gate != nullptr) field.gate->setChecked((s.limitFlags & field.flag) != 0);
  }
  for (const CheckField& field : m_checks) field.box->setChecked(s.*field.member);
  for (const TextField& field : m_texts) {
    const QString text = qtext(s.*field.member);
    field.edit->setMaxLength(std::max<int>(field.maxLength, static_cast<int>(text.size())));
    field.edit->setText(text);
  }
  loadOwn(values);
  updateEnabling();
}

bool OptionsPage::validate() {
  for (const NumberField& field : m_numbers) {
    auto [low, high] = shownRange(field);
    if (field.box->isEnabled() && !checkNumber(field.box, low, high)) return false;
  }
  for (const TextField& field : m_texts) {
    if (field.edit->isEnabled() && !checkLength(field.edit, field.maxLength)) return false;
  }
  return validateOwn();
}

void OptionsPage::apply(OptionValues& values) {
  CrawlSettings& s = values.settings;
  for (const NumberField& field : m_numbers) {
    if (std::optional<int> value = inRange(field.box, shownRange(field))) {
      s.*field.member = *value * (showsLargeUnit(field) ? field.factor : 1);
    }
    if (field.gate != nullptr) {
      s.limitFlags = field.gate->isChecked() ? s.limitFlags | field.flag : s.limitFlags & ~field.flag;
    }
  }
  for (const CheckField& field : m_checks) s.*field.member = field.box->isChecked();
  for (const TextField& field : m_texts) {
    if (field.edit->text().size() <= field.maxLength) s.*field.member = field.edit->text().toStdString();
  }
  applyOwn(values);
}

void OptionsPage::enableControl(QWidget* control, bool enabled) {
  if (control != nullptr) control->setEnabled(enabled);
}

void OptionsPage::refuse(QWidget* field, const QString& message) {
  m_hooks.message(message, QMessageBox::Warning);
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
  if (auto* box = qobject_cast<QAbstractSpinBox*>(field)) box->selectAll();
}

bool OptionsPage::checkNumber(NumberBox* box, int low, int high) {
  std::optional<int> value = box->number();
  if (!value) {
    refuse(box, qtext(text::kEnterInteger));
    return false;
  }
  if (*value < low || *value > high) {
    refuse(box, qtext(strprintf(text::kEnterIntegerBetween, low, high)));
    return false;
  }
  return true;
}

bool OptionsPage::checkLength(QLineEdit* edit, int maximum) {
  if (edit->text().size() <= maximum) return true;
  refuse(edit, qtext(strprintf(text::kEnterNoMoreThan, maximum)));
  return false;
}

QLabel* OptionsPage::labelFor(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QPushButton* OptionsPage::browseButton(QWidget* parent) {
  auto* button = new QPushButton(QObject::tr("&..."), parent);
  button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  return button;
}

QComboBox* OptionsPage::unitList(const QString& first, const QString& second, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems({first, second});
  return list;
}

}  // namespace sg
