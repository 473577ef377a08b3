#include "ui/password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "engine/download_controller.h"
#include "ui/option_page.h"
#include "ui/worker_requests.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

// --- SetPasswordDialog ---

SetPasswordDialog::SetPasswordDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("setPasswordDialog"));
  setWindowTitle(QString::fromUtf8(text::kSetPasswordCaption));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  m_edit = new QLineEdit(this);
  m_edit->setObjectName(QStringLiteral("password"));
  m_edit->setEchoMode(QLineEdit::Password);
  m_edit->setMaxLength(kMaxPassword);
  form->addRow(tr("Password:"), m_edit);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QString SetPasswordDialog::password() const { return m_edit->text(); }

// --- CredentialsDialog ---

CredentialsDialog::CredentialsDialog(bool proxy, const QString& url, const QString& user, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("credentialsDialog"));
  setWindowTitle(QString::fromUtf8(text::kPasswordPromptCaption));
  auto* layout = new QVBoxLayout(this);
  auto* explanation = new QLabel(
      QString::fromStdString(strprintf(proxy ? text::kPasswordPromptProxy : text::kPasswordPromptSite,
                                       url.toStdString().c_str())),
      this);
  explanation->setWordWrap(true);
  explanation->setTextFormat(Qt::PlainText);
  layout->addWidget(explanation);
  auto* form = new QFormLayout;
  m_user = new QLineEdit(user, this);
  m_user->setObjectName(QStringLiteral("user"));
  m_user->setMaxLength(std::max(63, static_cast<int>(user.size())));
  m_password = new QLineEdit(this);
  m_password->setObjectName(QStringLiteral("password"));
  m_password->setEchoMode(QLineEdit::Password);
  m_password->setMaxLength(SetPasswordDialog::kMaxPassword);
  form->addRow(tr("&User name:"), m_user);
  form->addRow(tr("&Password:"), m_password);
  layout->addLayout(form);
  m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(m_buttons);
  auto update = [this] { m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_user->text().isEmpty()); };
  connect(m_user, &QLineEdit::textChanged, this, update);
  update();
  (user.isEmpty() ? m_user : m_password)->setFocus();
}

std::string CredentialsDialog::credential() const { return basicCredential(m_user->text(), m_password->text()); }

// --- DesktopPasswordPrompt ---

namespace {
// The link whose exchange the calling worker last answered from what the
// user had given; offered once per link, so a refusal reaches the user.
thread_local const LinkRecord* t_offeredFor = nullptr;
}  // namespace

DesktopPasswordPrompt::DesktopPasswordPrompt(WorkerRequests& requests, QWidget* parent)
    : m_requests(requests), m_parent(parent) {}

bool DesktopPasswordPrompt::askCredentials(const LinkRecord& link, bool proxy, std::string& credential) {
  const std::string key = proxy ? std::string("proxy")
                                : "site " + toLowerAscii(link.server()) + ":" + std::to_string(link.port());
  {
    MutexLock lock(m_mutex);
    auto given = m_given.find(key);
    if (given != m_given.end() && t_offeredFor != &link) {
      t_offeredFor = &link;
      credential = given->second;
      return true;
    }
  }
  t_offeredFor = &link;

  const DownloadController* controller = link.controller();
  QString user = controller == nullptr
                     ? QString()
                     : QString::fromStdString(proxy ? controller->settings.proxyUsername : controller->settings.username);
  QString url = QString::fromStdString(link.url());
  auto answer = std::make_shared<std::string>();
  // Runs on the GUI thread, and only while the requests object (which goes
  // before this prompt) is alive.
  bool finished = m_requests.run(
      [this, proxy, url, user, answer](WorkerRequests::Finish finish) -> QDialog* {
        auto* dialog = new CredentialsDialog(proxy, url, user, m_parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QDialog::finished, dialog, [dialog, answer, finish](int result) {
          if (result == QDialog::Accepted) *answer = dialog->credential();
          finish();
        });
        dialog->open();
        return dialog;
      },
      controller != nullptr ? &controller->cancelled : nullptr);
  if (!finished || answer->empty()) return false;
  {
    MutexLock lock(m_mutex);
    m_given[key] = *answer;
  }
  credential = *answer;
  return true;
}

}  // namespace sg
