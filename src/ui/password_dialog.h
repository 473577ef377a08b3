// Password dialogs: "Set Password" of the options sheet's Security page,
// and the prompt for a user name and password that a worker shows when a
// server (401) or the proxy (407) refuses the stored credentials.
#pragma once

#include <QDialog>
#include <QPointer>
#include <map>
#include <string>

#include "pipeline/password_prompt.h"
#include "util/mutex.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace sg {

class WorkerRequests;

// "Set Password": one hidden field of at most 64 characters. GUI thread only.
class SetPasswordDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxPassword = 64;
  explicit SetPasswordDialog(QWidget* parent = nullptr);
  QString password() const;
  QLineEdit* edit() const { return m_edit; }

 private:
  QLineEdit* m_edit;
};

// User name and password for a site or the proxy; OK only with a user
// name. GUI thread only.
class CredentialsDialog : public QDialog {
  Q_OBJECT

 public:
  CredentialsDialog(bool proxy, const QString& url, const QString& user, QWidget* parent = nullptr);
  // Base64 of "user:password".
  std::string credential() const;
  QLineEdit* userEdit() const { return m_user; }
  QLineEdit* passwordEdit() const { return m_password; }
  QDialogButtonBox* buttons() const { return m_buttons; }

 private:
  QLineEdit* m_user;
  QLineEdit* m_password;
  QDialogButtonBox* m_buttons;
};

// The desktop's answer to a 401 or 407: the credentials dialog on the GUI
// thread while the asking worker waits (see WorkerRequests). What the user
// gave for a server (or the proxy) is offered once for each later link of
// that server before the user is asked again, as a browser keeps the
// password of a site for the session. Thread-safe.
class DesktopPasswordPrompt : public PasswordPrompt {
 public:
  // parent (GUI thread) owns the dialogs; requests must go before this
  // prompt, so that no request of it is still queued.
  DesktopPasswordPrompt(WorkerRequests& requests, QWidget* parent);
  bool askCredentials(const LinkRecord& link, bool proxy, std::string& credential) override;

 private:
  WorkerRequests& m_requests;
  QPointer<QWidget> m_parent;
  Mutex m_mutex;
  std::map<std::string, std::string> m_given SG_GUARDED_BY(m_mutex);  // "site host:port" or "proxy" -> credential
};

}  // namespace sg
