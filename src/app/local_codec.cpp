#include "app/local_codec.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <clocale>
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

QString toUnicodeBestEffort(const QByteArray& bytes) {
    const auto cleanly = [&bytes](const char* name) -> std::optional<QString> {
        QStringDecoder decoder(name);
        if (!decoder.isValid())
            return std::nullopt;
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    };
    for (const QByteArray& name : {codecName(), QByteArray("UTF-8"), QByteArray("Big5")})
        if (auto text = cleanly(name.constData()))
            return *text;
    return toUnicode(bytes);
}

QByteArray fromUnicode(const QString& text) {
    QStringEncoder encoder(codecName().constData());
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

} // namespace LocalCodec
