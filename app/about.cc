// The About box (AboutBox).
#include "app/about.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>

#include "app/PrgConst.h"

namespace tablorix::app {

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("Névjegy"));
  auto* grid = new QGridLayout(this);

  ProgramIcon = new QLabel(this);
  ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
  ProductName = new QLabel(QString::fromLatin1(kProductName), this);
  QFont big = ProductName->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  ProductName->setFont(big);
  Version = new QLabel(QString::fromLatin1(kVersionLabel), this);
  Version->setObjectName(QStringLiteral("Version"));
  Copyright = new QLabel(QString::fromUtf8(kMakerNotice), this);
  const QString page = QString::fromLatin1(kMakerPage);
  Link =
      new QLabel(QStringLiteral("<a href=\"%1\" style=\"color:#0000FF\">%1</a>").arg(page), this);
  Link->setObjectName(QStringLiteral("Link"));
  Link->setCursor(Qt::PointingHandCursor);
  Link->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  connect(Link, &QLabel::linkActivated, this,
          [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); });
  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

  grid->addWidget(ProgramIcon, 0, 0, 2, 1, Qt::AlignTop);
  grid->addWidget(ProductName, 0, 1);
  grid->addWidget(Version, 1, 1);
  grid->addWidget(Copyright, 2, 1);
  grid->addWidget(Link, 3, 1);
  grid->addWidget(OKButton, 4, 0, 1, 2, Qt::AlignHCenter);
}

void TAboutBox::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
}

void ShowAboutBox(QWidget* owner) {
  TAboutBox box(owner);
  box.exec();
}

}  // namespace tablorix::app
