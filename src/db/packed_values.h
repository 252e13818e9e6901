#pragma once

#include "app/chunk_memory.h"

#include <QVariant>
#include <QVariantList>

#include <memory>
#include <string>
#include <vector>

// A record's values exactly as the engine gave them, packed into one block: whole numbers,
// doubles, text and bytes as such, any other value through QDataStream, which gives back the same
// type, value and nullness. A million records then cost about their data, not a list of variants
// and a string object per value. Read back value by value, or as a list for the rare writes.
class PackedValues {
public:
    PackedValues() = default;
    PackedValues(const QVariantList& values); // NOLINT: stands in for a QVariantList
    PackedValues(const PackedValues& other);
    PackedValues(PackedValues&& other) noexcept : m_tagged(std::exchange(other.m_tagged, nullptr)) {}
    PackedValues& operator=(const PackedValues& other);
    PackedValues& operator=(PackedValues&& other) noexcept;
    PackedValues& operator=(const QVariantList& values) { return *this = PackedValues(values); }
    ~PackedValues();

    int size() const;
    QVariant at(int i) const;
    QVariant operator[](int i) const { return at(i); }
    QVariantList toList() const;
    operator QVariantList() const { return toList(); } // NOLINT

    // Large chunks that many records' blocks are cut from, so that a million records cost no
    // allocation each; the blocks live as long as the arena, which must outlive their records.
    class Arena {
    public:
        char* cut(size_t bytes);

    private:
        std::vector<ChunkMemory::Chunk> m_chunks;
        char* m_next = nullptr;
        size_t m_free = 0;
    };

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
        // The same, its block cut from the arena.
        PackedValues take(Arena& arena) const;

    private:
        std::string m_body; // keeps its capacity between records
        quint32 m_count = 0;
    };

private:
    // The block, its lowest bit set when it was cut from an arena and is not freed on its own
    // (blocks start at even addresses).
    char* m_tagged = nullptr;
    const char* block() const {
        return reinterpret_cast<const char*>(reinterpret_cast<quintptr>(m_tagged) & ~quintptr(1));
    }
    void release();
};
