// Small pieces the dialogs and pages share: text conversion, the fixed-width font, fields whose
// keys go through one of the core's key rules, replacing a field's text with a corrected one, and
// a label that acts as a link.
#pragma once

#include <QLabel>
#include <QString>
#include <QValidator>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "torq/app/seams/FixedFields.h"

class QLineEdit;
class QWidget;

namespace torq::app {

inline QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ToStdString(const QString& text) {
    return text.toUtf8().toStdString();
}

// Names a widget for tests and the window's name list.
template <typename W>
W* Named(W* widget, const char* objectName) {
    widget->setObjectName(QString::fromLatin1(objectName));
    return widget;
}

// A key filter as a validator: every character typed or pasted goes through `filter`, which turns
// it into the character to insert or drops it (nullopt). Characters outside ASCII are offered as
// 0x80, so only a filter that takes anything lets them through.
class KeyFilterValidator final : public QValidator {
  public:
    using Filter = std::function<std::optional<char>(char)>;
    KeyFilterValidator(Filter filter, QObject* parent);
    State validate(QString& input, int& position) const override;

  private:
    Filter filter_;
};

// Attaches a key filter to a field.
void FilterKeys(QLineEdit* field, KeyFilterValidator::Filter filter);

// Puts a rule's corrected text into a field after an edit; the caret goes to the end. When the
// operator had left the field empty or zero, the value the rule put in is selected, so the next
// key starts a new value. Returns true when it changed the field.
bool ShowCorrectedText(QLineEdit* field, const std::string& corrected);

// Gives a field the width of `digits` characters of its font (plus frame and margins).
void SizeForDigits(QLineEdit* field, int digits);

// A label that reads as a link: the palette's link colour, a pointing hand, underlined while the
// mouse is over it or it has the keyboard focus. A click, Enter or Space emits activated().
class LinkLabel final : public QLabel {
    Q_OBJECT
  public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

  signals:
    void activated();

  protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Underline();

    bool hovered_ = false;
    bool pressed_ = false;
};

}  // namespace torq::app
