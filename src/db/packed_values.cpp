#include "db/packed_values.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <cstdlib>
#include <cstring>

// Block layout: uint32 n, then each value in turn: one tag byte and its payload: nothing (invalid),
// a variable-length number (whole number, zigzag-coded), 8 bytes (double), or a variable-length
// length and the bytes (UTF-8 text, bytes, a QDataStream of the variant). Variable-length numbers
// take 7 bits a byte, the high bit set on all bytes but the last: most lengths take one byte. A value is
// found by stepping over the ones before it: records are read a visible row at a time, and an offset table
// would cost more than the data of most rows.

namespace {
enum Tag : char { Invalid, Integer, Real, Text, Bytes, Streamed };

void put(std::string& out, const void* data, size_t size) {
    out.append(static_cast<const char*>(data), size);
}

void putVarying(std::string& out, quint64 value) {
    while (value >= 0x80) {
        out.push_back(char(value | 0x80));
        value >>= 7;
    }
    out.push_back(char(value));
}

const char* getVarying(const char* at, quint64* value) {
    quint64 result = 0;
    int shift = 0;
    unsigned char byte = 0;
    do {
        byte = static_cast<unsigned char>(*at++);
        result |= quint64(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    *value = result;
    return at;
}

void putSized(std::string& out, Tag tag, const char* bytes, size_t size) {
    out.push_back(char(tag));
    putVarying(out, size);
    out.append(bytes, size);
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
    case Real:
        return value + 1 + 8;
    default: {
        quint64 number = 0;
        const char* after = getVarying(value + 1, &number);
        return Tag(*value) == Integer ? after : after + number;
    }
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
    m_body.push_back(char(Invalid));
    ++m_count;
}

void PackedValues::Builder::addInteger(qint64 value) {
    m_body.push_back(char(Integer));
    putVarying(m_body, (quint64(value) << 1) ^ quint64(value >> 63));
    ++m_count;
}

void PackedValues::Builder::addReal(double value) {
    m_body.push_back(char(Real));
    put(m_body, &value, sizeof value);
    ++m_count;
}

void PackedValues::Builder::addText(const char* utf8, int size) {
    putSized(m_body, Text, utf8, size_t(size));
    ++m_count;
}

void PackedValues::Builder::addBytes(const char* bytes, int size) {
    putSized(m_body, Bytes, bytes, size_t(size));
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
    putSized(m_body, Streamed, streamed.constData(), size_t(streamed.size()));
    ++m_count;
}

PackedValues PackedValues::Builder::take() const {
    PackedValues packed;
    char* block = static_cast<char*>(std::malloc(sizeof m_count + size_t(m_body.size())));
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, &m_count, sizeof m_count);
    std::memcpy(block + sizeof m_count, m_body.data(), size_t(m_body.size()));
    packed.m_tagged = block;
    return packed;
}

PackedValues PackedValues::Builder::take(Arena& arena) const {
    PackedValues packed;
    char* block = arena.cut(sizeof m_count + size_t(m_body.size()));
    std::memcpy(block, &m_count, sizeof m_count);
    std::memcpy(block + sizeof m_count, m_body.data(), size_t(m_body.size()));
    packed.m_tagged = block + 1;
    return packed;
}

char* PackedValues::Arena::cut(size_t bytes) {
    bytes = (bytes + 1) & ~size_t(1); // blocks start at even addresses
    if (bytes > m_free) {
        m_chunks.push_back(ChunkMemory::allocate(bytes, &m_free));
        m_next = m_chunks.back().get();
    }
    char* block = m_next;
    m_next += bytes;
    m_free -= bytes;
    return block;
}

void PackedValues::release() {
    if (!(reinterpret_cast<quintptr>(m_tagged) & 1))
        std::free(m_tagged);
    m_tagged = nullptr;
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
    release();
    const char* from = other.block();
    if (!from)
        return *this;
    // The block's size is where its last value ends. A copy is always a block of its own.
    const size_t size = size_t(valueAt(from, countOf(from)) - from);
    char* block = static_cast<char*>(std::malloc(size));
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, from, size);
    m_tagged = block;
    return *this;
}

PackedValues& PackedValues::operator=(PackedValues&& other) noexcept {
    if (this != &other) {
        release();
        m_tagged = std::exchange(other.m_tagged, nullptr);
    }
    return *this;
}

PackedValues::~PackedValues() {
    release();
}

int PackedValues::size() const {
    return int(countOf(block()));
}

QVariant PackedValues::at(int i) const {
    if (i < 0 || quint32(i) >= countOf(block()))
        return {};
    const char* cursor = valueAt(block(), quint32(i));
    const Tag tag = Tag(*cursor++);
    switch (tag) {
    case Invalid:
        return {};
    case Integer: {
        quint64 zigzag = 0;
        getVarying(cursor, &zigzag);
        return QVariant(qlonglong((zigzag >> 1) ^ (~(zigzag & 1) + 1)));
    }
    case Real:
        return QVariant(read<double>(cursor));
    default:
        break;
    }
    quint64 length = 0;
    const char* bytes = getVarying(cursor, &length);
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
