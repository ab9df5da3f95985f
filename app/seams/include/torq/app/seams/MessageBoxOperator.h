// The operator as the desktop shows it: questions and messages as modal message boxes.
#pragma once

#include <QPointer>
#include <QWidget>

#include "torq/devlib/Seams.h"

namespace torq::app {

// Questions and messages as modal message boxes over a window.
class MessageBoxOperator final : public Operator {
  public:
    explicit MessageBoxOperator(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    Answer Respond(const OperatorMessage& message) override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace torq::app
