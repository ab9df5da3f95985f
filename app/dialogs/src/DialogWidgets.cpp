#include "torq/app/DialogWidgets.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace torq::app {

QFont FixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

KeyFilterValidator::KeyFilterValidator(Filter filter, QObject* parent)
    : QValidator(parent), filter_(std::move(filter)) {}

QValidator::State KeyFilterValidator::validate(QString& input, int& /*position*/) const {
    constexpr char kOutsideAscii = static_cast<char>(0x80);
    for (QChar& c : input) {
        const char16_t u = c.unicode();
        const char key = u < 0x80 ? static_cast<char>(u) : kOutsideAscii;
        const std::optional<char> accepted = filter_(key);
        if (!accepted)
            return Invalid;
        if (u < 0x80)
            c = QChar(static_cast<char16_t>(static_cast<unsigned char>(*accepted)));
    }
    return Acceptable;
}

void FilterKeys(QLineEdit* field, KeyFilterValidator::Filter filter) {
    field->setValidator(new KeyFilterValidator(std::move(filter), field));
}

bool ShowCorrectedText(QLineEdit* field, const std::string& corrected) {
    const QString text = ToQString(corrected);
    const QString typed = field->text();
    if (typed == text)
        return false;
    const bool nothingTyped =
        std::all_of(typed.begin(), typed.end(), [](QChar c) { return c == QLatin1Char('0'); });
    field->setText(text);
    if (nothingTyped)
        field->selectAll();
    else
        field->setCursorPosition(static_cast<int>(text.size()));
    return true;
}

void SizeForDigits(QLineEdit* field, int digits) {
    const QFontMetrics metrics(field->font());
    QStyleOptionFrame option;
    option.initFrom(field);
    const QSize text(metrics.horizontalAdvance(QString(digits + 1, QLatin1Char('0'))),
                     metrics.height());
    const QSize size = field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field);
    field->setFixedWidth(size.width());
}

}  // namespace torq::app
