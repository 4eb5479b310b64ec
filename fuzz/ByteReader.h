#pragma once
// Takes a fuzzer's input apart into values. Past the end every read answers
// zero or empty, so any input decodes to something.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace fuzzing {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    size_t remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool flag() { return (byte() & 1) != 0; }

    template <class T>
    T number() {
        T value{};
        uint8_t raw[sizeof(T)] = {};
        for (size_t i = 0; i < sizeof(T); ++i)
            raw[i] = byte();
        std::memcpy(&value, raw, sizeof(T));
        return value;
    }

    // A length byte, then that many bytes (fewer at the end of the input).
    std::string text() {
        const size_t want = byte();
        const size_t n = want < remaining() ? want : remaining();
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return out;
    }
    // A length byte, then that many 16-bit units.
    std::u16string units() {
        const size_t want = byte();
        std::u16string out;
        for (size_t i = 0; i < want && !empty(); ++i)
            out.push_back(static_cast<char16_t>(number<uint16_t>()));
        return out;
    }
    // Everything left.
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), remaining());
        m_pos = m_size;
        return out;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

} // namespace fuzzing
