#include "widgets/DigitsField.h"

#include "torq/app/seams/FixedFields.h"
#include "widgets/Theme.h"

namespace torq::app {

QLineEdit* MakeDigitsField(const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setFont(FixedFont());
    field->setReadOnly(true);
    field->setText(QStringLiteral("00000000"));
    const int digits = field->fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
    field->setFixedWidth(digits + 2 * theme::kGrid + 4);
    return field;
}

}  // namespace torq::app
