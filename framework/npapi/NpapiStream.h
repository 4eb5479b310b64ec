#pragma once
// A browser stream of an NPAPI browser: driven by the NPP_ stream calls, it
// reads ranges, writes and closes through the instance's browser functions.
// Handed to the browser as notification data, it keeps itself alive until the
// browser has both destroyed the stream and sent the URL notification.

#include <memory>
#include <string>

#include "BrowserStream.h"
#include "npapi_abi.h"

namespace FW {
class BrowserStreamRequest;
class PluginCore;

namespace Npapi {

class NpapiBrowserHost;
using NpapiBrowserHostPtr = std::shared_ptr<NpapiBrowserHost>;
using NpapiBrowserHostWeakPtr = std::weak_ptr<NpapiBrowserHost>;

class NpapiStream : public BrowserStream {
public:
    NpapiStream(const NpapiBrowserHostPtr& host, const std::string& url, bool cache, bool seekable,
                size_t internalBufferSize);
    ~NpapiStream() override;

    bool readRanges(const std::vector<Range>& ranges) override;
    bool write(const char* data, size_t dataLength, size_t& written) override;
    bool close() override;

    virtual void retainSelf();
    virtual void setDestroyed();
    virtual void setNotified();
    // Answers how many of the bytes the stream took.
    virtual int32_t signalDataArrived(const void* data, size_t length, size_t offset);
    virtual void signalOpened();
    virtual void signalFailedOpen();
    virtual void signalCompleted(bool success);
    virtual void signalCacheFilename(const std::wstring& name);
    // Attaches the browser stream (its pdata then names this object) or, with
    // null, detaches it.
    virtual void setStream(NPStream* stream);
    virtual NPStream* getStream() const { return m_stream; }
    virtual NpapiBrowserHostPtr getHost() const { return m_host.lock(); }

    bool isDestroyed() const { return m_destroyed; }
    bool isNotified() const { return m_notified; }

private:
    void releaseSelfWhenDone();

    NPStream* m_stream = nullptr;
    NpapiBrowserHostWeakPtr m_host;
    std::shared_ptr<NpapiStream> m_self;
    bool m_destroyed = false;
    bool m_notified = false;
};

using NpapiStreamPtr = std::shared_ptr<NpapiStream>;

// The NPP_ stream calls of one instance. The core (null once the plug-in has
// gone) is offered the browser's unsolicited streams.
NPError StreamNew(NpapiBrowserHost* host, PluginCore* core, NPMIMEType type, NPStream* stream,
                  NPBool seekable, uint16_t* stype);
NPError StreamDestroy(NPStream* stream, NPReason reason);
int32_t StreamWriteReady(NPStream* stream);
int32_t StreamWrite(NPStream* stream, int32_t offset, int32_t len, void* buffer);
void StreamAsFile(NPStream* stream, const char* fname);
void StreamURLNotify(const char* url, NPReason reason, void* notifyData);

} // namespace Npapi
} // namespace FW
