#include "db/packed_values.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

#include <cstdlib>
#include <cstring>

// Block layout: uint32 n, then each value in turn: one tag byte and its payload: nothing (invalid),
// 8 bytes (whole number, double), or uint32 length and the bytes (UTF-8 text, bytes, a QDataStream
// of the variant). A value is found by stepping over the ones before it: records are read a
// visible row at a time, and an offset table would cost more than the data of most rows.

namespace {
enum Tag : char { Invalid, Integer, Real, Text, Bytes, Streamed };

void put(QByteArray& out, const void* data, size_t size) {
    out.append(static_cast<const char*>(data), qsizetype(size));
}

void putSized(QByteArray& out, Tag tag, const QByteArray& bytes) {
    out.append(char(tag));
    const quint32 length = quint32(bytes.size());
    put(out, &length, sizeof length);
    out.append(bytes);
}

template <typename T> T read(const char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

quint32 countOf(const char* block) {
    return block ? read<quint32>(block) : 0;
}

// Where the value after the one at `value` starts.
const char* stepOver(const char* value) {
    switch (Tag(*value)) {
    case Invalid:
        return value + 1;
    case Integer:
    case Real:
        return value + 1 + 8;
    default:
        return value + 1 + sizeof(quint32) + read<quint32>(value + 1);
    }
}

const char* valueAt(const char* block, quint32 i) {
    const char* value = block + sizeof(quint32);
    for (quint32 k = 0; k < i; ++k)
        value = stepOver(value);
    return value;
}
} // namespace

void PackedValues::Builder::addNull() {
    m_body.append(char(Invalid));
    ++m_count;
}

void PackedValues::Builder::addInteger(qint64 value) {
    m_body.append(char(Integer));
    put(m_body, &value, sizeof value);
    ++m_count;
}

void PackedValues::Builder::addReal(double value) {
    m_body.append(char(Real));
    put(m_body, &value, sizeof value);
    ++m_count;
}

void PackedValues::Builder::addText(const char* utf8, int size) {
    m_body.append(char(Text));
    const quint32 length = quint32(size);
    put(m_body, &length, sizeof length);
    m_body.append(utf8, size);
    ++m_count;
}

void PackedValues::Builder::addBytes(const char* bytes, int size) {
    m_body.append(char(Bytes));
    const quint32 length = quint32(size);
    put(m_body, &length, sizeof length);
    m_body.append(bytes, size);
    ++m_count;
}

void PackedValues::Builder::addVariant(const QVariant& value) {
    switch (value.isNull() && value.isValid() ? QMetaType::UnknownType : value.typeId()) {
    case QMetaType::LongLong:
        addInteger(value.toLongLong());
        return;
    case QMetaType::Double:
        addReal(value.toDouble());
        return;
    case QMetaType::QString: {
        const QByteArray utf8 = value.toString().toUtf8();
        addText(utf8.constData(), int(utf8.size()));
        return;
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        addBytes(bytes.constData(), int(bytes.size()));
        return;
    }
    default:
        break;
    }
    if (!value.isValid()) {
        addNull();
        return;
    }
    // Typed nulls and every other type keep their exact form.
    QByteArray streamed;
    QDataStream stream(&streamed, QIODevice::WriteOnly);
    stream << value;
    putSized(m_body, Streamed, streamed);
    ++m_count;
}

PackedValues PackedValues::Builder::take() const {
    PackedValues packed;
    packed.m_block = static_cast<char*>(std::malloc(sizeof m_count + size_t(m_body.size())));
    if (!packed.m_block)
        throw std::bad_alloc();
    std::memcpy(packed.m_block, &m_count, sizeof m_count);
    std::memcpy(packed.m_block + sizeof m_count, m_body.constData(), size_t(m_body.size()));
    return packed;
}

PackedValues::PackedValues(const QVariantList& values) {
    Builder builder;
    for (const QVariant& value : values)
        builder.addVariant(value);
    *this = builder.take();
}

PackedValues::PackedValues(const PackedValues& other) {
    *this = other;
}

PackedValues& PackedValues::operator=(const PackedValues& other) {
    if (this == &other)
        return *this;
    std::free(m_block);
    m_block = nullptr;
    if (!other.m_block)
        return *this;
    // The block's size is where its last value ends.
    const size_t size = size_t(valueAt(other.m_block, countOf(other.m_block)) - other.m_block);
    m_block = static_cast<char*>(std::malloc(size));
    if (!m_block)
        throw std::bad_alloc();
    std::memcpy(m_block, other.m_block, size);
    return *this;
}

PackedValues& PackedValues::operator=(PackedValues&& other) noexcept {
    if (this != &other) {
        std::free(m_block);
        m_block = std::exchange(other.m_block, nullptr);
    }
    return *this;
}

PackedValues::~PackedValues() {
    std::free(m_block);
}

int PackedValues::size() const {
    return int(countOf(m_block));
}

QVariant PackedValues::at(int i) const {
    if (i < 0 || quint32(i) >= countOf(m_block))
        return {};
    const char* cursor = valueAt(m_block, quint32(i));
    const Tag tag = Tag(*cursor++);
    switch (tag) {
    case Invalid:
        return {};
    case Integer:
        return QVariant(qlonglong(read<qint64>(cursor)));
    case Real:
        return QVariant(read<double>(cursor));
    default:
        break;
    }
    const quint32 length = read<quint32>(cursor);
    const char* bytes = cursor + sizeof length;
    switch (tag) {
    case Text:
        return QVariant(QString::fromUtf8(bytes, qsizetype(length)));
    case Bytes:
        return QVariant(QByteArray(bytes, qsizetype(length)));
    default: {
        QVariant value;
        QDataStream stream(QByteArray::fromRawData(bytes, qsizetype(length)));
        stream >> value;
        return value;
    }
    }
}

QVariantList PackedValues::toList() const {
    QVariantList values;
    const int n = size();
    values.reserve(n);
    for (int i = 0; i < n; ++i)
        values << at(i);
    return values;
}
