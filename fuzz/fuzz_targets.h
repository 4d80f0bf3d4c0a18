#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The fuzz targets: each takes one input of any bytes and drives one of the program's readers of
// foreign data with it. A target returns normally for every input; it aborts (after printing
// what broke) when the code under test breaks one of its promises, so both libFuzzer and the
// regression replay in the normal test suite see a failure. Targets keep no state between
// inputs, except a scratch directory the archive target reuses. One thread at a time.
namespace fuzz {

using Input = std::span<const std::uint8_t>;

// A ZIP archive written to a scratch file and extracted by UnzipArchive into a scratch directory.
// Fails when the extraction writes more bytes than the central directory declares (plus 4 KB).
void unzipArchive(Input input);
// Raw deflate data (Inflate), checked against zlib when the build has it.
void inflate(Input input);
// Imploded data; the first byte picks the dictionary size, the number of trees and the sizes
// the local header would give, the next three bytes the uncompressed size.
void explode(Input input);
// Shrunk data.
void unshrink(Input input);
// URL texts, one per line: ParseUrl, ComposeAbsolute, MergePath and ResolveTarget in sequence.
void url(Input input);
// A host, Set-Cookie values and a request URL, one per line: ParseCookie, the store and
// CookieHeaderFor.
void cookie(Input input);
// A server's reply to two GET requests on one client through the scripted transport; the first
// byte picks how the reply is cut into receives, how the connection ends and whether a proxy
// is used.
void httpResponse(Input input);
// References, one per line, resolved against an https base URL, then the same texts as the
// Location values of redirects the client follows.
void urlReference(Input input);
// A proxy's answer to CONNECT (and what follows in the tunnel) for two https GET requests
// through the scripted transport; the first byte picks the receive size, the end and whether
// the proxy gets credentials.
void connectAnswer(Input input);
// Installed database stems (lines up to the first NUL byte) and an update page (the rest):
// scanPage and select, compared with a plain reading of the selection rules.
void pageScan(Input input);
// An INI file: the settings' reads, then writes and reads again.
void iniFile(Input input);
// A stored proxy password: unscrambled, and scrambled and unscrambled again.
void password(Input input);

struct Target
{
    std::string_view name; // also the name of its seed folder and of its libFuzzer binary
    void (*run)(Input);
};

// Every target, in a fixed order.
std::span<const Target> allTargets();

} // namespace fuzz
