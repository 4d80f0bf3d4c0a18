#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace http {

enum class TIdStatus
{
    hsResolving,
    hsConnecting,
    hsConnected,
    hsDisconnecting,
    hsDisconnected,
    hsStatusText,
};

enum class TIdWorkMode
{
    wmRead,
    wmWrite,
};

// Base of the client's parts: optional status and progress hooks. Hooks run on the thread that
// runs the request; none is attached by the program itself.
class TIdComponent
{
public:
    virtual ~TIdComponent() = default;

    // Status with its text ("Resolving hostname 127.0.0.1.", "Connected.", ...).
    std::function<void(TIdStatus, const std::string&)> OnStatus;
    // Progress per work mode: begin with the expected total (0 when unknown), the running total
    // after each step, end. Nested work reports only the outermost begin and end.
    std::function<void(TIdWorkMode, std::int64_t)> OnWorkBegin;
    std::function<void(TIdWorkMode, std::int64_t)> OnWork;
    std::function<void(TIdWorkMode)> OnWorkEnd;

protected:
    void DoStatus(TIdStatus status, const std::string& argument = std::string());
    void BeginWork(TIdWorkMode mode, std::int64_t expectedTotal);
    void DoWork(TIdWorkMode mode, std::int64_t count);
    void EndWork(TIdWorkMode mode);

private:
    struct WorkInfo
    {
        int nesting = 0;
        std::int64_t done = 0;
    };
    std::array<WorkInfo, 2> m_work{};
};

} // namespace http
