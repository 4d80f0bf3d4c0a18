#include "engine/password_scrambler.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "platform/convert_error.h"

namespace engine {
namespace {

constexpr int kMinFillerCount = 3;
constexpr int kMaxFillerCount = 25;
constexpr int kFillerLast = 28; // fillers run from "A" (65) to "]" (93)
constexpr std::size_t kGroupLength = 4;

unsigned code(char c)
{
    return static_cast<unsigned char>(c);
}

platform::EConvertError notAnInteger(std::string_view text)
{
    return platform::EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

} // namespace

std::string scramblePassword(std::string_view password)
{
    std::mt19937 generator(static_cast<std::mt19937::result_type>(
        std::chrono::system_clock::now().time_since_epoch().count()));
    return scramblePassword(password, [&generator](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(generator);
    });
}

std::string scramblePassword(std::string_view password, const RandomDraw& draw)
{
    if (password.empty())
        return {};
    const int k = draw(kMinFillerCount, kMaxFillerCount);
    std::string working(1, static_cast<char>('A' + k));
    for (int i = 0; i < k; ++i)
        working += static_cast<char>('A' + draw(0, kFillerLast));

    const char smallest = *std::min_element(password.begin(), password.end(),
                                            [](char a, char b) { return code(a) < code(b); });
    working += smallest;
    for (std::size_t i = 0; i < password.size(); ++i) {
        const unsigned group = code(password[i]) + code(smallest) + static_cast<unsigned>(i + 1);
        std::string digits = std::to_string(group);
        working +=
            std::string(digits.size() < kGroupLength ? kGroupLength - digits.size() : 0, '0') +
            digits;
    }
    return {working.rbegin(), working.rend()};
}

std::string unscramblePassword(std::string_view stored)
{
    if (stored.empty())
        return {};
    const std::string reversed(stored.rbegin(), stored.rend());
    const int k = static_cast<int>(code(reversed[0])) - 'A';
    // The announcing letter, k fillers and m must all be there before the groups start.
    if (k < 0 || reversed.size() < static_cast<std::size_t>(k) + 2)
        throw notAnInteger(stored);
    const unsigned m = code(reversed[static_cast<std::size_t>(k) + 1]);

    std::string password;
    std::size_t j = 1;
    for (std::size_t pos = static_cast<std::size_t>(k) + 2; pos + kGroupLength <= reversed.size();
         pos += kGroupLength, ++j) {
        const std::string_view group(reversed.data() + pos, kGroupLength);
        unsigned value = 0;
        for (char c : group) {
            if (c < '0' || c > '9')
                throw notAnInteger(group);
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        password += static_cast<char>(static_cast<unsigned char>(value - m - j));
    }
    return password;
}

} // namespace engine
