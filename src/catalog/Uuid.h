#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kestrel {

/// A random (version 4, RFC 4122 variant) 128-bit identifier.
class Uuid {
public:
    /// A new identifier from a per-thread random generator seeded from the system's entropy source.
    static Uuid random();

    const std::array<std::uint8_t, 16>& bytes() const { return m_bytes; }
    /// The canonical lower-case form, 8-4-4-4-12 hexadecimal digits.
    std::string toString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};

} // namespace kestrel
