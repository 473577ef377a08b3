// The options sheet: the modal dialog in which the user edits the crawl
// settings, a tab per page (Limits, Filter, Depth, Save, Excluded URLs,
// Security). It fills its pages from the document when it is made, and
// OK copies them back, saves the whole record and reopens the log file;
// Cancel changes nothing. It opens on the page shown last time.
// GUI thread only; the document must not be downloading.
#pragma once

#include <QDialog>
#include <array>

#include "ui/option_page_depth.h"
#include "ui/option_page_exclude.h"
#include "ui/option_page_filter.h"
#include "ui/option_page_limits.h"
#include "ui/option_page_save.h"
#include "ui/option_page_security.h"

class QDialogButtonBox;
class QTabWidget;

namespace sg {

class CrawlDocument;

class OptionsSheet : public QDialog {
  Q_OBJECT

 public:
  OptionsSheet(CrawlDocument& document, ConnectionStateLayer& connection, QWidget* parent = nullptr);
  // Stores the index of the page shown as "Options" / "Last Tab".
  ~OptionsSheet() override;

  QTabWidget* tabs() const { return m_tabs; }
  QDialogButtonBox* buttons() const { return m_buttons; }
  OptionsHooks& hooks() { return m_hooks; }
  LimitsPage* limitsPage() const { return m_limits; }
  FilterPage* filterPage() const { return m_filters; }
  DepthPage* depthPage() const { return m_depth; }
  SavePage* savePage() const { return m_save; }
  ExcludePage* excludePage() const { return m_exclude; }
  SecurityPage* securityPage() const { return m_security; }

  // Has the page been shown since the sheet opened? Only pages that were
  // shown are checked and copied back.
  bool pageShown(int index) const { return m_shown[static_cast<size_t>(index)]; }

  // OK: checks every page that was shown (staying open on the first bad
  // value), then copies the values of those pages back into the document:
  // the settings, the new passwords, `Limit Flags` and the units, the
  // exclusion rules; then saves the whole record and opens the log file
  // (or closes it when `Log File` is empty).
  void accept() override;

 private:
  bool validateShownPages();
  // The document's settings and exclusion rules as the pages edit them.
  OptionValues documentValues() const;
  void applySettings();
  void pageChanged(int index);
  OptionsPage* page(int index) const;

  CrawlDocument& m_document;
  OptionsHooks m_hooks;
  QTabWidget* m_tabs = nullptr;
  QDialogButtonBox* m_buttons = nullptr;
  LimitsPage* m_limits = nullptr;
  FilterPage* m_filters = nullptr;
  DepthPage* m_depth = nullptr;
  SavePage* m_save = nullptr;
  ExcludePage* m_exclude = nullptr;
  SecurityPage* m_security = nullptr;
  std::array<bool, 6> m_shown{};
  int m_current = 0;
};

}  // namespace sg
