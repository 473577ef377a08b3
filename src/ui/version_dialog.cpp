#include "ui/version_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "document/settings_store.h"
#include "engine/download_controller.h"
#include "ui/worker_requests.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {
const QString kVersionSection = QStringLiteral("Version Check");
const QString kLastNewVersion = QStringLiteral("Last New Version");
const QString kNotify = QStringLiteral("Notify");
}  // namespace

VersionDialog::VersionDialog(double version, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("versionDialog"));
  setWindowTitle(QString::fromStdString(strprintf(text::kNewVersionCaption, versionText(version).c_str())));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromUtf8(text::kNewVersionText), this);
  text->setWordWrap(true);
  text->setMinimumWidth(340);
  layout->addWidget(text);
  m_link = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>")
                          .arg(QString::fromUtf8(text::kHomePage).toHtmlEscaped(),
                               QString::fromUtf8(text::kHomePageLink).toHtmlEscaped()),
                      this);
  m_link->setObjectName(QStringLiteral("homePageLink"));
  m_link->setTextFormat(Qt::RichText);
  m_link->setOpenExternalLinks(true);
  m_link->setTextInteractionFlags(Qt::TextBrowserInteraction);
  m_link->setAlignment(Qt::AlignHCenter);
  layout->addWidget(m_link);
  auto* row = new QHBoxLayout;
  m_doNotNotify = new QCheckBox(QString::fromUtf8(text::kDoNotNotify), this);
  m_doNotNotify->setObjectName(QStringLiteral("doNotNotify"));
  m_close = new QPushButton(tr("&Close"), this);
  m_close->setObjectName(QStringLiteral("close"));
  m_close->setDefault(true);
  row->addWidget(m_doNotNotify, 1);
  row->addWidget(m_close);
  layout->addLayout(row);
  // Close, Enter, Esc and the close box all end the dialog the same way.
  connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
}

bool VersionDialog::doNotNotify() const { return m_doNotNotify->isChecked(); }

DesktopVersionHost::DesktopVersionHost(WorkerRequests& requests, SettingsStore& store, DownloadController& controller,
                                       QWidget* parent, std::function<void()> notifyChanged)
    : m_requests(requests),
      m_store(store),
      m_controller(controller),
      m_parent(parent),
      m_notifyChanged(std::move(notifyChanged)) {}

bool DesktopVersionHost::onGuiThread(std::function<void()> work) {
  return m_requests.run(
      [work = std::move(work)](WorkerRequests::Finish finish) -> QDialog* {
        work();
        finish();
        return nullptr;
      },
      &m_controller.cancelled);
}

std::string DesktopVersionHost::lastNewVersion() {
  auto value = std::make_shared<std::string>();
  if (!onGuiThread([this, value] { *value = m_store.readText(kVersionSection, kLastNewVersion).toStdString(); })) {
    return {};
  }
  return *value;
}

void DesktopVersionHost::setLastNewVersion(const std::string& line) {
  onGuiThread([this, line] {
    m_store.writeText(kVersionSection, kLastNewVersion, QString::fromStdString(line));
    m_store.sync();
  });
}

bool DesktopVersionHost::announceNewVersion(double version) {
  auto ticked = std::make_shared<bool>(false);
  bool finished = m_requests.run(
      [this, version, ticked](WorkerRequests::Finish finish) -> QDialog* {
        auto* dialog = new VersionDialog(version, m_parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, ticked, finish](int) {
          *ticked = dialog->doNotNotify();
          finish();
        });
        dialog->open();
        return dialog;
      },
      &m_controller.cancelled);
  return finished && *ticked;
}

void DesktopVersionHost::stopNotifying() {
  onGuiThread([this] {
    m_controller.versionNotify = false;
    m_store.writeInt(kVersionSection, kNotify, 0);
    m_store.sync();
    if (m_notifyChanged) m_notifyChanged();
  });
}

}  // namespace sg
