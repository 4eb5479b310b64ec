#include "ActiveXBindStatusCallback.h"

#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ActiveXStream.h"
#include "BrowserStreamRequest.h"
#include "com_error.h"
#include "utf8_tools.h"

namespace FW {
namespace ActiveX {

namespace {

const DWORD kPartialContent = 206;

bool startsWithNoCase(const std::string& text, const char* prefix) {
    const size_t length = std::strlen(prefix);
    return text.size() >= length && _strnicmp(text.c_str(), prefix, length) == 0;
}

// The caller's header lines with CR LF endings, plus a content type for an
// upload that names none.
std::wstring uploadHeaders(const std::string& lines) {
    std::string headers;
    bool hasType = false;
    for (const auto& header : parseHeaders(lines)) {
        hasType = hasType || _stricmp(header.first.c_str(), "Content-Type") == 0;
        headers += header.first + ": " + header.second + "\r\n";
    }
    if (!hasType)
        headers += "Content-Type: application/x-www-form-urlencoded\r\n";
    return utf8_to_wstring(headers);
}

std::string headerValue(const std::string& headers, const char* name) {
    for (const auto& header : parseHeaders(headers)) {
        if (_stricmp(header.first.c_str(), name) == 0)
            return header.second;
    }
    return std::string();
}

} // namespace

ActiveXBindStatusCallback::GlobalData::~GlobalData() {
    if (m_handle != nullptr)
        GlobalFree(m_handle);
}

void ActiveXBindStatusCallback::GlobalData::assign(const std::string& data) {
    HGLOBAL handle = GlobalAlloc(GMEM_FIXED, std::max<size_t>(data.size(), 1));
    if (handle == nullptr)
        throw std::bad_alloc();
    std::memcpy(static_cast<void*>(handle), data.data(), data.size());
    if (m_handle != nullptr)
        GlobalFree(m_handle);
    m_handle = handle;
    m_size = static_cast<DWORD>(data.size());
}

ATL::CComPtr<ActiveXBindStatusCallback>
ActiveXBindStatusCallback::create(const std::shared_ptr<ActiveXStream>& stream, bool first,
                                  const Range* range) {
    ATL::CComObject<ActiveXBindStatusCallback>* object = nullptr;
    if (FAILED(ATL::CComObject<ActiveXBindStatusCallback>::CreateInstance(&object)))
        throw std::bad_alloc();
    ATL::CComPtr<ActiveXBindStatusCallback> callback(object);
    callback->m_url = utf8_to_wstring(stream->getUrl());
    callback->m_first = first;
    callback->m_cached = stream->isCached();
    callback->m_file = startsWithNoCase(stream->getUrl(), "file:");
    callback->m_bufferSize = std::max<size_t>(stream->getInternalBufferSize(), 1);
    // Range reads fetch again with GET, whatever made the stream.
    callback->m_post = first && stream->isPost();
    if (range != nullptr) {
        callback->m_range = *range;
        callback->m_extraHeaders = L"Range: bytes=" + std::to_wstring(range->start) + L"-" +
                                   std::to_wstring(range->end - 1) + L"\r\n";
    }
    if (callback->m_post) {
        callback->m_upload.assign(stream->getPostData());
        callback->m_extraHeaders = uploadHeaders(stream->getPostHeaders());
    }
    callback->m_stream = stream;
    return callback;
}

ActiveXBindStatusCallback::~ActiveXBindStatusCallback() = default;

HRESULT ActiveXBindStatusCallback::start() {
    HRESULT hr = CreateURLMonikerEx(nullptr, m_url.c_str(), &m_moniker, URL_MK_UNIFORM);
    if (SUCCEEDED(hr))
        hr = CreateAsyncBindCtx(0, this, nullptr, &m_bindCtx);
    if (SUCCEEDED(hr)) {
        ATL::CComPtr<IStream> data;
        m_starting = true;
        hr = m_moniker->BindToStorage(m_bindCtx, nullptr, IID_IStream,
                                      reinterpret_cast<void**>(&data));
        m_starting = false;
        if (SUCCEEDED(hr) && data && !m_data)
            m_data = data;
    }
    if (FAILED(hr)) {
        m_finished = true;
        endBinding(false);
    } else if (m_finished) {
        // Ended while urlmon was starting it.
        endBinding(true);
    }
    return hr;
}

HRESULT ActiveXBindStatusCallback::stop(bool success) {
    if (m_finished)
        return S_OK;
    const ATL::CComPtr<ActiveXBindStatusCallback> keep(this);
    m_stopping = true;
    m_stopResult = success;
    const HRESULT hr = m_binding ? m_binding->Abort() : S_OK;
    // Not left to OnStopBinding: the stream learns of the end now.
    finish(success);
    return hr;
}

void ActiveXBindStatusCallback::finish(bool success) {
    if (m_finished)
        return;
    m_finished = true;
    m_finishedResult = success;
    if (!m_starting)
        endBinding(true);
}

void ActiveXBindStatusCallback::endBinding(bool report) {
    const ATL::CComPtr<ActiveXBindStatusCallback> keep(this);
    std::shared_ptr<ActiveXStream> stream;
    stream.swap(m_stream);
    if (m_bindCtx)
        RevokeBindStatusCallback(m_bindCtx, this);
    m_data.Release();
    m_binding.Release();
    m_bindCtx.Release();
    m_moniker.Release();
    if (report && stream)
        stream->bindingFinished(this, m_finishedResult);
}

DWORD ActiveXBindStatusCallback::httpStatus() {
    if (m_status != 0 || !m_binding)
        return m_status;
    ATL::CComQIPtr<IWinInetHttpInfo> info(m_binding);
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (info && SUCCEEDED(info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                          &size, nullptr, nullptr)))
        m_status = status;
    return m_status;
}

std::string ActiveXBindStatusCallback::rawHeaders() {
    ATL::CComQIPtr<IWinInetHttpInfo> info(m_binding);
    if (!info)
        return std::string();
    std::vector<char> text(4096);
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(text.size());
        const HRESULT hr =
            info->QueryInfo(HTTP_QUERY_RAW_HEADERS_CRLF, text.data(), &size, nullptr, nullptr);
        if (SUCCEEDED(hr))
            return std::string(text.data(), std::min<size_t>(size, text.size()));
        if (size <= text.size())
            break;
        text.resize(size + 1);
    }
    return std::string();
}

bool ActiveXBindStatusCallback::respond() {
    m_responded = true;
    const DWORD status = httpStatus();
    if (status != 0 && (status < 200 || status > 299)) {
        stop(false);
        return false;
    }
    if (!m_stream)
        return false;
    if (m_range)
        m_position = status == kPartialContent ? m_range->start : 0;
    BindingResponse response;
    response.mimeType = m_mimeType;
    response.cacheFilename = m_cacheFilename;
    response.headers = rawHeaders();
    response.length = m_progressMax;
    if (response.length == 0) {
        const std::string length = headerValue(response.headers, "Content-Length");
        response.length = length.empty() ? 0 : std::strtoul(length.c_str(), nullptr, 10);
    }
    // A whole body is checked against the length the server declared.
    if (!m_range) {
        const std::string declared = headerValue(response.headers, "Content-Length");
        m_declaredLength = declared.empty() ? 0 : std::strtoul(declared.c_str(), nullptr, 10);
    }
    response.acceptsRanges =
        m_file || _stricmp(headerValue(response.headers, "Accept-Ranges").c_str(), "bytes") == 0;
    if (!m_stream->bindingResponded(this, response)) {
        stop(true);
        return false;
    }
    return !m_finished;
}

void ActiveXBindStatusCallback::readAvailable() {
    if (!m_data)
        return;
    if (m_buffer.empty())
        m_buffer.resize(m_bufferSize);
    while (!m_finished && m_data) {
        ULONG read = 0;
        const HRESULT hr =
            m_data->Read(m_buffer.data(), static_cast<ULONG>(m_buffer.size()), &read);
        if (read > 0)
            deliver(m_buffer.data(), std::min<size_t>(read, m_buffer.size()));
        if (hr != S_OK || read == 0)
            break;
    }
}

void ActiveXBindStatusCallback::deliver(const char* data, size_t length) {
    const size_t begin = m_position;
    m_position += length;
    if (!m_range) {
        if (m_stream)
            m_stream->bindingData(data, length, begin);
        return;
    }
    // A server (or a file) that ignores the Range header sends everything:
    // only the range is delivered.
    const size_t from = std::max(begin, m_range->start);
    const size_t to = std::min(m_position, m_range->end);
    if (from < to && m_stream)
        m_stream->bindingData(data + (from - begin), to - from, from);
    if (m_position >= m_range->end)
        stop(true);
}

STDMETHODIMP ActiveXBindStatusCallback::OnStartBinding(DWORD, IBinding* binding) {
    return ATL::CallNoThrow([&] {
        m_binding = binding;
        if (m_finished && binding != nullptr)
            binding->Abort(); // stopped before urlmon could say how
        return S_OK;
    });
}

STDMETHODIMP ActiveXBindStatusCallback::GetPriority(LONG* priority) {
    if (priority == nullptr)
        return E_POINTER;
    *priority = THREAD_PRIORITY_NORMAL;
    return S_OK;
}

STDMETHODIMP ActiveXBindStatusCallback::OnLowResource(DWORD) {
    return S_OK;
}

STDMETHODIMP ActiveXBindStatusCallback::OnProgress(ULONG, ULONG progressMax, ULONG statusCode,
                                                   LPCWSTR statusText) {
    return ATL::CallNoThrow([&] {
        switch (statusCode) {
        case BINDSTATUS_MIMETYPEAVAILABLE:
            if (statusText != nullptr)
                m_mimeType = wstring_to_utf8(statusText);
            break;
        case BINDSTATUS_CACHEFILENAMEAVAILABLE:
            if (statusText != nullptr) {
                m_cacheFilename = statusText;
                if (m_first && m_responded && m_stream)
                    m_stream->bindingCacheFilename(m_cacheFilename);
            }
            break;
        case BINDSTATUS_BEGINDOWNLOADDATA:
        case BINDSTATUS_DOWNLOADINGDATA:
        case BINDSTATUS_ENDDOWNLOADDATA:
            if (progressMax != 0)
                m_progressMax = progressMax;
            break;
        default:
            break;
        }
        return S_OK;
    });
}

STDMETHODIMP ActiveXBindStatusCallback::OnStopBinding(HRESULT result, LPCWSTR) {
    return ATL::CallNoThrow([&] {
        const ATL::CComPtr<ActiveXBindStatusCallback> keep(this);
        if (m_finished)
            return S_OK;
        if (m_stopping) {
            finish(m_stopResult);
            return S_OK;
        }
        if (SUCCEEDED(result)) {
            // An empty body brings no data: the answer is looked at here.
            if (!m_responded && !respond())
                return S_OK;
            readAvailable();
        }
        // A connection cut short ends "successfully" in urlmon: the bytes tell.
        const bool whole = m_declaredLength == 0 || m_position >= m_declaredLength;
        finish(SUCCEEDED(result) && whole);
        return S_OK;
    });
}

STDMETHODIMP ActiveXBindStatusCallback::GetBindInfo(DWORD* flags, BINDINFO* info) {
    if (flags == nullptr || info == nullptr)
        return E_INVALIDARG;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
    if (m_cached && !m_range && !m_post)
        *flags |= BINDF_NEEDFILE;
    else
        *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE;
    if (m_post)
        *flags |= BINDF_PRAGMA_NO_CACHE;
    const ULONG size = info->cbSize;
    std::memset(info, 0, std::min<size_t>(size, sizeof(BINDINFO)));
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    if (m_post) {
        info->dwBindVerb = BINDVERB_POST;
        info->stgmedData.tymed = TYMED_HGLOBAL;
        info->stgmedData.hGlobal = m_upload.handle();
        // urlmon releases this object rather than freeing the memory.
        info->stgmedData.pUnkForRelease = static_cast<IBindStatusCallback*>(this);
        AddRef();
        info->cbstgmedData = m_upload.size();
    }
    return S_OK;
}

STDMETHODIMP ActiveXBindStatusCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*,
                                                        STGMEDIUM* medium) {
    return ATL::CallNoThrow([&] {
        const ATL::CComPtr<ActiveXBindStatusCallback> keep(this);
        if (m_finished)
            return S_OK;
        if (!m_data && medium != nullptr && medium->tymed == TYMED_ISTREAM)
            m_data = medium->pstm;
        if (!m_responded && !respond())
            return S_OK;
        readAvailable();
        return S_OK;
    });
}

STDMETHODIMP ActiveXBindStatusCallback::OnObjectAvailable(REFIID, IUnknown*) {
    return S_OK;
}

STDMETHODIMP ActiveXBindStatusCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                             LPWSTR* additionalHeaders) {
    if (additionalHeaders == nullptr)
        return E_POINTER;
    *additionalHeaders = nullptr;
    if (m_extraHeaders.empty())
        return S_OK;
    const size_t bytes = (m_extraHeaders.size() + 1) * sizeof(wchar_t);
    auto* text = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (text == nullptr)
        return E_OUTOFMEMORY;
    std::memcpy(text, m_extraHeaders.c_str(), bytes);
    *additionalHeaders = text;
    return S_OK;
}

STDMETHODIMP ActiveXBindStatusCallback::OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR,
                                                   LPWSTR* additionalRequestHeaders) {
    if (additionalRequestHeaders != nullptr)
        *additionalRequestHeaders = nullptr;
    m_status = responseCode;
    return S_OK;
}

} // namespace ActiveX
} // namespace FW
