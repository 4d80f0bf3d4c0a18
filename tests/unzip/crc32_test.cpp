#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "crc32.h"

namespace {

using Crc = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

// One bit at a time, straight from the definition.
std::uint32_t bitwiseCrc(const std::vector<std::uint8_t>& data)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const std::uint8_t byte : data) {
        c ^= byte;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

std::vector<std::uint8_t> pseudoRandom(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    return bytes;
}

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

class Crc32Test : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        if (std::string(GetParam()) == "folding" && !unzip::crc32FoldingAvailable())
            GTEST_SKIP() << "this CPU has no carry-less multiply";
    }
    Crc crc() const
    {
        return std::string(GetParam()) == "folding" ? unzip::crc32Folding : unzip::crc32Portable;
    }
};

TEST_P(Crc32Test, KnownVectors)
{
    struct Vector
    {
        std::vector<std::uint8_t> data;
        std::uint32_t crc;
    };
    const Vector vectors[] = {
        {{}, 0},
        {bytesOf("a"), 0xE8B7BE43u},
        {bytesOf("123456789"), 0xCBF43926u},
        {bytesOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u},
        {std::vector<std::uint8_t>(4096, 0), 0xC71C0011u},
        {std::vector<std::uint8_t>(100000, 0xFF),
         bitwiseCrc(std::vector<std::uint8_t>(100000, 0xFF))},
    };
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.data.size());
        EXPECT_EQ(crc()(0, v.data.data(), v.data.size()), v.crc);
    }
}

// Every length around the 16- and 64-byte steps, every start alignment, and the data fed in
// pieces whose edges fall anywhere.
TEST_P(Crc32Test, AgreesWithTheDefinitionForAnyLengthAlignmentAndSplit)
{
    const std::vector<std::uint8_t> all = pseudoRandom(70000, 12345);
    for (std::size_t length = 0; length <= 300; ++length) {
        for (std::size_t offset = 0; offset < 16; offset += 5) {
            const std::vector<std::uint8_t> data(all.begin() + offset,
                                                 all.begin() + offset + length);
            ASSERT_EQ(crc()(0, data.data(), data.size()), bitwiseCrc(data))
                << length << " bytes at offset " << offset;
        }
    }
    const std::uint32_t whole = bitwiseCrc(all);
    for (const std::size_t piece : {1, 63, 64, 65, 4096, 32768}) {
        std::uint32_t c = 0;
        for (std::size_t at = 0; at < all.size(); at += piece)
            c = crc()(c, all.data() + at, std::min(piece, all.size() - at));
        EXPECT_EQ(c, whole) << "pieces of " << piece;
    }
    EXPECT_EQ(unzip::crc32Update(0, all.data(), all.size()), whole);
}

INSTANTIATE_TEST_SUITE_P(Crc32, Crc32Test, ::testing::Values("portable", "folding"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
