#pragma once
// The worker side of the browser's streams: a fetch of a file: or local
// http:// resource runs on a thread of its own and posts what it reads to
// the browser's window, piece by piece.

// Winsock must come before the Windows header that Streams.h brings.
#include <winsock2.h>

#include <memory>
#include <string>

#include "Streams.h"

namespace npbrowser {

struct Streams::Fetch {
    std::atomic<bool> cancelled{false};
    std::atomic<SOCKET> socket{INVALID_SOCKET};

    void cancel() {
        cancelled = true;
        const SOCKET s = socket.exchange(INVALID_SOCKET);
        if (s != INVALID_SOCKET)
            closesocket(s);
    }
};

namespace stream_fetch {

struct Piece {
    enum class Kind { Head, Data, End, Retry };
    Piece(Kind kind, unsigned id) : kind(kind), id(id) {}
    Kind kind;
    unsigned id;
    bool range = false;
    int status = 0;
    std::string headers;
    std::string mime;
    int64_t length = -1;
    bool seekable = false;
    int64_t offset = 0;
    std::string bytes;
    bool ok = false;
};

struct FetchSpec {
    std::string url;
    std::string method;
    std::string headers; // extra request lines, each ending in CR LF
    std::string body;
    int64_t begin = 0;
    int64_t end = -1; // last byte of a range; -1: the whole resource
    bool range = false;
};

bool startsWithNoCase(const std::string& text, const char* prefix);
// "http://127.0.0.1:<port>/<path>" (or localhost); false for any other host.
bool parseHttp(const std::string& url, std::string& port, std::string& path);
// file:///Z:/dir/name or file://Z:/dir/name, with %XX escapes.
bool parseFile(const std::string& url, std::wstring& path);

void post(HWND window, Piece* piece);
void fetchFile(HWND window, unsigned id, std::shared_ptr<Streams::Fetch> fetch,
               const std::wstring& path, FetchSpec spec);
void fetchHttp(HWND window, unsigned id, std::shared_ptr<Streams::Fetch> fetch,
               const std::string& port, const std::string& path, FetchSpec spec);

} // namespace stream_fetch
} // namespace npbrowser
