// Winsock comes first, through the fetch side.
#include "StreamFetch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

#include "NpRuntime.h"
#include "Text.h"

namespace npbrowser {

using namespace stream_fetch;

namespace {

NpRuntime& rt() {
    return NpRuntime::instance();
}

} // namespace

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
