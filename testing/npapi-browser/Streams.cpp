// Winsock must come before the Windows header that Streams.h brings.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "Streams.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "NpRuntime.h"
#include "Text.h"

namespace npbrowser {

namespace {

constexpr size_t kPiece = 64 * 1024;

NpRuntime& rt() {
    return NpRuntime::instance();
}

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

struct FetchSpec {
    std::string url;
    std::string method;
    std::string headers; // extra request lines, each ending in CR LF
    std::string body;
    int64_t begin = 0;
    int64_t end = -1; // last byte of a range; -1: the whole resource
    bool range = false;
};

} // namespace

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

struct Streams::Stream {
    unsigned id = 0;
    NPP npp = nullptr;
    NPStream np{};
    std::string url;
    std::string headers;
    std::string mime;
    bool notify = false;
    void* notifyData = nullptr;
    FetchSpec spec;
    uint16_t stype = NP_NORMAL;
    bool started = false;
    bool finishing = false;
    bool pumping = false;
    bool ended = false;
    NPReason endReason = NPRES_DONE;
    std::deque<std::pair<int64_t, std::string>> pending;
    size_t pendingPos = 0;
    std::vector<std::shared_ptr<Fetch>> fetches;
    std::wstring cachePath;
    FILE* cache = nullptr;
};

namespace {

void post(HWND window, Piece* piece) {
    if (!PostMessageW(window, Streams::kStreamMessage, 0, reinterpret_cast<LPARAM>(piece)))
        delete piece;
}

void postEnd(HWND window, unsigned id, bool range, bool ok) {
    auto* end = new Piece(Piece::Kind::End, id);
    end->range = range;
    end->ok = ok;
    post(window, end);
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

} // namespace

Streams& Streams::instance() {
    static Streams streams;
    static bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
    return streams;
}

Streams::Stream* Streams::find(NPStream* stream) {
    for (auto& entry : m_streams) {
        if (&entry.second->np == stream)
            return entry.second.get();
    }
    return nullptr;
}

Streams::Stream* Streams::find(unsigned id) {
    auto found = m_streams.find(id);
    return found != m_streams.end() ? found->second.get() : nullptr;
}

NPError Streams::request(NPP npp, const char* url, const std::string* body, bool notify,
                         void* notifyData) {
    if (url == nullptr)
        return NPERR_INVALID_URL;
    auto stream = std::make_unique<Stream>();
    stream->id = m_nextId++;
    stream->npp = npp;
    stream->url = url;
    stream->notify = notify;
    stream->notifyData = notifyData;
    stream->spec.url = url;
    stream->spec.method = body != nullptr ? "POST" : "GET";
    if (body != nullptr) {
        // A body may begin with its own header lines, ended by an empty line.
        std::string text = *body;
        const size_t firstLine = text.find('\n');
        const size_t blank = text.find("\n\n");
        if (firstLine != std::string::npos &&
            text.substr(0, firstLine).find(':') != std::string::npos &&
            blank != std::string::npos) {
            std::string lines = text.substr(0, blank + 1);
            text.erase(0, blank + 2);
            size_t pos = 0;
            while (pos < lines.size()) {
                size_t end = lines.find('\n', pos);
                std::string line = lines.substr(pos, end - pos);
                pos = end + 1;
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!line.empty() && !startsWithNoCase(line, "Content-Length"))
                    stream->spec.headers += line + "\r\n";
            }
        }
        stream->spec.body = text;
    }
    std::string port, path;
    std::wstring file;
    if (!parseHttp(url, port, path) && !parseFile(url, file))
        return NPERR_INVALID_URL;
    Stream& made = *stream;
    m_streams[made.id] = std::move(stream);
    startFetch(made, 0, -1, false);
    return NPERR_NO_ERROR;
}

void Streams::openUnsolicited(NPP npp, const std::string& url) {
    request(npp, url.c_str(), nullptr, false, nullptr);
}

void Streams::startFetch(Stream& stream, int64_t begin, int64_t end, bool range) {
    FetchSpec spec = stream.spec;
    spec.begin = begin;
    spec.end = end;
    spec.range = range;
    if (range) {
        spec.method = "GET";
        spec.body.clear();
        spec.headers.clear();
    }
    auto fetch = std::make_shared<Fetch>();
    stream.fetches.push_back(fetch);
    std::string port, path;
    std::wstring file;
    const HWND window = m_window;
    const unsigned id = stream.id;
    if (parseHttp(stream.url, port, path))
        std::thread(fetchHttp, window, id, fetch, port, path, spec).detach();
    else if (parseFile(stream.url, file))
        std::thread(fetchFile, window, id, fetch, file, spec).detach();
}

void Streams::onMessage(LPARAM message, bool deliver) {
    std::unique_ptr<Piece> piece(reinterpret_cast<Piece*>(message));
    Stream* stream = deliver ? find(piece->id) : nullptr;
    if (stream == nullptr || stream->finishing)
        return;
    switch (piece->kind) {
    case Piece::Kind::Head:
        if (!piece->range)
            opened(*stream, piece->status, piece->headers, piece->length, piece->seekable,
                   piece->mime);
        return;
    case Piece::Kind::Data:
        if (!stream->started || (stream->stype == NP_SEEK && !piece->range))
            return;
        if (stream->cache != nullptr) {
            _fseeki64(stream->cache, piece->offset, SEEK_SET);
            std::fwrite(piece->bytes.data(), 1, piece->bytes.size(), stream->cache);
        }
        stream->pending.emplace_back(piece->offset, std::move(piece->bytes));
        pump(*stream);
        return;
    case Piece::Kind::End:
        if (piece->range || (stream->started && stream->stype == NP_SEEK))
            return;
        stream->ended = true;
        stream->endReason = piece->ok ? NPRES_DONE : NPRES_NETWORK_ERR;
        if (!stream->started)
            finish(*stream, NPRES_NETWORK_ERR);
        else
            pump(*stream);
        return;
    case Piece::Kind::Retry:
        pump(*stream);
        return;
    }
}

void Streams::opened(Stream& stream, int status, const std::string& headers, int64_t length,
                     bool seekable, const std::string& mime) {
    if (stream.started)
        return;
    const NPPluginFuncs* funcs = rt().servicesOf(stream.npp) != nullptr
                                     ? rt().servicesOf(stream.npp)->pluginFuncs()
                                     : nullptr;
    if (status < 200 || status >= 300 || funcs == nullptr || funcs->newstream == nullptr) {
        // Nothing opens: the request fails with its notification only.
        finish(stream, NPRES_NETWORK_ERR);
        return;
    }
    stream.headers = headers;
    stream.mime = mime;
    stream.np.url = stream.url.c_str();
    stream.np.end = length > 0 ? static_cast<uint32_t>(length) : 0;
    stream.np.notifyData = stream.notifyData;
    stream.np.headers = stream.headers.c_str();
    std::vector<char> type(mime.begin(), mime.end());
    type.push_back('\0');
    uint16_t stype = NP_NORMAL;
    const unsigned id = stream.id;
    const NPError error = funcs->newstream(stream.npp, type.data(), &stream.np, seekable, &stype);
    if (find(id) == nullptr)
        return;
    if (error != NPERR_NO_ERROR) {
        finish(stream, NPRES_NETWORK_ERR);
        return;
    }
    stream.started = true;
    stream.stype = stype;
    if (stype == NP_SEEK && seekable) {
        // Data comes only as the plug-in asks for ranges.
        for (auto& fetch : stream.fetches)
            fetch->cancel();
        stream.fetches.clear();
        return;
    }
    if (stype == NP_SEEK)
        stream.stype = NP_NORMAL;
    if (stype == NP_ASFILE || stype == NP_ASFILEONLY) {
        wchar_t folder[MAX_PATH] = L"";
        wchar_t name[MAX_PATH] = L"";
        if (GetTempPathW(MAX_PATH, folder) != 0 && GetTempFileNameW(folder, L"nps", 0, name) != 0) {
            stream.cachePath = name;
            stream.cache = _wfopen(name, L"w+b");
        }
    }
}

void Streams::pump(Stream& stream) {
    if (stream.pumping || stream.finishing)
        return;
    const NPPluginFuncs* funcs = rt().servicesOf(stream.npp) != nullptr
                                     ? rt().servicesOf(stream.npp)->pluginFuncs()
                                     : nullptr;
    if (funcs == nullptr)
        return;
    const unsigned id = stream.id;
    stream.pumping = true;
    while (!stream.pending.empty()) {
        const int32_t ready = funcs->writeready(stream.npp, &stream.np);
        if (find(id) == nullptr)
            return;
        if (ready < 0) {
            stream.pumping = false;
            finish(stream, NPRES_NETWORK_ERR);
            return;
        }
        if (ready == 0) {
            post(m_window, new Piece(Piece::Kind::Retry, id));
            stream.pumping = false;
            return;
        }
        std::pair<int64_t, std::string>& chunk = stream.pending.front();
        const size_t size =
            std::min<size_t>(chunk.second.size() - stream.pendingPos, static_cast<size_t>(ready));
        const int32_t written = funcs->write(
            stream.npp, &stream.np,
            static_cast<int32_t>(chunk.first + static_cast<int64_t>(stream.pendingPos)),
            static_cast<int32_t>(size), &chunk.second[stream.pendingPos]);
        if (find(id) == nullptr)
            return;
        if (written < 0) {
            stream.pumping = false;
            finish(stream, NPRES_NETWORK_ERR);
            return;
        }
        if (written == 0) {
            post(m_window, new Piece(Piece::Kind::Retry, id));
            stream.pumping = false;
            return;
        }
        stream.pendingPos += static_cast<size_t>(written);
        if (stream.pendingPos >= chunk.second.size()) {
            stream.pending.pop_front();
            stream.pendingPos = 0;
        }
    }
    stream.pumping = false;
    if (stream.ended)
        finish(stream, stream.endReason);
}

void Streams::finish(Stream& stream, NPReason reason) {
    if (stream.finishing)
        return;
    stream.finishing = true;
    for (auto& fetch : stream.fetches)
        fetch->cancel();
    const InstanceServices* services = rt().servicesOf(stream.npp);
    const NPPluginFuncs* funcs = services != nullptr ? services->pluginFuncs() : nullptr;
    if (stream.cache != nullptr) {
        std::fclose(stream.cache);
        stream.cache = nullptr;
        if (stream.started && reason == NPRES_DONE && funcs != nullptr && funcs->asfile)
            funcs->asfile(stream.npp, &stream.np, narrow(stream.cachePath).c_str());
    }
    if (stream.started && funcs != nullptr && funcs->destroystream != nullptr)
        funcs->destroystream(stream.npp, &stream.np, reason);
    if (stream.notify && funcs != nullptr && funcs->urlnotify != nullptr)
        funcs->urlnotify(stream.npp, stream.url.c_str(), reason, stream.notifyData);
    if (!stream.cachePath.empty())
        DeleteFileW(stream.cachePath.c_str());
    release(stream.id);
}

void Streams::release(unsigned id) {
    m_streams.erase(id);
}

NPError Streams::requestRead(NPStream* np, NPByteRange* ranges) {
    Stream* stream = find(np);
    if (stream == nullptr || !stream->started || stream->finishing || stream->stype != NP_SEEK)
        return NPERR_GENERIC_ERROR;
    for (NPByteRange* range = ranges; range != nullptr; range = range->next) {
        if (range->offset < 0 || range->length == 0)
            return NPERR_INVALID_PARAM;
    }
    for (NPByteRange* range = ranges; range != nullptr; range = range->next)
        startFetch(*stream, range->offset, static_cast<int64_t>(range->offset) + range->length - 1,
                   true);
    return NPERR_NO_ERROR;
}

int32_t Streams::write(NPP, NPStream*, int32_t, void*) {
    // Only streams the plug-in made itself take its data; this browser's
    // streams all carry data to the plug-in.
    return -1;
}

NPError Streams::destroy(NPP npp, NPStream* np, NPReason reason) {
    Stream* stream = find(np);
    if (stream == nullptr || stream->npp != npp)
        return NPERR_INVALID_PARAM;
    if (stream->finishing)
        return NPERR_NO_ERROR;
    finish(*stream, reason);
    return NPERR_NO_ERROR;
}

void Streams::endInstance(NPP npp) {
    std::vector<unsigned> ids;
    for (auto& entry : m_streams) {
        if (entry.second->npp == npp)
            ids.push_back(entry.first);
    }
    for (unsigned id : ids) {
        if (Stream* stream = find(id))
            finish(*stream, NPRES_USER_BREAK);
    }
}

std::vector<std::string> Streams::leftovers() const {
    std::vector<std::string> left;
    for (auto& entry : m_streams)
        left.push_back("stream of " + entry.second->url + " never ended");
    return left;
}

} // namespace npbrowser
