// The Premium tab's content: `Premium_PageControl` with one sheet per parameter page of the
// workbench's model, each component at the position its page file gives, and the OK and Cancel
// buttons under it. The controls write the operator's changes back into the model (checked,
// selectedIndex, text), so the workbench saves what the operator sees.
#pragma once

#include <QWidget>

class QPushButton;
class QTabWidget;

namespace torq {
class Workbench;
struct PageComponent;
}  // namespace torq

namespace torq::app {

class PremiumPages final : public QWidget {
    Q_OBJECT
  public:
    explicit PremiumPages(Workbench& bench, QWidget* parent = nullptr);

    // Destroys every sheet and builds them again from the workbench's pages (after the workbench
    // built them for the Premium tab).
    void Rebuild();

    QTabWidget* PageControl() const { return pageControl_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

    // The largest position or size a page file may give a component, in pixels; larger values
    // are taken as this, negative ones as 0.
    static constexpr int kPixelLimit = 4096;

  private:
    QWidget* BuildSheet(int page);
    void AddComponent(QWidget* sheet, int page, int index);
    // The model's component, looked up afresh (the pages may have been rebuilt meanwhile).
    PageComponent* Component(int page, int index) const;

    Workbench& bench_;
    QTabWidget* pageControl_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace torq::app
