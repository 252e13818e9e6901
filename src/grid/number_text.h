#pragma once

#include <QString>
#include <QStringView>

#include <charconv>
#include <string>

// How numbers are shown. Single and double values: fifteen significant digits at most, the exponent
// written E+nn / E-nn. Whole and decimal values: every digit the engine gave, without the zeros a
// decimal's scale adds (1234.5000 shows 1234.5).
namespace NumberText {
std::to_chars_result doubleChars(char* first, char* last, double value);
QString ofDouble(double value);
// The length of a decimal's text without its scale's trailing zeros (and a point left bare); text
// that is no plain decimal keeps its length.
size_t decimalLength(const char* bytes, size_t size);
QString ofDecimalText(QStringView text);
// Text for a value of the column kind that came as text: decimals trimmed, doubles parsed and
// shown in their fifteen digits; anything else as it came.
QString ofNumberText(QStringView text, bool isDouble);
} // namespace NumberText

// An exact sum of decimal texts, whatever their length: no binary rounding on the way.
class DecimalSum {
public:
    // Adds a plain decimal ("-12", "3.25"); text that is no plain decimal counts as 0.
    void add(QStringView text);
    QString text() const;

private:
    // The sum scaled by 10^scale, as a sign and the decimal digits of its magnitude.
    bool m_negative = false;
    std::string m_digits = "0";
    int m_scale = 0;
    void rescale(int scale);
};
