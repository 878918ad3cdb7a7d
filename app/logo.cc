// The splash window (frm_Logo). The picture is drawn: a stored bitmap would be the only binary
// file of the program.
#include "app/logo.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QScreen>

#include "app/PrgConst.h"

namespace tablorix::app {
namespace {

constexpr int kStartDelayMs = 1000;
constexpr int kFadeStepMs = 21;
constexpr int kFadeStep = 10;
constexpr int kCloseOpacity = 33;

}  // namespace

Tfrm_Logo::Tfrm_Logo(QWidget* owner) : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("frm_Logo"));
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(400, 240);
  timer1_.setSingleShot(true);
  timer1_.setInterval(kStartDelayMs);
  timer2_.setInterval(kFadeStepMs);
  connect(&timer1_, &QTimer::timeout, this, &Tfrm_Logo::Timer1Timer);
  connect(&timer2_, &QTimer::timeout, this, &Tfrm_Logo::Timer2Timer);
}

void Tfrm_Logo::showEvent(QShowEvent* event) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r = screen->geometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  }
  setWindowOpacity(opacity_ / 255.0);
  timer1_.start();
  QWidget::showEvent(event);
}

void Tfrm_Logo::Timer1Timer() {
  timer1_.stop();
  timer2_.start();
}

void Tfrm_Logo::Timer2Timer() {
  opacity_ -= kFadeStep;
  setWindowOpacity(opacity_ / 255.0);
  if (opacity_ <= kCloseOpacity) {
    timer2_.stop();
    close();  // deletes the window
  }
}

void Tfrm_Logo::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF r = rect().adjusted(4, 4, -4, -4);
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, QColor(0x1E, 0x3A, 0x6E));
  g.setColorAt(1, QColor(0x4A, 0x86, 0xC8));
  p.setBrush(g);
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(r, 24, 24);
  p.setPen(Qt::white);
  QFont title(QStringLiteral("Tahoma"), 36, QFont::Bold);
  p.setFont(title);
  p.drawText(r.adjusted(0, 40, 0, -80), Qt::AlignHCenter | Qt::AlignTop,
             QString::fromLatin1(kProductName));
  p.setFont(QFont(QStringLiteral("Tahoma"), 11));
  p.drawText(r.adjusted(0, 0, 0, -40), Qt::AlignHCenter | Qt::AlignBottom,
             QString::fromLatin1(kVersionLabel));
}

}  // namespace tablorix::app
