// A socket's status lamp ("Unit1_StatusLights1Image_Panel") as a round badge with one face per
// image: Gray is a hollow ring (idle), Yellow an amber disc with an hourglass (working), Green a
// disc with a tick, Red a disc with a cross.
#pragma once

#include <QWidget>

#include "torq/workflow/IndicatorBoard.h"

namespace torq::app {

class LampFace final : public QWidget {
    Q_OBJECT
  public:
    LampFace(QWidget* panel, LampImage state, const QString& name);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    LampImage state_;
};

class Lamp final : public QWidget {
    Q_OBJECT
  public:
    Lamp(const Indicator& indicator, QWidget* parent);
    QSize sizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace torq::app
