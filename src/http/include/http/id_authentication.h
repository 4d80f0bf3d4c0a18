#pragma once

#include <string>

namespace http {

// An authorization scheme's state for one server or proxy.
class TIdAuthentication
{
public:
    virtual ~TIdAuthentication() = default;

    std::string Username;
    std::string Password;

    // The value of the Authorization (or Proxy-Authorization) header.
    virtual std::string Authentication() const = 0;
    // Starts the scheme's exchange over; the credentials stay.
    virtual void Reset() {}
    // Whether a multi-step scheme has run all its steps (such objects are dropped on
    // disconnect). A single-step scheme never has.
    virtual bool Completed() const { return false; }
};

// Basic: "Basic " + base64 of user name ":" password.
class TIdBasicAuthentication : public TIdAuthentication
{
public:
    TIdBasicAuthentication() = default;
    TIdBasicAuthentication(std::string username, std::string password);
    std::string Authentication() const override;
};

} // namespace http
