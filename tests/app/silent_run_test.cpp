#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/silent_run.h"
#include "qt_test_support.h"
#include "support/loopback_servers.h"
#include "support/temp_dir.h"

using testing_support::freeLoopbackPort;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

class SilentRunTest : public ::testing::Test
{
protected:
    int run()
    {
        return app::silentRun(m_dir.enginePath() + "\\",
                              [this](const std::string& m) { m_reported.push_back(m); });
    }

    std::string unreachablePage() const
    {
        return "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/update/";
    }

    TempDir m_dir;
    std::vector<std::string> m_reported;
};

TEST_F(SilentRunTest, AnUnreachablePageEndsWithStatusZeroSilentlyAndSavesNothing)
{
    const std::string ini = "[MAIN]\nupdatepath=" + unreachablePage() + "\nunpack=1\n";
    writeFile(m_dir.path() / "config.ini", ini);
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(m_reported.empty());
    EXPECT_EQ(readFile(m_dir.path() / "config.ini"), ini);
}

TEST_F(SilentRunTest, AnUnreadablePasswordIsReportedAndTheRunGoesOn)
{
    writeFile(m_dir.path() / "config.ini",
              "[MAIN]\nupdatepath=" + unreachablePage() + "\nproxy_pwd=99107x105910aSRQD\n");
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(m_reported, std::vector<std::string>{"'01x7' is not a valid integer value"});
}

} // namespace
