// The overall verdict ("Status_ResultImage_Panel"): one face per image, each a large word with
// its icon in the state's colour (WAIT, PASS, FAIL, ONLINE, OFFLINE, STOPPED), and a detail line
// under it (the step that runs, the time a run took, the programmer).
#pragma once

#include <QWidget>

#include "torq/workflow/IndicatorBoard.h"

namespace torq::app {

class StatusPanel;

class StatusFace final : public QWidget {
    Q_OBJECT
  public:
    StatusFace(StatusPanel* panel, StatusImage state, const QString& name);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    StatusPanel* panel_;
    StatusImage state_;
};

class StatusPanel final : public QWidget {
    Q_OBJECT
  public:
    StatusPanel(const Indicator& indicator, QWidget* parent);
    void SetDetail(const QString& detail);
    const QString& Detail() const { return detail_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QString detail_;
};

}  // namespace torq::app
