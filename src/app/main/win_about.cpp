#include "app/main/win_about.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/widgets/skins.h"
#include "app/widgets/ui_services.h"
#include "app/widgets/widget_parts.h"

namespace moskvid {

TfrmAbout::TfrmAbout(const QString& title, const QString& version, const QString& homePage,
                     TUiServices& services, int skin, QWidget* parent)
    : QDialog(parent), skin_(skin) {
  setObjectName("frmAbout");
  setWindowTitle("About " + title);

  auto* icon = new QLabel(this);
  icon->setPixmap(QApplication::windowIcon().pixmap(64, 64));
  auto* name = new QLabel("<b>" + title + "</b>" + version.toHtmlEscaped(), this);
  name->setObjectName("lblTitle");
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  name->setFont(big);
  auto* about = new QLabel(
      "Converts video, audio and picture files for portable players and game consoles.", this);
  about->setWordWrap(true);
  auto* link = new QLabel(QString("<a href=\"%1\">%1</a>").arg(homePage.toHtmlEscaped()), this);
  link->setObjectName("lblHomePage");
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link, &QLabel::linkActivated, this,
          [&services](const QString& url) { services.OpenUrl(QUrl(url)); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName("btnOk");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(about);
  text->addWidget(link);
  text->addStretch();
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  // The designed size, or more when the fields need it.
  KeepDesignedSize(*this, {360, 200});
}

void TfrmAbout::showEvent(QShowEvent* event) {
  ApplySkin(*this, skin_);
  QDialog::showEvent(event);
}

}  // namespace moskvid
