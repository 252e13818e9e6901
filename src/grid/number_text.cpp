#include "grid/number_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
bool isPlainDecimal(const char* bytes, size_t size) {
    size_t i = size > 0 && (bytes[0] == '-' || bytes[0] == '+') ? 1 : 0;
    size_t digits = 0;
    int points = 0;
    for (; i < size; ++i) {
        if (bytes[i] == '.')
            ++points;
        else if (bytes[i] >= '0' && bytes[i] <= '9')
            ++digits;
        else
            return false;
    }
    return digits > 0 && points <= 1;
}

// Magnitudes as decimal digit strings, most significant first, without leading zeros.
std::string trimmed(std::string digits) {
    const size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : digits.substr(first);
}

int compareMagnitudes(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

std::string addMagnitudes(const std::string& a, const std::string& b) {
    std::string sum;
    int carry = 0;
    for (size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
        const int d = carry + (i < a.size() ? a[a.size() - 1 - i] - '0' : 0) +
                      (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        sum.push_back(char('0' + d % 10));
        carry = d / 10;
    }
    std::reverse(sum.begin(), sum.end());
    return trimmed(sum);
}

// a - b for a >= b.
std::string subtractMagnitudes(const std::string& a, const std::string& b) {
    std::string difference;
    int borrow = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        int d = (a[a.size() - 1 - i] - '0') - borrow - (i < b.size() ? b[b.size() - 1 - i] - '0' : 0);
        borrow = d < 0;
        difference.push_back(char('0' + (d + 10) % 10));
    }
    std::reverse(difference.begin(), difference.end());
    return trimmed(difference);
}
} // namespace

namespace NumberText {

std::to_chars_result doubleChars(char* first, char* last, double value) {
    // The shortest form first: far cheaper to make, and the same text for nearly every value.
    std::to_chars_result done = std::to_chars(first, last, value);
    int significant = 0;
    for (const char* p = first; p < done.ptr && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9' && (significant > 0 || *p != '0'))
            ++significant;
    if (significant > 15)
        done = std::to_chars(first, last, value, std::chars_format::general, 15);
    for (char* p = first; p < done.ptr; ++p)
        if (*p == 'e')
            *p = 'E';
    return done;
}

QString ofDouble(double value) {
    char digits[64];
    const std::to_chars_result done = doubleChars(digits, digits + sizeof digits, value);
    return QString::fromLatin1(digits, done.ptr - digits);
}

size_t decimalLength(const char* bytes, size_t size) {
    if (!isPlainDecimal(bytes, size) || !std::memchr(bytes, '.', size))
        return size;
    while (size > 0 && bytes[size - 1] == '0')
        --size;
    if (size > 0 && bytes[size - 1] == '.')
        --size;
    return size;
}

QString ofDecimalText(QStringView text) {
    const QByteArray bytes = text.toLatin1();
    QString shown = text.left(qsizetype(decimalLength(bytes.constData(), size_t(bytes.size())))).toString();
    return shown == QLatin1String("-0") ? QStringLiteral("0") : shown;
}

QString ofNumberText(QStringView text, bool isDouble) {
    if (!isDouble)
        return ofDecimalText(text);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? ofDouble(value) : text.toString();
}

} // namespace NumberText

void DecimalSum::rescale(int scale) {
    if (scale > m_scale) {
        if (m_digits != "0")
            m_digits.append(size_t(scale - m_scale), '0');
        m_scale = scale;
    }
}

void DecimalSum::add(QStringView text) {
    const QByteArray bytes = text.trimmed().toLatin1();
    if (!isPlainDecimal(bytes.constData(), size_t(bytes.size())))
        return;
    const bool negative = bytes.startsWith('-');
    std::string digits(bytes.constData() + (negative || bytes.startsWith('+') ? 1 : 0));
    const size_t point = digits.find('.');
    int scale = 0;
    if (point != std::string::npos) {
        scale = int(digits.size() - point - 1);
        digits.erase(point, 1);
    }
    digits = trimmed(digits);
    rescale(scale);
    if (scale < m_scale && digits != "0")
        digits.append(size_t(m_scale - scale), '0');
    if (negative == m_negative) {
        m_digits = addMagnitudes(m_digits, digits);
    } else if (compareMagnitudes(m_digits, digits) >= 0) {
        m_digits = subtractMagnitudes(m_digits, digits);
    } else {
        m_digits = subtractMagnitudes(digits, m_digits);
        m_negative = negative;
    }
    if (m_digits == "0")
        m_negative = false;
}

QString DecimalSum::text() const {
    std::string digits = m_digits;
    if (m_scale > 0) {
        if (digits.size() <= size_t(m_scale))
            digits.insert(0, size_t(m_scale) + 1 - digits.size(), '0');
        digits.insert(digits.size() - size_t(m_scale), 1, '.');
    }
    const QString shown = NumberText::ofDecimalText(QString::fromStdString(digits));
    return m_negative && shown != QLatin1String("0") ? u'-' + shown : shown;
}
