#include "catalog/Uuid.h"

#include <array>
#include <random>

namespace kestrel {

namespace {

std::mt19937_64& threadGenerator()
{
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::array<std::random_device::result_type, 8> words{};
        for (auto& word : words)
            word = device();
        std::seed_seq seed(words.begin(), words.end());
        return std::mt19937_64(seed);
    }();
    return generator;
}

} // namespace

Uuid Uuid::random()
{
    Uuid uuid;
    std::mt19937_64& generator = threadGenerator();
    for (std::size_t half = 0; half < 2; ++half) {
        std::uint64_t word = generator();
        for (std::size_t i = 0; i < 8; ++i) {
            uuid.m_bytes[half * 8 + i] = static_cast<std::uint8_t>(word & 0xFF);
            word >>= 8;
        }
    }
    uuid.m_bytes[6] = static_cast<std::uint8_t>((uuid.m_bytes[6] & 0x0F) | 0x40); // version 4
    uuid.m_bytes[8] = static_cast<std::uint8_t>((uuid.m_bytes[8] & 0x3F) | 0x80); // RFC 4122 variant
    return uuid;
}

std::string Uuid::toString() const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < m_bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(digits[m_bytes[i] >> 4]);
        text.push_back(digits[m_bytes[i] & 0x0F]);
    }
    return text;
}

} // namespace kestrel
