#pragma once

#include <cstdint>
#include <string>

#include "http/id_exception.h"

namespace http {

// A redirect the client will not follow, such as one from https to http.
class EIdRedirectRefused : public EIdException
{
public:
    using EIdException::EIdException;
    const char* ClassName() const noexcept override { return "EIdRedirectRefused"; }
};

// More redirects in a row than the client's RedirectMaximum.
class EIdTooManyRedirects : public EIdRedirectRefused
{
public:
    explicit EIdTooManyRedirects(std::int32_t limit)
        : EIdRedirectRefused("Too many redirects (more than " + std::to_string(limit) + ")")
    {}
    const char* ClassName() const noexcept override { return "EIdTooManyRedirects"; }
};

} // namespace http
