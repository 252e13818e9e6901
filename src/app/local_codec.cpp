#include "app/local_codec.h"

#include "app/errors.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <clocale>
#include <functional>
#include <langinfo.h>
#include <optional>

namespace {
QByteArray& activeName() {
    static QByteArray name;
    return name;
}

QByteArray charsetOfLocale() {
    // Only the character classification is taken from the environment; numbers keep the C rules.
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    const QByteArray saved = previous ? QByteArray(previous) : QByteArray("C");
    std::setlocale(LC_CTYPE, "");
    const QByteArray charset(nl_langinfo(CODESET));
    std::setlocale(LC_CTYPE, saved.constData());
    return charset;
}
} // namespace

namespace LocalCodec {

QByteArray codecNameForCharset(const QByteArray& charset) {
    const QByteArray upper = charset.toUpper();
    if (upper.isEmpty() || upper == "ANSI_X3.4-1968" || upper == "ASCII" || upper == "US-ASCII" ||
        upper == "UTF-8" || upper == "UTF8")
        return "UTF-8";
    if (upper.startsWith("BIG5") || upper == "CP950")
        return "Big5"; // "CP950" in ICU is a different IBM table that loses characters.
    if (QStringDecoder(upper.constData()).isValid())
        return charset;
    return "UTF-8";
}

QByteArray codecName() {
    if (activeName().isEmpty())
        activeName() = codecNameForCharset(charsetOfLocale());
    return activeName();
}

void setCodecName(const QByteArray& name) {
    activeName() = name;
}

QString toUnicode(const QByteArray& bytes) {
    QStringDecoder decoder(codecName().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(bytes);
    return decoder.decode(bytes);
}

QByteArray detect(const QByteArray& bytes) {
    for (const QByteArray& name : {codecName(), QByteArray("UTF-8"), QByteArray("Big5")}) {
        QStringDecoder decoder(name.constData());
        if (!decoder.isValid())
            continue;
        const QString decoded = decoder.decode(bytes); // the conversion runs when the result is taken
        if (!decoder.hasError())
            return name;
    }
    return codecName();
}

QString toUnicode(const QByteArray& bytes, const QByteArray& codec) {
    QStringDecoder decoder(codec.constData());
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromUtf8(bytes);
}

QString toUnicodeBestEffort(const QByteArray& bytes) {
    return toUnicode(bytes, detect(bytes));
}

namespace {
// The text in the page, each character the page cannot hold given to `unheld`, which returns the
// bytes to write in its place.
QByteArray encodeEach(const QString& text, const QByteArray& codec,
                      const std::function<QByteArray(const QString&)>& unheld) {
    QStringEncoder encoder(codec.constData());
    if (!encoder.isValid())
        return text.toUtf8();
    const QByteArray bytes = encoder.encode(text);
    if (toUnicode(bytes, codec) == text)
        return bytes;
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString one = text.mid(i, length);
        QStringEncoder single(codec.constData());
        const QByteArray encoded = single.encode(one);
        out += toUnicode(encoded, codec) == one ? encoded : unheld(one);
        i += length - 1;
    }
    return out;
}
} // namespace

QByteArray fromUnicodeExactly(const QString& text, const QByteArray& codec) {
    // The first character that does not come back is the one the page cannot hold.
    return encodeEach(text, codec, [&](const QString& one) -> QByteArray {
        throw AppError(ErrNo::PathFileAccess,
                       QStringLiteral("字元 \"%1\" 無法以檔案的字碼 (%2) 寫出, 未存檔。")
                           .arg(one, QString::fromLatin1(codec)));
    });
}

QByteArray fromUnicode(const QString& text) {
    QStringEncoder encoder(codecName().constData());
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

QByteArray fromUnicodeMarked(const QString& text) {
    return encodeEach(text, codecName(), [](const QString& one) {
        return QStringLiteral("U+%1")
            .arg(one.toUcs4().value(0), 4, 16, QLatin1Char('0'))
            .toUpper()
            .toLatin1();
    });
}

} // namespace LocalCodec
