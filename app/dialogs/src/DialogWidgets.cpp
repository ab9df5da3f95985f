#include "torq/app/DialogWidgets.h"

#include <QEnterEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace torq::app {

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

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setForegroundRole(QPalette::Link);
}

void LinkLabel::Underline() {
    QFont shown = font();
    shown.setUnderline(hovered_ || hasFocus());
    setFont(shown);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    Underline();
    QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
    hovered_ = false;
    pressed_ = false;
    Underline();
    QLabel::leaveEvent(event);
}

void LinkLabel::focusInEvent(QFocusEvent* event) {
    Underline();
    QLabel::focusInEvent(event);
}

void LinkLabel::focusOutEvent(QFocusEvent* event) {
    Underline();
    QLabel::focusOutEvent(event);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

// As with a button, the click counts when the mouse is released over the label.
void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    if (click)
        emit activated();
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            event->accept();
            emit activated();
            return;
        default:
            QLabel::keyPressEvent(event);
    }
}

}  // namespace torq::app
