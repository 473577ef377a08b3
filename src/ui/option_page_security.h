// Tab "Security": the user names and new passwords for the sites and the
// proxy, and the cookies a download starts with.
#pragma once

#include "ui/option_page.h"

namespace sg {

class SecurityPage : public OptionsPage {
  Q_OBJECT

 public:
  explicit SecurityPage(OptionsHooks& hooks, QWidget* parent = nullptr);
  QString title() const override { return tr("Security"); }

  void setInternetPassword();
  void setProxyPassword();
  bool holdsInternetPassword() const { return m_internetPassword.has_value(); }
  bool holdsProxyPassword() const { return m_proxyPassword.has_value(); }

  QLineEdit* username = nullptr;
  QPushButton* internetPassword = nullptr;
  QLineEdit* proxyUsername = nullptr;
  QPushButton* proxyPassword = nullptr;
  QCheckBox* promptForPassword = nullptr;
  QLineEdit* cookieFile = nullptr;
  QPushButton* browseCookieFile = nullptr;
  QCheckBox* skipLogoutLinks = nullptr;

 protected:
  void loadOwn(const OptionValues& values) override;
  // A new password of a group becomes Base64 of "user:password".
  void applyOwn(OptionValues& values) override;
  void updateEnabling() override;

 private:
  std::optional<QString> m_internetPassword;  // set this time; never the stored one
  std::optional<QString> m_proxyPassword;
};

}  // namespace sg
