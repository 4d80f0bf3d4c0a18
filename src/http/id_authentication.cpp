#include "http/id_authentication.h"

#include "http/base64.h"

namespace http {

TIdBasicAuthentication::TIdBasicAuthentication(std::string username, std::string password)
{
    Username = std::move(username);
    Password = std::move(password);
}

std::string TIdBasicAuthentication::Authentication() const
{
    return "Basic " + encodeBase64(Username + ":" + Password);
}

} // namespace http
