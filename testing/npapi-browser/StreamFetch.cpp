#include "StreamFetch.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Text.h"

namespace npbrowser {
namespace stream_fetch {

namespace {

constexpr size_t kPiece = 64 * 1024;

std::string headerValue(const std::string& headers, const char* name) {
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = headers.find("\r\n", pos);
        if (end == std::string::npos)
            end = headers.size();
        const std::string line = headers.substr(pos, end - pos);
        pos = end + 2;
        if (startsWithNoCase(line, name) && line.size() > std::strlen(name) &&
            line[std::strlen(name)] == ':') {
            size_t value = std::strlen(name) + 1;
            while (value < line.size() && line[value] == ' ')
                ++value;
            return line.substr(value);
        }
    }
    return std::string();
}

void postEnd(HWND window, unsigned id, bool range, bool ok) {
    auto* end = new Piece(Piece::Kind::End, id);
    end->range = range;
    end->ok = ok;
    post(window, end);
}

} // namespace

bool startsWithNoCase(const std::string& text, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return text.size() >= n && _strnicmp(text.c_str(), prefix, n) == 0;
}

// "http://127.0.0.1:<port>/<path>" (or localhost); false for any other host.
bool parseHttp(const std::string& url, std::string& port, std::string& path) {
    std::string rest;
    if (startsWithNoCase(url, "http://127.0.0.1"))
        rest = url.substr(16);
    else if (startsWithNoCase(url, "http://localhost"))
        rest = url.substr(16);
    else
        return false;
    port = "80";
    if (!rest.empty() && rest[0] == ':') {
        const size_t slash = rest.find('/');
        port = rest.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    path = rest.empty() ? "/" : rest;
    return !port.empty();
}

// file:///Z:/dir/name or file://Z:/dir/name, with %XX escapes.
bool parseFile(const std::string& url, std::wstring& path) {
    if (!startsWithNoCase(url, "file:"))
        return false;
    std::string rest = url.substr(5);
    while (!rest.empty() && rest[0] == '/')
        rest.erase(0, 1);
    std::string decoded;
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size()) {
            decoded += static_cast<char>(std::strtol(rest.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            decoded += rest[i] == '/' ? '\\' : rest[i];
        }
    }
    path = widen(decoded);
    return !path.empty();
}

void post(HWND window, Piece* piece) {
    if (!PostMessageW(window, Streams::kStreamMessage, 0, reinterpret_cast<LPARAM>(piece)))
        delete piece;
}

void fetchFile(HWND window, unsigned id, std::shared_ptr<Streams::Fetch> fetch,
               const std::wstring& path, FetchSpec spec) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    auto* head = new Piece(Piece::Kind::Head, id);
    head->range = spec.range;
    if (file == nullptr) {
        head->status = 404;
        post(window, head);
        postEnd(window, id, spec.range, false);
        return;
    }
    _fseeki64(file, 0, SEEK_END);
    const int64_t size = _ftelli64(file);
    head->status = spec.range ? 206 : 200;
    head->length = size;
    head->seekable = true;
    const size_t dot = path.find_last_of(L'.');
    const std::wstring ext = dot == std::wstring::npos ? L"" : path.substr(dot);
    head->mime = ext == L".txt"    ? "text/plain"
                 : ext == L".html" ? "text/html"
                                   : "application/octet-stream";
    head->headers = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n";
    post(window, head);
    int64_t offset = spec.range ? spec.begin : 0;
    const int64_t last = spec.range ? std::min(spec.end, size - 1) : size - 1;
    _fseeki64(file, offset, SEEK_SET);
    while (!fetch->cancelled && offset <= last) {
        auto* data = new Piece(Piece::Kind::Data, id);
        data->range = spec.range;
        data->offset = offset;
        data->bytes.resize(static_cast<size_t>(std::min<int64_t>(kPiece, last - offset + 1)));
        const size_t read = std::fread(&data->bytes[0], 1, data->bytes.size(), file);
        data->bytes.resize(read);
        if (read == 0) {
            delete data;
            break;
        }
        offset += static_cast<int64_t>(read);
        post(window, data);
    }
    std::fclose(file);
    postEnd(window, id, spec.range, !fetch->cancelled && offset > last);
}

void fetchHttp(HWND window, unsigned id, std::shared_ptr<Streams::Fetch> fetch,
               const std::string& port, const std::string& path, FetchSpec spec) {
    auto* head = new Piece(Piece::Kind::Head, id);
    head->range = spec.range;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(std::atoi(port.c_str())));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        post(window, head); // status 0: nobody answered
        postEnd(window, id, spec.range, false);
        return;
    }
    fetch->socket = s;
    if (fetch->cancelled) {
        fetch->cancel();
        delete head;
        return;
    }
    std::string request = spec.method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1:" + port +
                          "\r\nConnection: close\r\n";
    if (spec.range)
        request +=
            "Range: bytes=" + std::to_string(spec.begin) + "-" + std::to_string(spec.end) + "\r\n";
    request += spec.headers;
    if (spec.method != "GET")
        request += "Content-Length: " + std::to_string(spec.body.size()) + "\r\n";
    request += "\r\n" + spec.body;
    send(s, request.data(), static_cast<int>(request.size()), 0);

    std::string received;
    std::vector<char> buffer(kPiece);
    size_t headerEnd = std::string::npos;
    int got = 0;
    while (headerEnd == std::string::npos &&
           (got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0) {
        received.append(buffer.data(), static_cast<size_t>(got));
        headerEnd = received.find("\r\n\r\n");
    }
    if (headerEnd == std::string::npos) {
        post(window, head);
        postEnd(window, id, spec.range, false);
        fetch->cancel();
        return;
    }
    head->headers = received.substr(0, headerEnd + 2);
    const size_t space = head->headers.find(' ');
    head->status = space == std::string::npos ? 0 : std::atoi(head->headers.c_str() + space + 1);
    const std::string length = headerValue(head->headers, "Content-Length");
    head->length = length.empty() ? -1 : std::atoll(length.c_str());
    head->seekable = head->length > 0 && headerValue(head->headers, "Accept-Ranges") == "bytes";
    head->mime = headerValue(head->headers, "Content-Type");
    head->mime = head->mime.substr(0, head->mime.find(';'));
    if (head->mime.empty())
        head->mime = "application/octet-stream";
    const int64_t expected = head->length;
    post(window, head);

    int64_t offset = spec.range ? spec.begin : 0;
    int64_t count = 0;
    std::string first = received.substr(headerEnd + 4);
    auto deliver = [&](const char* bytes, size_t size) {
        auto* data = new Piece(Piece::Kind::Data, id);
        data->range = spec.range;
        data->offset = offset;
        data->bytes.assign(bytes, size);
        offset += static_cast<int64_t>(size);
        count += static_cast<int64_t>(size);
        post(window, data);
    };
    if (!first.empty())
        deliver(first.data(), first.size());
    while (!fetch->cancelled &&
           (got = recv(s, buffer.data(), static_cast<int>(buffer.size()), 0)) > 0)
        deliver(buffer.data(), static_cast<size_t>(got));
    const bool ok = !fetch->cancelled && got == 0 && (expected < 0 || count == expected);
    fetch->cancel();
    postEnd(window, id, spec.range, ok);
}

} // namespace stream_fetch
} // namespace npbrowser
