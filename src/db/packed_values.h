#pragma once

#include <QVariant>
#include <QVariantList>

// A record's values exactly as the engine gave them, packed into one block: whole numbers,
// doubles, text and bytes as such, any other value through QDataStream, which gives back the same
// type, value and nullness. A million records then cost about their data, not a list of variants
// and a string object per value. Read back value by value, or as a list for the rare writes.
class PackedValues {
public:
    PackedValues() = default;
    PackedValues(const QVariantList& values); // NOLINT: stands in for a QVariantList
    PackedValues(const PackedValues& other);
    PackedValues(PackedValues&& other) noexcept : m_block(std::exchange(other.m_block, nullptr)) {}
    PackedValues& operator=(const PackedValues& other);
    PackedValues& operator=(PackedValues&& other) noexcept;
    PackedValues& operator=(const QVariantList& values) { return *this = PackedValues(values); }
    ~PackedValues();

    int size() const;
    QVariant at(int i) const;
    QVariant operator[](int i) const { return at(i); }
    QVariantList toList() const;
    operator QVariantList() const { return toList(); } // NOLINT

    // Building a record straight from the engine's bytes, with no variant or string between:
    // each call appends one value; take() gives the packed record. Values read back as a variant
    // of the same kind (integer, double, text, bytes, or nothing for NULL).
    class Builder {
    public:
        void clear() {
            m_body.clear();
            m_count = 0;
        }
        void addNull();
        void addInteger(qint64 value);
        void addReal(double value);
        void addText(const char* utf8, int size);
        void addBytes(const char* bytes, int size);
        void addVariant(const QVariant& value);
        PackedValues take() const;

    private:
        QByteArray m_body;
        quint32 m_count = 0;
    };

private:
    char* m_block = nullptr;
};
