#pragma once
// A browser stream of Internet Explorer. Each download, range read or upload is
// a binding of the URL's moniker that urlmon drives asynchronously on the
// browser's thread, reporting through that thread's message loop. Running
// bindings keep the stream alive; when the last one ends, the stream completes
// with that binding's success.
//
// A stream that asked to seek, on a server that can, delivers only the ranges
// read from it (the first binding only opens it); any other stream delivers
// the whole body from its first binding.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "BrowserStream.h"
#include "com_ptr.h"

namespace FW {
namespace ActiveX {

class ActiveXBindStatusCallback;

// What a binding learned from the server's answer.
struct BindingResponse {
    std::string mimeType;
    std::wstring cacheFilename;
    std::string headers;
    size_t length = 0; // 0 when unknown
    bool acceptsRanges = false;
};

class ActiveXStream : public BrowserStream {
public:
    ActiveXStream(const std::string& url, bool cache, bool seekable, size_t internalBufferSize);
    // An upload: the data go to the server with the extra header lines
    // ("Name: value" each, LF or CR LF), and the answer is the stream's body.
    ActiveXStream(const std::string& url, bool cache, bool seekable, size_t internalBufferSize,
                  const std::string& postData, const std::string& postHeaders);
    ~ActiveXStream() override;

    // Starts the first binding; false when urlmon refuses to start it.
    virtual bool init();
    // Whether urlmon makes a moniker of the URL.
    static bool isBindable(const std::string& url);

    bool readRanges(const std::vector<Range>& ranges) override;
    // Nothing can be sent on a running binding.
    bool write(const char* data, size_t dataLength, size_t& written) override;
    bool close() override;

    virtual void signalOpened();
    virtual void signalCompleted(bool success);

    bool isPost() const { return m_post; }
    const std::string& getPostData() const { return m_postData; }
    const std::string& getPostHeaders() const { return m_postHeaders; }
    size_t getBindingCount() const { return m_bindings.size(); }

    // Reports of the stream's bindings, on the browser's thread.
    // The first answer of a binding; false when the binding is not wanted any
    // further (it then ends as a success).
    bool bindingResponded(ActiveXBindStatusCallback* binding, const BindingResponse& response);
    void bindingData(const void* data, size_t length, size_t offset);
    void bindingCacheFilename(const std::wstring& name);
    void bindingFinished(ActiveXBindStatusCallback* binding, bool success);

private:
    bool startBinding(const Range* range);

    std::vector<ATL::CComPtr<ActiveXBindStatusCallback>> m_bindings;
    bool m_post = false;
    std::string m_postData;
    std::string m_postHeaders;
    bool m_everOpened = false;
};

using ActiveXStreamPtr = std::shared_ptr<ActiveXStream>;

} // namespace ActiveX
} // namespace FW
