// An address field ("Unit1_StartAdd1_Edit"): fixed-width digits, sized for eight, taking only what
// the offset rule accepts (0-9, A-F, a-f turned to capitals), typed or pasted.
#pragma once

#include <QLineEdit>

namespace torq::app {

class HexLineEdit final : public QLineEdit {
    Q_OBJECT
  public:
    HexLineEdit(const QString& name, QWidget* parent);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
};

// A read-only eight-digit field (checksums) in the same font and size.
QLineEdit* MakeDigitsField(const QString& name, QWidget* parent);

}  // namespace torq::app
