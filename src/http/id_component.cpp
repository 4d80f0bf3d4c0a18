#include "http/id_component.h"

namespace http {
namespace {

std::string statusText(TIdStatus status, const std::string& argument)
{
    switch (status) {
    case TIdStatus::hsResolving:
        return "Resolving hostname " + argument + ".";
    case TIdStatus::hsConnecting:
        return "Connecting to " + argument + ".";
    case TIdStatus::hsConnected:
        return "Connected.";
    case TIdStatus::hsDisconnecting:
        return "Disconnecting.";
    case TIdStatus::hsDisconnected:
        return "Disconnected.";
    case TIdStatus::hsStatusText:
        return argument;
    }
    return argument;
}

std::size_t slot(TIdWorkMode mode)
{
    return mode == TIdWorkMode::wmRead ? 0 : 1;
}

} // namespace

void TIdComponent::DoStatus(TIdStatus status, const std::string& argument)
{
    if (OnStatus)
        OnStatus(status, statusText(status, argument));
}

void TIdComponent::BeginWork(TIdWorkMode mode, std::int64_t expectedTotal)
{
    WorkInfo& info = m_work[slot(mode)];
    if (++info.nesting == 1) {
        info.done = 0;
        if (OnWorkBegin)
            OnWorkBegin(mode, expectedTotal);
    }
}

void TIdComponent::DoWork(TIdWorkMode mode, std::int64_t count)
{
    WorkInfo& info = m_work[slot(mode)];
    if (info.nesting >= 1) {
        info.done += count;
        if (OnWork)
            OnWork(mode, info.done);
    }
}

void TIdComponent::EndWork(TIdWorkMode mode)
{
    WorkInfo& info = m_work[slot(mode)];
    if (info.nesting == 1 && OnWorkEnd)
        OnWorkEnd(mode);
    if (info.nesting > 0)
        --info.nesting;
}

} // namespace http
