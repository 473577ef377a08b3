#include "ui/options_sheet.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "document/crawl_document.h"
#include "ui/password_dialog.h"
#include "util/log.h"
#include "util/texts.h"

namespace sg {

namespace {
const QString kOptionsSection = QStringLiteral("Options");
const QString kLastTab = QStringLiteral("Last Tab");
}  // namespace

OptionsSheet::OptionsSheet(CrawlDocument& document, ConnectionStateLayer& connection, QWidget* parent)
    : QDialog(parent), m_document(document) {
  setObjectName(QStringLiteral("optionsSheet"));
  setWindowTitle(QString::fromUtf8(text::kOptionsCaption));
  m_hooks.message = [this](const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QString::fromUtf8(text::kProductName), text, QMessageBox::Ok, this);
    box.exec();
  };
  m_hooks.chooseFolder = [this](const QString& title, const QString& start) {
    return QFileDialog::getExistingDirectory(this, title, start);
  };
  m_hooks.chooseFile = [this](const QString& title, const QString& start) {
    return QFileDialog::getOpenFileName(this, title, start);
  };
  m_hooks.askPassword = [this]() -> std::optional<QString> {
    SetPasswordDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.password();
  };

  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName(QStringLiteral("optionsTabs"));
  m_tabs->setUsesScrollButtons(false);  // every tab in view
  m_limits = new LimitsPage(m_hooks, m_tabs);
  m_filters = new FilterPage(m_hooks, document.store(), m_tabs);
  m_depth = new DepthPage(m_hooks, connection, m_tabs);
  m_save = new SavePage(m_hooks, m_tabs);
  m_exclude = new ExcludePage(m_hooks, m_tabs);
  m_security = new SecurityPage(m_hooks, m_tabs);
  const OptionValues values = documentValues();
  for (OptionsPage* p :
       std::initializer_list<OptionsPage*>{m_limits, m_filters, m_depth, m_save, m_exclude, m_security}) {
    p->load(values);
    m_tabs->addTab(p, p->title());
  }

  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(m_buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);
  layout->addWidget(m_buttons);
  resize(sizeHint().expandedTo(QSize(520, 0)));

  int last = document.store().readInt(kOptionsSection, kLastTab, 0);
  if (last < 0 || last >= m_tabs->count()) last = 0;
  m_tabs->setCurrentIndex(last);
  m_current = last;
  m_shown[static_cast<size_t>(last)] = true;
  connect(m_tabs, &QTabWidget::currentChanged, this, &OptionsSheet::pageChanged);
}

OptionsSheet::~OptionsSheet() {
  SettingsStore& store = m_document.store();
  store.writeInt(kOptionsSection, kLastTab, m_tabs->currentIndex());
  store.sync();
}

OptionsPage* OptionsSheet::page(int index) const { return qobject_cast<OptionsPage*>(m_tabs->widget(index)); }

void OptionsSheet::pageChanged(int index) {
  // A page is left only with valid values, so the message and the focus
  // are shown on the page that holds the bad value.
  {
    QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(m_current);
  }
  if (!page(m_current)->validate()) return;
  {
    QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(index);
  }
  m_current = index;
  m_shown[static_cast<size_t>(index)] = true;
}

bool OptionsSheet::validateShownPages() {
  // The page in front first: that is where the user looks. The others
  // were checked when they were left; each is put in front while it is
  // checked, so that a bad field can take the focus.
  const int front = m_current;
  if (!page(front)->validate()) return false;
  for (int i = 0; i < m_tabs->count(); ++i) {
    if (i == front || !m_shown[static_cast<size_t>(i)]) continue;
    {
      QSignalBlocker blocker(m_tabs);
      m_tabs->setCurrentIndex(i);
    }
    m_current = i;
    if (!page(i)->validate()) return false;
  }
  {
    QSignalBlocker blocker(m_tabs);
    m_tabs->setCurrentIndex(front);
  }
  m_current = front;
  return true;
}

void OptionsSheet::accept() {
  if (!validateShownPages()) return;
  applySettings();
  QDialog::accept();
}

OptionValues OptionsSheet::documentValues() const {
  OptionValues values{m_document.controller().settings, {}};
  m_document.controller().exclusions().save(values.exclusions);
  return values;
}

void OptionsSheet::applySettings() {
  DownloadController& controller = m_document.controller();
  // The pages copy their values, the new passwords, `Limit Flags` and the
  // units back. A page never shown holds what it was filled with; it
  // leaves the record alone.
  OptionValues values = documentValues();
  for (int i = 0; i < m_tabs->count(); ++i) {
    if (m_shown[static_cast<size_t>(i)]) page(i)->apply(values);
  }
  controller.settings = values.settings;
  controller.exclusions().load(values.exclusions);
  m_document.store().save(controller.settings, controller.exclusions(), m_document.view);
  if (controller.settings.logFile.empty()) {
    closeLogFile();
  } else {
    openLogFile(controller.settings.logFile);
  }
}

}  // namespace sg
