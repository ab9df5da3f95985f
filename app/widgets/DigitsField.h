// A read-only field of eight hexadecimal digits (a socket's checksum and offset): the fixed-width
// font, sized for its digits.
#pragma once

#include <QLineEdit>

namespace torq::app {

QLineEdit* MakeDigitsField(const QString& name, QWidget* parent);

}  // namespace torq::app
