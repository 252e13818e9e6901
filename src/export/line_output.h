#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>

#include <optional>

class QIODevice;

// Lines of text going to a device in the local code page, each ended by CR LF, gathered in a
// buffer and handed over in large writes. Every write is checked: a device that takes less than
// it was given (a full disk) ends the output with an AppError. A character the code page cannot
// hold is never replaced: it ends the output with an AppError naming it and its line.
class LineOutput {
public:
    explicit LineOutput(QIODevice& device);
    LineOutput(const LineOutput&) = delete;
    LineOutput& operator=(const LineOutput&) = delete;

    void writeLine(const QString& line);
    // Hands over what is still buffered; throws AppError when the device does not take it.
    void finish();
    qint64 lines() const { return m_lines; }

private:
    void append(const QString& line);
    void flush();

    QIODevice& m_device;
    QByteArray m_codec;
    bool m_utf8 = true;
    std::optional<QStringEncoder> m_encoder;
    QByteArray m_buffer;
    qint64 m_lines = 0;
};
