// The browser's function table as the host calls it: each call checks that the
// browser offers the function and answers as a browser without it would.
#include "NpapiBrowserHost.h"

#include <cstring>

namespace FW {
namespace Npapi {

#define NPN_OFFERS(member) ORVELA_NPN_HAS(&m_funcs, member)

void* NpapiBrowserHost::MemAlloc(uint32_t size) const {
    return NPN_OFFERS(memalloc) ? m_funcs.memalloc(size) : nullptr;
}

void NpapiBrowserHost::MemFree(void* ptr) const {
    if (NPN_OFFERS(memfree))
        m_funcs.memfree(ptr);
}

char* NpapiBrowserHost::StringDup(const std::string& text) const {
    if (text.size() >= UINT32_MAX)
        return nullptr;
    auto* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(text.size() + 1)));
    if (copy != nullptr)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

NPError NpapiBrowserHost::GetValue(NPNVariable variable, void* value) const {
    if (!NPN_OFFERS(getvalue))
        return NPERR_GENERIC_ERROR;
    return m_funcs.getvalue(m_npp, variable, value);
}

NPIdentifier NpapiBrowserHost::GetStringIdentifier(const std::string& name) const {
    return NPN_OFFERS(getstringidentifier) ? m_funcs.getstringidentifier(name.c_str()) : nullptr;
}

NPIdentifier NpapiBrowserHost::GetIntIdentifier(int32_t id) const {
    return NPN_OFFERS(getintidentifier) ? m_funcs.getintidentifier(id) : nullptr;
}

bool NpapiBrowserHost::IdentifierIsString(NPIdentifier identifier) const {
    return NPN_OFFERS(identifierisstring) && m_funcs.identifierisstring(identifier);
}

int32_t NpapiBrowserHost::IntFromIdentifier(NPIdentifier identifier) const {
    return NPN_OFFERS(intfromidentifier) ? m_funcs.intfromidentifier(identifier) : 0;
}

NPObject* NpapiBrowserHost::CreateObject(NPClass* npClass) const {
    return NPN_OFFERS(createobject) ? m_funcs.createobject(m_npp, npClass) : nullptr;
}

NPObject* NpapiBrowserHost::RetainObject(NPObject* object) const {
    return NPN_OFFERS(retainobject) && object ? m_funcs.retainobject(object) : nullptr;
}

void NpapiBrowserHost::ReleaseVariantValue(NPVariant* value) const {
    if (value != nullptr && NPN_OFFERS(releasevariantvalue))
        m_funcs.releasevariantvalue(value);
}

bool NpapiBrowserHost::Invoke(NPObject* object, NPIdentifier name, const NPVariant* args,
                              uint32_t count, NPVariant* result) const {
    return NPN_OFFERS(invoke) && m_funcs.invoke(m_npp, object, name, args, count, result);
}

bool NpapiBrowserHost::InvokeDefault(NPObject* object, const NPVariant* args, uint32_t count,
                                     NPVariant* result) const {
    return NPN_OFFERS(invokeDefault) && m_funcs.invokeDefault(m_npp, object, args, count, result);
}

bool NpapiBrowserHost::Evaluate(NPObject* object, NPString* script, NPVariant* result) const {
    return NPN_OFFERS(evaluate) && m_funcs.evaluate(m_npp, object, script, result);
}

bool NpapiBrowserHost::GetProperty(NPObject* object, NPIdentifier name, NPVariant* result) const {
    return NPN_OFFERS(getproperty) && m_funcs.getproperty(m_npp, object, name, result);
}

bool NpapiBrowserHost::SetProperty(NPObject* object, NPIdentifier name,
                                   const NPVariant* value) const {
    return NPN_OFFERS(setproperty) && m_funcs.setproperty(m_npp, object, name, value);
}

bool NpapiBrowserHost::RemoveProperty(NPObject* object, NPIdentifier name) const {
    return NPN_OFFERS(removeproperty) && m_funcs.removeproperty(m_npp, object, name);
}

bool NpapiBrowserHost::HasProperty(NPObject* object, NPIdentifier name) const {
    return NPN_OFFERS(hasproperty) && m_funcs.hasproperty(m_npp, object, name);
}

bool NpapiBrowserHost::HasMethod(NPObject* object, NPIdentifier name) const {
    return NPN_OFFERS(hasmethod) && m_funcs.hasmethod(m_npp, object, name);
}

NPError NpapiBrowserHost::SetValue(NPPVariable variable, void* value) const {
    if (!NPN_OFFERS(setvalue))
        return NPERR_GENERIC_ERROR;
    return m_funcs.setvalue(m_npp, variable, value);
}

void NpapiBrowserHost::InvalidateRect(NPRect* rect) const {
    if (NPN_OFFERS(invalidaterect))
        m_funcs.invalidaterect(m_npp, rect);
}

NPError NpapiBrowserHost::GetURL(const char* url, const char* target) const {
    if (!NPN_OFFERS(geturl))
        return NPERR_GENERIC_ERROR;
    return m_funcs.geturl(m_npp, url, target);
}

NPError NpapiBrowserHost::GetURLNotify(const char* url, const char* target,
                                       void* notifyData) const {
    if (!NPN_OFFERS(geturlnotify))
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return m_funcs.geturlnotify(m_npp, url, target, notifyData);
}

NPError NpapiBrowserHost::PostURLNotify(const char* url, const char* target, uint32_t len,
                                        const char* buf, bool file, void* notifyData) const {
    if (!NPN_OFFERS(posturlnotify))
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return m_funcs.posturlnotify(m_npp, url, target, len, buf, file, notifyData);
}

NPError NpapiBrowserHost::RequestRead(NPStream* stream, NPByteRange* ranges) const {
    if (!NPN_OFFERS(requestread))
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return m_funcs.requestread(stream, ranges);
}

int32_t NpapiBrowserHost::Write(NPStream* stream, int32_t len, void* buffer) const {
    if (!NPN_OFFERS(write))
        return -1;
    return m_funcs.write(m_npp, stream, len, buffer);
}

NPError NpapiBrowserHost::DestroyStream(NPStream* stream, NPReason reason) const {
    if (!NPN_OFFERS(destroystream))
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return m_funcs.destroystream(m_npp, stream, reason);
}

NPError NpapiBrowserHost::GetValueForURL(int variable, const char* url, char** value,
                                         uint32_t* length) const {
    // A browser without the function answers as an old browser would.
    if (!NPN_OFFERS(getvalueforurl))
        return NPERR_INCOMPATIBLE_VERSION_ERROR;
    return m_funcs.getvalueforurl(m_npp, variable, url, value, length);
}

const char* NpapiBrowserHost::UserAgent() const {
    return NPN_OFFERS(uagent) ? m_funcs.uagent(m_npp) : nullptr;
}

void NpapiBrowserHost::PushPopupsEnabledState(bool enabled) const {
    if (NPN_OFFERS(pushpopupsenabledstate))
        m_funcs.pushpopupsenabledstate(m_npp, enabled);
}

void NpapiBrowserHost::PopPopupsEnabledState() const {
    if (NPN_OFFERS(poppopupsenabledstate))
        m_funcs.poppopupsenabledstate(m_npp);
}

bool NpapiBrowserHost::HasEnumerate() const {
    return NPN_OFFERS(enumerate);
}

bool NpapiBrowserHost::Enumerate(NPObject* object, NPIdentifier** identifiers,
                                 uint32_t* count) const {
    return NPN_OFFERS(enumerate) && m_funcs.enumerate(m_npp, object, identifiers, count);
}

bool NpapiBrowserHost::Construct(NPObject* object, const NPVariant* args, uint32_t count,
                                 NPVariant* result) const {
    return NPN_OFFERS(construct) && m_funcs.construct(m_npp, object, args, count, result);
}

void NpapiBrowserHost::SetException(NPObject* object, const std::string& message) const {
    if (NPN_OFFERS(setexception))
        m_funcs.setexception(object, message.c_str());
}

} // namespace Npapi
} // namespace FW
