// The splash picture shown over the main window at start-up: opaque for a second, then fading
// out in 21 ms steps until it closes itself.
#pragma once

#include <QTimer>
#include <QWidget>

namespace tablorix::app {

class Tfrm_Logo : public QWidget {
  Q_OBJECT

 public:
  explicit Tfrm_Logo(QWidget* owner);

  // The alpha value of the window, 255 at start; the window closes once it is 33 or less.
  int Opacity() const { return opacity_; }
  QTimer* Timer1() { return &timer1_; }  // the one-second wait
  QTimer* Timer2() { return &timer2_; }  // the fade steps

  // One fade step; public so that tests step through the fade without waiting.
  void Timer2Timer();

 protected:
  void showEvent(QShowEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Timer1Timer();

  QTimer timer1_;
  QTimer timer2_;
  int opacity_ = 255;
};

}  // namespace tablorix::app
