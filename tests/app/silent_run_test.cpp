#include <cstdio>
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
        std::FILE* log = std::tmpfile();
        const int status = app::silentRun(
            m_dir.enginePath() + "\\", [this](const std::string& m) { m_reported.push_back(m); },
            log);
        std::rewind(log);
        char buffer[4096];
        m_log.clear();
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, log)) > 0;)
            m_log.append(buffer, n);
        std::fclose(log);
        return status;
    }

    std::string unreachablePage() const
    {
        return "http://127.0.0.1:" + std::to_string(freeLoopbackPort()) + "/update/";
    }

    TempDir m_dir;
    std::vector<std::string> m_reported;
    std::string m_log; // what the run wrote as its log
};

TEST_F(SilentRunTest, AnUnreachablePageEndsWithStatusTwoLogsWhyAndSavesNothing)
{
    const std::string page = unreachablePage();
    const std::string ini = "[MAIN]\nupdatepath=" + page + "\nunpack=1\n";
    writeFile(m_dir.path() / "config.ini", ini);
    EXPECT_EQ(run(), app::kExitPageFailed);
    EXPECT_TRUE(m_reported.empty());
    EXPECT_EQ(m_log, "Попытка соединения с " + page +
                         " ...\nСоединение не установлено...\n"
                         "      Socket Error # 10061 Connection refused.\n");
    EXPECT_EQ(readFile(m_dir.path() / "config.ini"), ini);
}

TEST_F(SilentRunTest, AnUnreadablePasswordIsReportedAndTheRunGoesOn)
{
    writeFile(m_dir.path() / "config.ini",
              "[MAIN]\nupdatepath=" + unreachablePage() + "\nproxy_pwd=99107x105910aSRQD\n");
    EXPECT_EQ(run(), app::kExitPageFailed);
    EXPECT_EQ(m_reported, std::vector<std::string>{"'01x7' is not a valid integer value"});
}

} // namespace
