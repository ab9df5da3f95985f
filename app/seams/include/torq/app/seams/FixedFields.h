// The fixed-width font and the hexadecimal field, as the hex editor and the window's dialogs show
// addresses, sums and byte values.
#pragma once

#include <QFont>
#include <QLineEdit>
#include <QValidator>

namespace torq::app {

// The desktop's fixed-width font: addresses, checksums, numbers, the hex view and the log.
QFont FixedFont();

// Takes hexadecimal digits only, turning a-f to upper case as they are typed.
class HexValidator final : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& position) const override;
};

// A hexadecimal field of at most `digits` digits in the fixed-width font, wide enough for them
// (a byte or a word fixed, an address at least).
QLineEdit* MakeHexField(QWidget* parent, const char* objectName, int digits);

}  // namespace torq::app
