#include "NpapiStream.h"

#include <algorithm>
#include <vector>

#include "BrowserStreamRequest.h"
#include "NpapiBrowserHost.h"
#include "PluginCore.h"
#include "StreamEvents.h"
#include "utf8_tools.h"

namespace FW {
namespace Npapi {

NpapiStream::NpapiStream(const NpapiBrowserHostPtr& host, const std::string& url, bool cache,
                         bool seekable, size_t internalBufferSize)
    : BrowserStream(url, cache, seekable, internalBufferSize), m_host(host) {}

NpapiStream::~NpapiStream() {
    // A browser stream still attached must not name a dead object.
    if (m_stream != nullptr && m_stream->pdata == this)
        m_stream->pdata = nullptr;
}

bool NpapiStream::readRanges(const std::vector<Range>& ranges) {
    if (m_stream == nullptr || !isSeekableNow() || !isOpen())
        return false;
    if (ranges.empty())
        return true;
    NpapiBrowserHostPtr host = getHost();
    if (!host)
        return false;
    std::vector<NPByteRange> list(ranges.size());
    for (size_t i = 0; i < ranges.size(); ++i) {
        list[i].offset = static_cast<int32_t>(ranges[i].start);
        list[i].length = static_cast<uint32_t>(ranges[i].end - ranges[i].start);
        list[i].next = i + 1 < ranges.size() ? &list[i + 1] : nullptr;
    }
    return host->RequestRead(m_stream, list.data()) == NPERR_NO_ERROR;
}

bool NpapiStream::write(const char* data, size_t dataLength, size_t& written) {
    written = 0;
    if (m_stream == nullptr || !isOpen())
        return false;
    NpapiBrowserHostPtr host = getHost();
    if (!host)
        return false;
    const int32_t result =
        host->Write(m_stream, static_cast<int32_t>(dataLength), const_cast<char*>(data));
    written = result > 0 ? static_cast<size_t>(result) : 0;
    return result >= 0 && written == dataLength;
}

bool NpapiStream::close() {
    // The browser may destroy the stream, and notify, before it returns.
    const BrowserStreamPtr keep = weak_from_this().lock();
    if (m_stream == nullptr)
        return false;
    if (isOpen() && !isCompleted()) {
        // Reported once: the browser's own destroy that follows finds the
        // stream completed.
        setCompleted(true);
        StreamCompletedEvent evt(this, true);
        sendStreamEvent(&evt);
    }
    setOpen(false);
    NPStream* stream = m_stream;
    if (stream == nullptr)
        return false;
    // Detached first: a browser that destroys at once finds no stream object.
    setStream(nullptr);
    NpapiBrowserHostPtr host = getHost();
    const NPError result = host ? host->DestroyStream(stream, NPRES_USER_BREAK)
                                : static_cast<NPError>(NPERR_GENERIC_ERROR);
    if (result == NPERR_NO_ERROR)
        setDestroyed();
    return result == NPERR_NO_ERROR;
}

void NpapiStream::retainSelf() {
    m_self = std::static_pointer_cast<NpapiStream>(shared_from_this());
}

void NpapiStream::setDestroyed() {
    m_destroyed = true;
    releaseSelfWhenDone();
}

void NpapiStream::setNotified() {
    m_notified = true;
    releaseSelfWhenDone();
}

void NpapiStream::releaseSelfWhenDone() {
    if (m_destroyed && m_notified) {
        // Dropped last, by a copy that ends after this call's caller is done.
        std::shared_ptr<NpapiStream> self;
        self.swap(m_self);
    }
}

int32_t NpapiStream::signalDataArrived(const void* data, size_t length, size_t offset) {
    const BrowserStreamPtr keep = weak_from_this().lock();
    const size_t taken = std::min(length, getInternalBufferSize());
    if (taken != 0 && isOpen()) {
        StreamDataArrivedEvent evt(this, data, taken, offset, progressAfter(length, offset));
        sendStreamEvent(&evt);
    }
    return static_cast<int32_t>(taken);
}

void NpapiStream::signalOpened() {
    setOpen(true);
    StreamOpenedEvent evt(this);
    sendStreamEvent(&evt);
}

void NpapiStream::signalFailedOpen() {
    StreamFailedOpenEvent evt(this);
    sendStreamEvent(&evt);
}

void NpapiStream::signalCompleted(bool success) {
    const BrowserStreamPtr keep = weak_from_this().lock();
    // A seekable stream stays usable for further range reads.
    if (isSeekableNow() && success)
        return;
    if (isCompleted())
        return;
    setCompleted(true);
    close();
    setOpen(false);
    StreamCompletedEvent evt(this, success);
    sendStreamEvent(&evt);
}

void NpapiStream::signalCacheFilename(const std::wstring& name) {
    setCacheFilename(name);
}

void NpapiStream::setStream(NPStream* stream) {
    if (m_stream != nullptr && m_stream->pdata == this)
        m_stream->pdata = nullptr;
    m_stream = stream;
    if (stream != nullptr)
        stream->pdata = this;
}

namespace {

NpapiStream* streamObject(NPStream* stream) {
    return stream != nullptr ? static_cast<NpapiStream*>(stream->pdata) : nullptr;
}

NpapiStreamPtr unsolicitedStream(NpapiBrowserHost* host, PluginCore* core, NPStream* stream,
                                 NPBool seekable) {
    if (host == nullptr || core == nullptr || stream->url == nullptr)
        return nullptr;
    BrowserStreamRequest request(stream->url, "GET");
    request.lastModified = stream->lastmodified;
    if (stream->headers != nullptr)
        request.headers = stream->headers;
    request.seekable = seekable != 0;
    if (!core->handleUnsolicitedStream(request))
        return nullptr;
    if (!request.hasCallback() && !request.hasSink())
        return nullptr; // accepted, but nobody would receive the data
    return std::static_pointer_cast<NpapiStream>(host->createUnsolicitedStream(request));
}

} // namespace

NPError StreamNew(NpapiBrowserHost* host, PluginCore* core, NPMIMEType type, NPStream* stream,
                  NPBool seekable, uint16_t* stype) {
    if (stream == nullptr || stype == nullptr)
        return NPERR_INVALID_PARAM;
    if (stream->pdata == nullptr && stream->notifyData != nullptr)
        stream->pdata = stream->notifyData;
    NpapiStreamPtr object;
    if (NpapiStream* known = streamObject(stream))
        object = std::static_pointer_cast<NpapiStream>(known->shared_from_this());
    else
        object = unsolicitedStream(host, core, stream, seekable);
    if (!object) {
        stream->pdata = nullptr;
        return NPERR_NO_ERROR;
    }
    object->setMimeType(type != nullptr ? type : "");
    object->setStream(stream);
    object->setLength(stream->end);
    if (stream->url != nullptr)
        object->setUrl(stream->url);
    if (stream->headers != nullptr)
        object->setHeaders(stream->headers);
    object->setSeekable(seekable != 0);
    if (object->isSeekableRequested() && !object->isSeekable()) {
        object->signalFailedOpen();
        object->setStream(nullptr);
        // No NPP_DestroyStream follows a refused stream.
        object->setDestroyed();
        return NPERR_STREAM_NOT_SEEKABLE;
    }
    if (object->isSeekableRequested())
        *stype = NP_SEEK;
    else if (object->isCached())
        *stype = NP_ASFILE;
    else
        *stype = NP_NORMAL;
    object->signalOpened();
    return NPERR_NO_ERROR;
}

NPError StreamDestroy(NPStream* stream, NPReason reason) {
    NpapiStream* object = streamObject(stream);
    if (object == nullptr)
        return NPERR_NO_ERROR;
    const BrowserStreamPtr keep = object->shared_from_this();
    if (object->getStream() == nullptr) {
        stream->pdata = nullptr;
        return NPERR_NO_ERROR;
    }
    object->setStream(nullptr);
    stream->pdata = nullptr;
    stream->notifyData = nullptr;
    if (!object->isCompleted())
        object->signalCompleted(reason == NPRES_DONE);
    object->setDestroyed();
    return NPERR_NO_ERROR;
}

int32_t StreamWriteReady(NPStream* stream) {
    NpapiStream* object = streamObject(stream);
    return object != nullptr ? static_cast<int32_t>(object->getInternalBufferSize()) : -1;
}

int32_t StreamWrite(NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    NpapiStream* object = streamObject(stream);
    if (object == nullptr || len < 0 || offset < 0 || (buffer == nullptr && len != 0))
        return -1;
    return object->signalDataArrived(buffer, static_cast<size_t>(len), static_cast<size_t>(offset));
}

void StreamAsFile(NPStream* stream, const char* fname) {
    NpapiStream* object = streamObject(stream);
    if (object == nullptr || fname == nullptr)
        return;
    try {
        object->signalCacheFilename(utf8_to_wstring(fname));
    } catch (const std::exception&) {
        // A name that is not UTF-8 is not kept.
    }
}

void StreamURLNotify(const char*, NPReason reason, void* notifyData) {
    auto* object = static_cast<NpapiStream*>(notifyData);
    if (object == nullptr)
        return;
    const BrowserStreamPtr keep = object->shared_from_this();
    object->signalCompleted(reason == NPRES_DONE);
    // The notification ends the request: a stream the browser never opened
    // will not be destroyed either.
    if (object->getStream() == nullptr)
        object->setDestroyed();
    object->setNotified();
}

} // namespace Npapi
} // namespace FW
