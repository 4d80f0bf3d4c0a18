// Every input that once broke a fuzz target, every hand-made seed, and the minimized corpus of
// the last campaign must run clean through its target. A target aborts when the code under test
// breaks a promise; under the sanitizer build any bad memory access fails the test as well.

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz_targets.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Replay
{
    std::string name; // for the test's name
    std::string target;
    fs::path input;
};

// Keeps GoogleTest from listing each case with the bytes of its parameter.
void PrintTo(const Replay& replay, std::ostream* out)
{
    *out << replay.input.parent_path().filename().string() << "/"
         << replay.input.filename().string();
}

std::string identifier(std::string text)
{
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return text;
}

std::vector<fs::path> sortedEntries(const fs::path& directory)
{
    std::vector<fs::path> entries;
    if (fs::is_directory(directory)) {
        for (const auto& entry : fs::directory_iterator(directory))
            entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Regression inputs: tests/regressions/<what it pins>/<target>[.<anything>].
std::vector<Replay> regressionInputs()
{
    std::vector<Replay> replays;
    for (const fs::path& folder : sortedEntries(KAVOR_REGRESSION_DIR)) {
        if (!fs::is_directory(folder))
            continue;
        for (const fs::path& input : sortedEntries(folder)) {
            const std::string file = input.filename().string();
            replays.push_back({identifier(folder.filename().string() + "_" + file),
                               file.substr(0, file.find('.')), input});
        }
    }
    return replays;
}

// Seeds: fuzz/corpus/<target>/<seed>.
std::vector<Replay> seedInputs()
{
    std::vector<Replay> replays;
    for (const fuzz::Target& target : fuzz::allTargets()) {
        for (const fs::path& input : sortedEntries(fs::path(KAVOR_FUZZ_SEED_DIR) / target.name))
            replays.push_back(
                {identifier(std::string(target.name) + "_" + input.filename().string()),
                 std::string(target.name), input});
    }
    return replays;
}

class ReplayTest : public ::testing::TestWithParam<Replay>
{};

// The minimized corpus of the last fuzzing campaign: fuzz/campaign/<target>/, hundreds of inputs
// a target, replayed target by target.
class CampaignReplayTest : public ::testing::TestWithParam<std::string>
{};

std::vector<std::string> campaignTargets()
{
    std::vector<std::string> names;
    for (const fuzz::Target& target : fuzz::allTargets()) {
        if (fs::is_directory(fs::path(KAVOR_FUZZ_CAMPAIGN_DIR) / target.name))
            names.emplace_back(target.name);
    }
    return names;
}

TEST_P(CampaignReplayTest, EveryInputRunsCleanThroughItsTarget)
{
    const auto targets = fuzz::allTargets();
    const auto target = std::find_if(targets.begin(), targets.end(),
                                     [&](const fuzz::Target& t) { return t.name == GetParam(); });
    ASSERT_NE(target, targets.end());
    for (const fs::path& input : sortedEntries(fs::path(KAVOR_FUZZ_CAMPAIGN_DIR) / GetParam())) {
        SCOPED_TRACE(input.string());
        const std::string bytes = testing_support::readFile(input);
        target->run({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    }
}

TEST_P(ReplayTest, RunsCleanThroughItsTarget)
{
    const Replay& replay = GetParam();
    const auto targets = fuzz::allTargets();
    const auto target = std::find_if(targets.begin(), targets.end(), [&](const fuzz::Target& t) {
        return t.name == replay.target;
    });
    ASSERT_NE(target, targets.end()) << "no fuzz target named " << replay.target;
    const std::string bytes = testing_support::readFile(replay.input);
    target->run({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

std::string nameOf(const ::testing::TestParamInfo<Replay>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Regressions, ReplayTest, ::testing::ValuesIn(regressionInputs()), nameOf);
INSTANTIATE_TEST_SUITE_P(Seeds, ReplayTest, ::testing::ValuesIn(seedInputs()), nameOf);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ReplayTest);
INSTANTIATE_TEST_SUITE_P(Campaign, CampaignReplayTest, ::testing::ValuesIn(campaignTargets()),
                         [](const auto& info) { return info.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(CampaignReplayTest);

} // namespace
