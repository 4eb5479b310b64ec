#pragma once
// One binding of an Internet Explorer stream: the URL moniker bound to storage
// asynchronously, with this object as the binding's status callback. It asks
// for the stream's request (verb, upload data, a Range header, cache use),
// checks the answer, reads the data in pieces of at most the stream's buffer
// size and reports to the stream. It holds the stream until the binding ends.

#include <windows.h>
#include <urlmon.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BrowserStream.h"
#include "com_object.h"
#include "com_ptr.h"

namespace FW {
namespace ActiveX {

class ActiveXStream;
struct BindingResponse;

class ActiveXBindStatusCallback : public ATL::CComObjectRootEx<ATL::CComSingleThreadModel>,
                                  public IBindStatusCallback,
                                  public IHttpNegotiate {
public:
    BEGIN_COM_MAP(ActiveXBindStatusCallback)
    COM_INTERFACE_ENTRY(IBindStatusCallback)
    COM_INTERFACE_ENTRY(IHttpNegotiate)
    END_COM_MAP()

    // A binding of the stream's URL for the whole resource (range null) or for
    // one range; the first binding opens the stream.
    static ATL::CComPtr<ActiveXBindStatusCallback>
    create(const std::shared_ptr<ActiveXStream>& stream, bool first, const Range* range);

    ActiveXBindStatusCallback() = default;
    ~ActiveXBindStatusCallback();

    // Starts the binding; a failure leaves nothing running and reports nothing.
    HRESULT start();
    // Ends the binding at once with the given success; answers the abort's
    // result.
    HRESULT stop(bool success);
    bool isFirst() const { return m_first; }
    bool isFinished() const { return m_finished; }

    // IBindStatusCallback
    STDMETHOD(OnStartBinding)(DWORD reserved, IBinding* binding) override;
    STDMETHOD(GetPriority)(LONG* priority) override;
    STDMETHOD(OnLowResource)(DWORD reserved) override;
    STDMETHOD(OnProgress)
    (ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHOD(OnStopBinding)(HRESULT result, LPCWSTR error) override;
    STDMETHOD(GetBindInfo)(DWORD* flags, BINDINFO* info) override;
    STDMETHOD(OnDataAvailable)
    (DWORD flags, DWORD size, FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHOD(OnObjectAvailable)(REFIID iid, IUnknown* object) override;

    // IHttpNegotiate
    STDMETHOD(BeginningTransaction)
    (LPCWSTR url, LPCWSTR headers, DWORD reserved, LPWSTR* additionalHeaders) override;
    STDMETHOD(OnResponse)
    (DWORD responseCode, LPCWSTR responseHeaders, LPCWSTR requestHeaders,
     LPWSTR* additionalRequestHeaders) override;

private:
    // The upload data, owned here: urlmon releases this object instead of
    // freeing the memory.
    class GlobalData {
    public:
        GlobalData() = default;
        GlobalData(const GlobalData&) = delete;
        GlobalData& operator=(const GlobalData&) = delete;
        ~GlobalData();
        // A copy of the bytes; std::bad_alloc when there is no memory.
        void assign(const std::string& data);
        HGLOBAL handle() const { return m_handle; }
        DWORD size() const { return m_size; }

    private:
        HGLOBAL m_handle = nullptr;
        DWORD m_size = 0;
    };

    bool respond();
    void readAvailable();
    void deliver(const char* data, size_t length);
    void finish(bool success);
    void endBinding(bool report);
    DWORD httpStatus();
    std::string rawHeaders();

    std::shared_ptr<ActiveXStream> m_stream;
    std::wstring m_url;
    bool m_first = false;
    bool m_cached = false;
    bool m_post = false;
    bool m_file = false;
    size_t m_bufferSize = 0;
    std::optional<Range> m_range;
    // Request header lines, CR LF each.
    std::wstring m_extraHeaders;
    ATL::CComPtr<IMoniker> m_moniker;
    ATL::CComPtr<IBindCtx> m_bindCtx;
    ATL::CComPtr<IBinding> m_binding;
    ATL::CComPtr<IStream> m_data;
    GlobalData m_upload;
    std::vector<char> m_buffer;
    // The position in the whole resource of the next byte read.
    size_t m_position = 0;
    DWORD m_status = 0;
    size_t m_progressMax = 0;
    size_t m_declaredLength = 0; // Content-Length of a whole body; 0 when none

    std::string m_mimeType;
    std::wstring m_cacheFilename;
    bool m_starting = false;
    bool m_responded = false;
    bool m_stopping = false;
    bool m_stopResult = false;
    bool m_finished = false;
    bool m_finishedResult = false;
};

} // namespace ActiveX
} // namespace FW
