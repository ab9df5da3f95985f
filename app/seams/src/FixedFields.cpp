#include "torq/app/seams/FixedFields.h"

#include <QFontDatabase>
#include <QFontMetrics>

namespace torq::app {

QFont FixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QValidator::State HexValidator::validate(QString& input, int& /*position*/) const {
    for (QChar& c : input) {
        const char16_t u = c.unicode();
        const bool digit = u >= u'0' && u <= u'9';
        const bool upper = u >= u'A' && u <= u'F';
        const bool lower = u >= u'a' && u <= u'f';
        if (!digit && !upper && !lower)
            return Invalid;
        if (lower)
            c = c.toUpper();
    }
    return Acceptable;
}

QLineEdit* MakeHexField(QWidget* parent, const char* objectName, int digits) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(objectName));
    field->setValidator(new HexValidator(field));
    field->setMaxLength(digits);
    field->setFont(FixedFont());
    const QFontMetrics metrics(field->font());
    // Room for the digits plus the frame and the text margins.
    const int width = metrics.horizontalAdvance(QString(digits + 2, QLatin1Char('0')));
    if (digits <= 4)
        field->setFixedWidth(width);  // a byte or a word: no need to stretch
    else
        field->setMinimumWidth(width);
    return field;
}

}  // namespace torq::app
