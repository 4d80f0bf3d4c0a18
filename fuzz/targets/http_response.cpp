// Whatever a server answers, through the real response reader over the scripted transport.

#include <string>
#include <typeinfo>

#include "check.h"
#include "fuzz_targets.h"
#include "http/id_exception.h"
#include "http/id_http.h"
#include "platform/convert_error.h"
#include "scripted_io_handler.h"

namespace fuzz {
namespace {

using TEnd = http::TIdScriptedIOHandler::TEnd;

constexpr std::size_t kBytesPerRecv[] = {static_cast<std::size_t>(-1), 1, 2, 7};
constexpr TEnd kEnds[] = {TEnd::Close, TEnd::Silence, TEnd::Reset, TEnd::CloseOnNextRequest};

// One GET; every failure the client may raise is an EIdException or a conversion error.
void get(http::TIdHTTP& client, const std::string& url, std::size_t replySize)
{
    std::string body;
    try {
        client.GetText(url, body);
    } catch (const http::EIdException&) {
    } catch (const platform::EConvertError&) {
    } catch (const std::exception& e) {
        fail(std::string("GetText raised an undocumented ") + typeid(e).name() + ": " + e.what());
    }
    check(body.size() <= replySize, "the body holds more bytes than the server sent");
}

} // namespace

void httpResponse(Input input)
{
    if (input.empty())
        return;
    const std::uint8_t selector = input[0];
    const std::string reply(input.begin() + 1, input.end());

    http::TIdScriptedIOHandler transport; // outlives the client, which closes it when destroyed
    for (int i = 0; i < 2; ++i)
        transport.AddConversation(
            {reply, kBytesPerRecv[selector & 3], kEnds[(selector >> 2) & 3], 0});
    http::TIdHTTP client;
    client.SetIOHandler(&transport);
    client.SetHost("192.168.0.1");
    if (selector & 0x10) {
        client.ProxyParams().SetProxyServer("192.168.0.2");
        client.ProxyParams().SetProxyPort(3128);
        client.ProxyParams().SetBasicAuthentication(true);
    }
    if (selector & 0x20)
        client.ProtocolVersion = http::TIdHTTPProtocolVersion::pv1_0;

    // The second request is relative to the first, and goes out on the kept-alive connection
    // or a new one, carrying the cookies the first answer set.
    get(client, "http://update.example/download/a.zip", reply.size());
    get(client, "b.zip", reply.size());
}

} // namespace fuzz
