#include "ActiveXStream.h"

#include <urlmon.h>

#include <algorithm>

#include "ActiveXBindStatusCallback.h"
#include "StreamEvents.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

namespace {

// The binding had already delivered its result when it was aborted.
const HRESULT kResultDispatched = static_cast<HRESULT>(0x800C0200);

} // namespace

ActiveXStream::ActiveXStream(const std::string& url, bool cache, bool seekable,
                             size_t internalBufferSize)
    : BrowserStream(url, cache, seekable, internalBufferSize) {}

ActiveXStream::ActiveXStream(const std::string& url, bool cache, bool seekable,
                             size_t internalBufferSize, const std::string& postData,
                             const std::string& postHeaders)
    : BrowserStream(url, cache, seekable, internalBufferSize), m_post(true), m_postData(postData),
      m_postHeaders(postHeaders) {}

// Running bindings hold the stream: none is left by now.
ActiveXStream::~ActiveXStream() = default;

bool ActiveXStream::init() {
    return m_bindings.empty() && !isCompleted() && startBinding(nullptr);
}

bool ActiveXStream::isBindable(const std::string& url) {
    ATL::CComPtr<IMoniker> moniker;
    try {
        return SUCCEEDED(
            CreateURLMonikerEx(nullptr, utf8_to_wstring(url).c_str(), &moniker, URL_MK_UNIFORM));
    } catch (const std::exception&) {
        return false; // not UTF-8
    }
}

bool ActiveXStream::startBinding(const Range* range) {
    ATL::CComPtr<ActiveXBindStatusCallback> binding;
    try {
        binding = ActiveXBindStatusCallback::create(
            std::static_pointer_cast<ActiveXStream>(shared_from_this()), range == nullptr, range);
    } catch (const std::exception&) {
        return false; // no memory, or a URL or header that is not UTF-8
    }
    m_bindings.push_back(binding);
    if (SUCCEEDED(binding->start()))
        return true;
    m_bindings.erase(std::remove(m_bindings.begin(), m_bindings.end(), binding), m_bindings.end());
    return false;
}

bool ActiveXStream::readRanges(const std::vector<Range>& ranges) {
    if (!isOpen() || !isSeekable())
        return false;
    bool started = true;
    for (const Range& range : ranges) {
        if (range.end <= range.start || !startBinding(&range))
            started = false;
    }
    return started;
}

bool ActiveXStream::write(const char*, size_t, size_t& written) {
    written = 0;
    return false;
}

bool ActiveXStream::close() {
    const BrowserStreamPtr keep = weak_from_this().lock();
    if (!isOpen())
        return false;
    if (!isCompleted()) {
        // Ended by the plug-in: reported once, as a success.
        setCompleted(true);
        StreamCompletedEvent evt(this, true);
        sendStreamEvent(&evt);
    }
    setOpen(false);
    std::vector<ATL::CComPtr<ActiveXBindStatusCallback>> bindings;
    bindings.swap(m_bindings);
    bool aborted = true;
    for (const auto& binding : bindings) {
        const HRESULT hr = binding->stop(false);
        aborted = aborted && (SUCCEEDED(hr) || hr == kResultDispatched);
    }
    return aborted;
}

void ActiveXStream::signalOpened() {
    m_everOpened = true;
    setOpen(true);
    StreamOpenedEvent evt(this);
    sendStreamEvent(&evt);
}

void ActiveXStream::signalCompleted(bool success) {
    const BrowserStreamPtr keep = weak_from_this().lock();
    if (isCompleted())
        return;
    setCompleted(true);
    if (!m_everOpened && !success) {
        StreamFailedOpenEvent evt(this);
        sendStreamEvent(&evt);
    }
    close();
    StreamCompletedEvent evt(this, success);
    sendStreamEvent(&evt);
}

bool ActiveXStream::bindingResponded(ActiveXBindStatusCallback* binding,
                                     const BindingResponse& response) {
    if (!binding->isFirst())
        return isOpen();
    setMimeType(response.mimeType);
    setLength(response.length);
    setHeaders(response.headers);
    if (!response.cacheFilename.empty())
        setCacheFilename(response.cacheFilename);
    setSeekable(response.acceptsRanges);
    const BrowserStreamPtr keep = weak_from_this().lock();
    signalOpened();
    // A seekable stream delivers what is read from it, not the whole body.
    return isOpen() && !(isSeekableNow() && !m_post);
}

void ActiveXStream::bindingData(const void* data, size_t length, size_t offset) {
    if (length == 0 || (!isOpen() && getCacheFilename().empty()))
        return;
    const BrowserStreamPtr keep = weak_from_this().lock();
    StreamDataArrivedEvent evt(this, data, length, offset, progressAfter(length, offset));
    sendStreamEvent(&evt);
}

void ActiveXStream::bindingCacheFilename(const std::wstring& name) {
    setCacheFilename(name);
}

void ActiveXStream::bindingFinished(ActiveXBindStatusCallback* binding, bool success) {
    const BrowserStreamPtr keep = weak_from_this().lock();
    const auto found = std::find(m_bindings.begin(), m_bindings.end(), binding);
    if (found == m_bindings.end())
        return; // closed already
    m_bindings.erase(found);
    if (m_bindings.empty())
        signalCompleted(success);
}

} // namespace ActiveX
} // namespace FW
