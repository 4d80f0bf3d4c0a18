#include "http/id_custom_http.h"
#include "http/id_exception_redirect.h"
#include "http/id_url_reference.h"
#include "text_util.h"

namespace http {

std::string TIdCustomHTTP::RedirectTarget()
{
    // The counter counts the requests of this GET so far; the first one is no redirect.
    if (m_redirectCount > RedirectMaximum)
        throw EIdTooManyRedirects(RedirectMaximum);
    const std::string from = m_url.ComposeAbsolute();
    TIdURI to(ResolveUrlReference(from, trimBlanks(m_response.Location)));
    const bool toHttps = equalsIgnoringCase(to.protocol, "https");
    if (!toHttps && !equalsIgnoringCase(to.protocol, "http"))
        throw EIdRedirectRefused("Redirect to a scheme other than http and https refused");
    // A page or file fetched over TLS must not be handed over to plain HTTP on the way.
    if (equalsIgnoringCase(m_url.protocol, "https") && !toHttps)
        throw EIdRedirectRefused("Redirect from https to http refused");
    // The port of the request would otherwise carry over to a target that names none.
    if (to.port.empty())
        to.port = toHttps ? "443" : "80";
    return to.ComposeAbsolute();
}

} // namespace http
