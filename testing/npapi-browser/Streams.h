#pragma once
// The browser's network side for plug-ins, as Firefox did it: URLs the plug-in
// asks for (GET or POST, http://127.0.0.1:<port>/ and file:) and the element's
// own data become NPAPI streams delivered through NPP_NewStream, NPP_WriteReady,
// NPP_Write, NPP_StreamAsFile, NPP_DestroyStream and NPP_URLNotify. Fetching
// runs on worker threads; every plug-in call is made on the main thread.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "npapi_abi.h"

namespace npbrowser {

class Streams {
public:
    static Streams& instance();
    static constexpr UINT kStreamMessage = WM_APP + 2;

    void setWindow(HWND window) { m_window = window; }

    // NPN_GetURLNotify / NPN_PostURLNotify without a target window.
    NPError request(NPP npp, const char* url, const std::string* body, bool notify,
                    void* notifyData);
    // The element's data: a stream the plug-in did not ask for.
    void openUnsolicited(NPP npp, const std::string& url);
    NPError requestRead(NPStream* stream, NPByteRange* ranges);
    int32_t write(NPP npp, NPStream* stream, int32_t len, void* buffer);
    NPError destroy(NPP npp, NPStream* stream, NPReason reason);
    // The instance goes: its streams end (with NPRES_USER_BREAK) first.
    void endInstance(NPP npp);
    // A posted piece of a fetch (or, when deliver is false, its disposal).
    void onMessage(LPARAM message, bool deliver);
    // Streams still alive when the page has gone.
    std::vector<std::string> leftovers() const;

    struct Fetch;
    struct Stream;

private:
    Streams() = default;
    Stream* find(NPStream* stream);
    Stream* find(unsigned id);
    void startFetch(Stream& stream, int64_t begin, int64_t end, bool range);
    void opened(Stream& stream, int status, const std::string& headers, int64_t length,
                bool seekable, const std::string& mime);
    void pump(Stream& stream);
    void finish(Stream& stream, NPReason reason);
    void release(unsigned id);

    HWND m_window = nullptr;
    unsigned m_nextId = 1;
    std::map<unsigned, std::unique_ptr<Stream>> m_streams;
};

} // namespace npbrowser
