#include "ui/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/version.h"
#include "util/texts.h"

namespace sg {

namespace {

// A label that shows its caption as a link and opens the target when clicked.
QLabel* hyperlink(const QString& caption, const QString& target, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), caption.toHtmlEscaped()),
                           parent);
  label->setTextFormat(Qt::RichText);
  label->setOpenExternalLinks(true);
  label->setTextInteractionFlags(Qt::TextBrowserInteraction);
  return label;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(tr("About Sitegleaner"));
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("<b>Sitegleaner %1</b>").arg(QStringLiteral(SITEGLEANER_VERSION_TEXT)), this);
  layout->addWidget(title);
  layout->addWidget(new QLabel(tr("A website copier and offline browser."), this));
  layout->addWidget(hyperlink(tr("Sitegleaner Home Page"), QStringLiteral("http://www.corvalin.example/sitegleaner"), this));
  layout->addWidget(hyperlink(tr("Send Feedback"), QStringLiteral("mailto:sitegleaner@corvalin.example"), this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

ConditionsDialog::ConditionsDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("conditionsDialog"));
  setWindowTitle(tr("Sitegleaner - Conditions of Use"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromLatin1(text::kConditionsOfUse), this);
  text->setWordWrap(true);
  text->setMinimumWidth(420);
  layout->addWidget(text);
  auto* button = new QPushButton(tr("I understand this warning, and will use Sitegleaner responsibly"), this);
  button->setDefault(true);
  connect(button, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(button);
}

}  // namespace sg
