#pragma once

#include <random>
#include <string>

#include <gtest/gtest.h>

#include "http/id_exception.h"
#include "http/id_http.h"

// What the tests against real servers see of one GetText.
namespace testing_support {

struct Outcome
{
    std::string text;
    std::string error; // exception class, empty on success
    std::string message;
    bool connected = false;
};

inline Outcome fetch(http::TIdHTTP& client, const std::string& url)
{
    Outcome outcome;
    try {
        client.GetText(url, outcome.text);
    } catch (const http::EIdException& e) {
        outcome.error = e.ClassName();
        outcome.message = e.what();
    }
    outcome.connected = client.IsConnected();
    return outcome;
}

// Whether a fetch succeeded with exactly the expected body; says what came instead.
inline ::testing::AssertionResult delivered(const Outcome& outcome, const std::string& expected)
{
    if (outcome.error.empty() && outcome.text == expected)
        return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure();
    if (!outcome.error.empty())
        failure << outcome.error << " \"" << outcome.message << "\", ";
    failure << outcome.text.size() << " bytes instead of " << expected.size();
    if (outcome.text.size() == expected.size())
        failure << " (same size, other bytes)";
    return failure;
}

// Bytes of every value, the same for the same seed.
inline std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

} // namespace testing_support
