#include "widgets/HexLineEdit.h"

#include <QKeyEvent>

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
}

QSize HexLineEdit::sizeHint() const {
    return EightDigits(*this);
}

void HexLineEdit::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool typed = text.size() == 1 && text.at(0).isPrint() &&
                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const char key = text.at(0).toLatin1();
    if (const auto accepted = Units::AcceptOffsetKey(key); accepted && *accepted != '\b')
        insert(QString(QChar::fromLatin1(*accepted)));
    // Any other key is swallowed.
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
