#include "widgets/HexLineEdit.h"

#include "torq/app/DialogWidgets.h"
#include "torq/workflow/Units.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

QSize EightDigits(const QLineEdit& edit) {
    const int digits = edit.fontMetrics().horizontalAdvance(QStringLiteral("00000000"));
    return {digits + 2 * theme::kGrid + 4, edit.QLineEdit::sizeHint().height()};
}

}  // namespace

HexLineEdit::HexLineEdit(const QString& name, QWidget* parent) : QLineEdit(parent) {
    setObjectName(name);
    setFont(theme::FixedFont());
    setText(QStringLiteral("00000000"));
    FilterKeys(this, [](char key) -> std::optional<char> {
        const std::optional<char> accepted = Units::AcceptOffsetKey(key);
        if (accepted == '\b')
            return std::nullopt;
        return accepted;
    });
}

QSize HexLineEdit::sizeHint() const {
    return EightDigits(*this);
}

QLineEdit* MakeDigitsField(const QString& name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setFont(theme::FixedFont());
    field->setReadOnly(true);
    field->setText(QStringLiteral("00000000"));
    field->setFixedWidth(EightDigits(*field).width());
    return field;
}

}  // namespace torq::app
