// Tab "Limits": threads, the pause between objects, the size, time and
// age limits with their units, the bounds against sites that never end,
// and whether servers are asked to compress what they send.
#pragma once

#include "ui/option_page.h"

namespace sg {

class LimitsPage : public OptionsPage {
  Q_OBJECT

 public:
  explicit LimitsPage(OptionsHooks& hooks, QWidget* parent = nullptr);
  QString title() const override { return tr("Limits"); }

  // One limit: its check box, value and (for sizes and times) unit list.
  struct Limit {
    QCheckBox* check = nullptr;
    NumberBox* value = nullptr;
    QComboBox* unit = nullptr;  // null for the age limit
  };
  NumberBox* threads = nullptr;
  NumberBox* delay = nullptr;
  Limit maxSize, minSize, maxTime, maxTotalTime, maxDays;
  QComboBox* limitsAffect = nullptr;
  NumberBox* linkPause = nullptr;
  // Bounds against sites that never end: megabytes of a page scanned for
  // links, links taken from one page, placeholder pages per download, and
  // megabytes read per download (0: no limit).
  NumberBox* maxScanSize = nullptr;
  NumberBox* maxPageLinks = nullptr;
  NumberBox* maxConnectionsPerServer = nullptr;
  NumberBox* maxPlaceholders = nullptr;
  NumberBox* maxDownloadSize = nullptr;
  // Ask servers to compress what they send (Compression).
  QCheckBox* compression = nullptr;

  // Unit lists are sorted: "Kb" before "Mb", "Mins" before "Secs".
  static constexpr int kKb = 0, kMb = 1, kMins = 0, kSecs = 1;

 protected:
  void loadOwn(const OptionValues& values) override;
  void applyOwn(OptionValues& values) override;
  void updateEnabling() override;
};

}  // namespace sg
