#include "NpapiBrowserHost.h"

namespace FW {
namespace Npapi {
namespace {

// A value from the browser, released when it goes.
class BrowserValue {
public:
    explicit BrowserValue(const NpapiBrowserHost& host) : m_host(host) {
        m_value.type = NPVariantType_Void;
    }
    ~BrowserValue() { m_host.ReleaseVariantValue(&m_value); }
    BrowserValue(const BrowserValue&) = delete;
    BrowserValue& operator=(const BrowserValue&) = delete;

    NPVariant* get() { return &m_value; }
    NPObject* object() const {
        return m_value.type == NPVariantType_Object ? m_value.value.objectValue : nullptr;
    }
    std::string text() const {
        if (m_value.type != NPVariantType_String || !m_value.value.stringValue.UTF8Characters)
            return std::string();
        return std::string(m_value.value.stringValue.UTF8Characters,
                           m_value.value.stringValue.UTF8Length);
    }

private:
    const NpapiBrowserHost& m_host;
    NPVariant m_value;
};

} // namespace

std::string NpapiBrowserHost::getPageAddress() {
    char* origin = nullptr;
    if (GetValue(NPNVdocumentOrigin, &origin) == NPERR_NO_ERROR && origin) {
        std::string text(origin);
        MemFree(origin);
        return text;
    }
    // The window is asked for afresh, as the browser has it now.
    NPObject* window = nullptr;
    if (GetValue(NPNVWindowNPObject, &window) != NPERR_NO_ERROR || !window)
        return std::string();
    std::string address;
    {
        BrowserValue location(*this);
        BrowserValue href(*this);
        if (GetProperty(window, GetStringIdentifier("location"), location.get()) &&
            location.object() &&
            GetProperty(location.object(), GetStringIdentifier("href"), href.get()))
            address = href.text();
    }
    ReleaseObject(window);
    return address;
}

} // namespace Npapi
} // namespace FW
