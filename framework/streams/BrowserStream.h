#pragma once
// A download (or an upload with its answer) that the browser performs for the
// plug-in. Its progress reaches the attached observers as stream events; the
// browser-specific forms supply reading ranges, writing and closing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PluginEventSource.h"

namespace FW {

class BrowserStream;
using BrowserStreamPtr = std::shared_ptr<BrowserStream>;
using BrowserStreamWeakPtr = std::weak_ptr<BrowserStream>;

struct Range {
    Range(size_t begin, size_t end) : start(begin), end(end) {}
    size_t start;
    size_t end; // one past the last byte
};

class BrowserStream : public PluginEventSource, public std::enable_shared_from_this<BrowserStream> {
public:
    BrowserStream(const std::string& url, bool cache, bool seekable, size_t internalBufferSize);
    // Observers learn of the end of the object itself.
    ~BrowserStream() override;

    virtual BrowserStreamPtr shared_ptr();

    virtual bool readRange(size_t offset, size_t length);
    virtual bool readRanges(const std::vector<Range>& ranges) = 0;
    virtual bool write(const char* data, size_t dataLength, size_t& written) = 0;
    virtual bool close() = 0;

    virtual std::string getUrl() const { return m_url; }
    // The browser's answer.
    virtual bool isSeekable() const { return m_seekable; }
    virtual bool isSeekableRequested() const { return m_seekableRequested; }
    // Asked for and allowed.
    virtual bool isSeekableNow() const { return m_seekableRequested && m_seekable; }
    virtual bool isCached() const { return m_cached; }
    virtual bool isCompleted() const { return m_completed; }
    virtual bool isOpen() const { return m_opened; }
    virtual std::string getMimeType() const { return m_mimeType; }
    virtual std::wstring getCacheFilename() const { return m_cacheFilename; }
    virtual std::string getHeaders() const { return m_headers; }
    virtual size_t getInternalBufferSize() const { return m_internalBufferSize; }
    virtual size_t getLength() const { return m_length; }

    virtual void setUrl(const std::string& url) { m_url = url; }
    virtual void setSeekable(bool seekable) { m_seekable = seekable; }
    virtual void setCached(bool cached) { m_cached = cached; }
    virtual void setCompleted(bool completed) { m_completed = completed; }
    virtual void setOpen(bool open) { m_opened = open; }
    virtual void setMimeType(const std::string& type) { m_mimeType = type; }
    virtual void setCacheFilename(const std::wstring& name) { m_cacheFilename = name; }
    virtual void setHeaders(const std::string& headers) { m_headers = headers; }
    virtual void setInternalBufferSize(size_t size) { m_internalBufferSize = size; }
    virtual void setLength(size_t length) { m_length = length; }

protected:
    // Sends the event while a reference keeps the stream alive: an observer
    // may drop the last other one while it handles the event.
    bool sendStreamEvent(PluginEvent* evt);
    // Download progress in per cent after a piece at offset; 0 when the length
    // is unknown.
    double progressAfter(size_t length, size_t offset) const;

private:
    std::string m_url;
    bool m_seekableRequested;
    bool m_seekable = false;
    bool m_cached;
    size_t m_internalBufferSize;
    std::wstring m_cacheFilename;
    size_t m_length = 0;
    std::string m_mimeType;
    bool m_completed = false;
    bool m_opened = false;
    std::string m_headers;
};

} // namespace FW
