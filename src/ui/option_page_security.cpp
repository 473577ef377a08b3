#include "ui/option_page_security.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace sg {

SecurityPage::SecurityPage(OptionsHooks& hooks, QWidget* parent) : OptionsPage(hooks, parent) {
  setObjectName(QStringLiteral("securityPage"));
  auto* layout = new QVBoxLayout(this);

  // A group of a user name and the button that sets its password.
  auto credentials = [&](const QString& title, const QString& label, const char* userName, const char* buttonName,
                         QLineEdit*& user, QPushButton*& button) {
    auto* group = new QGroupBox(title, this);
    auto* grid = new QGridLayout(group);
    user = new QLineEdit(group);
    user->setObjectName(QString::fromLatin1(userName));
    button = new QPushButton(group);
    button->setObjectName(QString::fromLatin1(buttonName));
    grid->addWidget(labelFor(label, user, group), 0, 0);
    grid->addWidget(user, 0, 1);
    grid->addWidget(button, 1, 1, Qt::AlignLeft);
    layout->addWidget(group);
  };
  credentials(tr("Internet Authorisation"), tr("&Username:"), "username", "setInternetPassword", username,
              internetPassword);
  credentials(tr("Proxy Authorisation"), tr("User&name:"), "proxyUsername", "setProxyPassword", proxyUsername,
              proxyPassword);

  promptForPassword = new QCheckBox(tr("&Prompt for password if these aren't valid."), this);
  promptForPassword->setObjectName(QStringLiteral("promptForPassword"));
  layout->addWidget(promptForPassword);

  auto* cookies = new QGroupBox(tr("Cookies"), this);
  auto* cookieGrid = new QGridLayout(cookies);
  cookieFile = new QLineEdit(cookies);
  cookieFile->setObjectName(QStringLiteral("cookieFile"));
  cookieFile->setToolTip(
      tr("A cookies.txt in the Netscape format, as browsers' export extensions and wget write it: "
         "read before the download, never written"));
  browseCookieFile = browseButton(cookies);
  browseCookieFile->setObjectName(QStringLiteral("browseCookieFile"));
  skipLogoutLinks = new QCheckBox(tr("Skip links that &log out while cookies are in use"), cookies);
  skipLogoutLinks->setObjectName(QStringLiteral("skipLogoutLinks"));
  skipLogoutLinks->setToolTip(
      tr("Links whose address or text says log out, sign out or log off are not requested once a "
         "server has set a cookie or a cookie file is given, so that the login lasts"));
  cookieGrid->addWidget(labelFor(tr("&Cookie file:"), cookieFile, cookies), 0, 0);
  cookieGrid->addWidget(cookieFile, 0, 1);
  cookieGrid->addWidget(browseCookieFile, 0, 2);
  cookieGrid->addWidget(skipLogoutLinks, 1, 0, 1, 3);
  layout->addWidget(cookies);
  layout->addStretch(1);
  addText(username, &CrawlSettings::username, 63);
  addText(proxyUsername, &CrawlSettings::proxyUsername, 63);
  addCheck(promptForPassword, &CrawlSettings::promptForPassword);
  addText(cookieFile, &CrawlSettings::cookieFile, 1024);
  addCheck(skipLogoutLinks, &CrawlSettings::skipLogoutLinks);
  connect(browseCookieFile, &QPushButton::clicked, this, [this] {
    QString file = m_hooks.chooseFile(tr("Select Cookie File"), cookieFile->text());
    if (file.isEmpty()) return;
    cookieFile->setMaxLength(std::max(cookieFile->maxLength(), static_cast<int>(file.size())));
    cookieFile->setText(file);
  });

  connect(username, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) m_internetPassword.reset();
    updateEnabling();
  });
  connect(proxyUsername, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (text.isEmpty()) m_proxyPassword.reset();
    updateEnabling();
  });
  connect(internetPassword, &QPushButton::clicked, this, &SecurityPage::setInternetPassword);
  connect(proxyPassword, &QPushButton::clicked, this, &SecurityPage::setProxyPassword);
  updateEnabling();
}

void SecurityPage::loadOwn(const OptionValues&) {
  m_internetPassword.reset();
  m_proxyPassword.reset();
}

void SecurityPage::updateEnabling() {
  internetPassword->setText(m_internetPassword ? tr("Change Internet &Password") : tr("Set Internet &Password"));
  proxyPassword->setText(m_proxyPassword ? tr("Change Proxy Pass&word") : tr("Set Proxy Pass&word"));
  enableControl(internetPassword, !username->text().isEmpty());
  enableControl(proxyPassword, !proxyUsername->text().isEmpty());
}

void SecurityPage::setInternetPassword() {
  if (username->text().isEmpty()) return;
  if (std::optional<QString> password = m_hooks.askPassword()) m_internetPassword = *password;
  updateEnabling();
}

void SecurityPage::setProxyPassword() {
  if (proxyUsername->text().isEmpty()) return;
  if (std::optional<QString> password = m_hooks.askPassword()) m_proxyPassword = *password;
  updateEnabling();
}

void SecurityPage::applyOwn(OptionValues& values) {
  CrawlSettings& s = values.settings;
  if (m_internetPassword && !username->text().isEmpty()) {
    s.password = basicCredential(username->text(), *m_internetPassword);
  }
  if (m_proxyPassword && !proxyUsername->text().isEmpty()) {
    s.proxyPassword = basicCredential(proxyUsername->text(), *m_proxyPassword);
  }
}

}  // namespace sg
