// The Premium tab's content: `Premium_PageControl` with one sheet per parameter page of the
// model, each component at the position its page file gives, and the OK and Cancel buttons under
// it. The controls give the operator's changes to the model (checked, choice, text), so the model
// saves what the operator sees.
#pragma once

#include <QWidget>

class QPushButton;
class QTabWidget;

#include "torq/workflow/PremiumModel.h"

namespace torq::app {

class PremiumPages final : public QWidget {
    Q_OBJECT
  public:
    explicit PremiumPages(PremiumModel& model, QWidget* parent = nullptr);

    // Destroys every sheet and builds them again from the model's pages (after the model built
    // them for the Premium tab).
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
    const PageComponent* Component(int page, int index) const;

    PremiumModel& model_;
    QTabWidget* pageControl_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace torq::app
