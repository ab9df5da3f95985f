// The tab control ("Menu_TabControl"): the four tabs (Emulator, Programmer, Premium, Options)
// over one page area holding the operation, Premium and Options panels, of which the workflow
// shows one. A click on a tab is a request: the workflow may refuse it (a leave check) or show
// another tab (the Premium fall-back), and the bar then follows what it shows.
#pragma once

#include <QWidget>

class QTabBar;
class QVBoxLayout;

namespace torq::app {

class MenuTabControl final : public QWidget {
    Q_OBJECT
  public:
    explicit MenuTabControl(QWidget* parent);

    QTabBar* Bar() const { return bar_; }
    // Adds a page panel (shown or hidden by the workflow).
    void AddPanel(QWidget* panel);
    // Shows `tab` as the current tab without asking anyone.
    void SetCurrent(int tab);
    int Current() const;

  signals:
    void TabRequested(int tab);

  private:
    QTabBar* bar_;
    QVBoxLayout* pages_;
};

}  // namespace torq::app
