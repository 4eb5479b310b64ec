#include "FakeBrowser.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace FW {
namespace Testing {

FakeBrowser* FakeBrowser::current = nullptr;

namespace {

// Integer identifiers are odd values; string identifiers point to interned strings.
bool isIntId(NPIdentifier id) {
    return (reinterpret_cast<uintptr_t>(id) & 1) != 0;
}

FakeBrowser& b() {
    return *FakeBrowser::current;
}

void* memalloc(uint32_t size) {
    void* block = std::malloc(size ? size : 1);
    b().m_blocks.insert(block);
    return block;
}
void memfree(void* ptr) {
    if (ptr == nullptr)
        return;
    b().m_blocks.erase(ptr);
    std::free(ptr);
}
NPIdentifier getstringidentifier(const NPUTF8* name) {
    return b().id(name ? name : "");
}
NPIdentifier getintidentifier(int32_t value) {
    return reinterpret_cast<NPIdentifier>(
        (static_cast<uintptr_t>(static_cast<uint32_t>(value)) << 1) | 1);
}
bool identifierisstring(NPIdentifier id) {
    return !isIntId(id);
}
NPUTF8* utf8fromidentifier(NPIdentifier id) {
    if (isIntId(id))
        return nullptr;
    const std::string& s = *static_cast<std::string*>(id);
    auto* copy = static_cast<char*>(memalloc(static_cast<uint32_t>(s.size() + 1)));
    std::memcpy(copy, s.c_str(), s.size() + 1);
    return copy;
}
int32_t intfromidentifier(NPIdentifier id) {
    return static_cast<int32_t>(reinterpret_cast<uintptr_t>(id) >> 1);
}
NPObject* createobject(NPP npp, NPClass* cls) {
    NPObject* object = cls && cls->allocate ? cls->allocate(npp, cls) : new NPObject();
    if (object == nullptr)
        return nullptr;
    object->_class = cls;
    object->referenceCount = 1;
    b().m_objects.insert(object);
    return object;
}
NPObject* retainobject(NPObject* object) {
    if (object)
        ++object->referenceCount;
    return object;
}
void releaseobject(NPObject* object) {
    if (object == nullptr || --object->referenceCount != 0)
        return;
    b().m_objects.erase(object);
    auto props = b().m_pageProperties.find(object);
    if (props != b().m_pageProperties.end()) {
        auto values = std::move(props->second);
        b().m_pageProperties.erase(props);
        for (auto& entry : values)
            b().release(entry.second);
    }
    if (object->_class && object->_class->deallocate)
        object->_class->deallocate(object);
    else
        delete object;
}
void releasevariantvalue(NPVariant* v) {
    if (v->type == NPVariantType_String)
        memfree(const_cast<NPUTF8*>(v->value.stringValue.UTF8Characters));
    else if (v->type == NPVariantType_Object)
        releaseobject(v->value.objectValue);
    v->type = NPVariantType_Void;
}
bool isPage(NPObject* o) {
    return b().m_pageProperties.count(o) != 0;
}
NPVariant copyOf(const NPVariant& v) {
    NPVariant c = v;
    if (v.type == NPVariantType_String) {
        c = b().string(FakeBrowser::text(v));
    } else if (v.type == NPVariantType_Object) {
        retainobject(v.value.objectValue);
    }
    return c;
}
bool invoke(NPP, NPObject* o, NPIdentifier name, const NPVariant* args, uint32_t n, NPVariant* r) {
    return o->_class && o->_class->invoke && o->_class->invoke(o, name, args, n, r);
}
bool invokeDefault(NPP, NPObject* o, const NPVariant* args, uint32_t n, NPVariant* r) {
    return o->_class && o->_class->invokeDefault && o->_class->invokeDefault(o, args, n, r);
}
bool getproperty(NPP, NPObject* o, NPIdentifier name, NPVariant* r) {
    if (isPage(o)) {
        auto& props = b().propertiesOf(o);
        auto it = props.find(isIntId(name) ? std::to_string(intfromidentifier(name))
                                           : *static_cast<std::string*>(name));
        if (it == props.end())
            return false;
        *r = copyOf(it->second);
        return true;
    }
    return o->_class && o->_class->getProperty && o->_class->getProperty(o, name, r);
}
bool setproperty(NPP, NPObject* o, NPIdentifier name, const NPVariant* v) {
    if (isPage(o)) {
        auto& slot = b().propertiesOf(o)[isIntId(name) ? std::to_string(intfromidentifier(name))
                                                       : *static_cast<std::string*>(name)];
        NPVariant old = slot;
        slot = copyOf(*v);
        if (old.type == NPVariantType_String || old.type == NPVariantType_Object)
            releasevariantvalue(&old);
        return true;
    }
    return o->_class && o->_class->setProperty && o->_class->setProperty(o, name, v);
}
bool hasproperty(NPP, NPObject* o, NPIdentifier name) {
    if (isPage(o))
        return b().propertiesOf(o).count(*static_cast<std::string*>(name)) != 0;
    return o->_class && o->_class->hasProperty && o->_class->hasProperty(o, name);
}
bool hasmethod(NPP, NPObject* o, NPIdentifier name) {
    return o->_class && o->_class->hasMethod && o->_class->hasMethod(o, name);
}
bool removeproperty(NPP, NPObject* o, NPIdentifier name) {
    return o->_class && o->_class->removeProperty && o->_class->removeProperty(o, name);
}
bool enumerate(NPP, NPObject* o, NPIdentifier** ids, uint32_t* n) {
    return o->_class && o->_class->enumerate && o->_class->enumerate(o, ids, n);
}
void setexception(NPObject*, const NPUTF8* message) {
    b().m_exceptions.push_back(message ? message : "");
}
void pluginthreadasynccall(NPP, void (*f)(void*), void* data) {
    b().m_async.emplace_back(f, data);
}
NPError getvalue(NPP, NPNVariable, void*) {
    return NPERR_GENERIC_ERROR;
}

} // namespace

FakeBrowser::FakeBrowser() {
    current = this;
    m_funcs.size = sizeof(NPNetscapeFuncs);
    m_funcs.version = NP_VERSION_MINOR;
    m_funcs.memalloc = memalloc;
    m_funcs.memfree = memfree;
    m_funcs.getstringidentifier = getstringidentifier;
    m_funcs.getintidentifier = getintidentifier;
    m_funcs.identifierisstring = identifierisstring;
    m_funcs.utf8fromidentifier = utf8fromidentifier;
    m_funcs.intfromidentifier = intfromidentifier;
    m_funcs.createobject = createobject;
    m_funcs.retainobject = retainobject;
    m_funcs.releaseobject = releaseobject;
    m_funcs.releasevariantvalue = releasevariantvalue;
    m_funcs.invoke = invoke;
    m_funcs.invokeDefault = invokeDefault;
    m_funcs.getproperty = getproperty;
    m_funcs.setproperty = setproperty;
    m_funcs.hasproperty = hasproperty;
    m_funcs.hasmethod = hasmethod;
    m_funcs.removeproperty = removeproperty;
    m_funcs.enumerate = enumerate;
    m_funcs.setexception = setexception;
    m_funcs.pluginthreadasynccall = pluginthreadasynccall;
    m_funcs.getvalue = getvalue;
}

FakeBrowser::~FakeBrowser() {
    current = nullptr;
}

NPObject* FakeBrowser::newPageObject() {
    NPObject* object = createobject(&m_npp, nullptr);
    m_pageProperties[object];
    return object;
}

std::map<std::string, NPVariant>& FakeBrowser::propertiesOf(NPObject* object) {
    return m_pageProperties[object];
}

void FakeBrowser::runAsyncCalls() {
    auto calls = std::move(m_async);
    m_async.clear();
    for (auto& call : calls)
        call.first(call.second);
}

NPIdentifier FakeBrowser::id(const std::string& name) {
    auto& slot = m_stringIds[name];
    if (!slot)
        slot = std::make_unique<std::string>(name);
    return slot.get();
}

NPVariant FakeBrowser::string(const std::string& text) {
    auto* copy = static_cast<char*>(memalloc(static_cast<uint32_t>(text.size() + 1)));
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    NPVariant v;
    v.type = NPVariantType_String;
    v.value.stringValue.UTF8Characters = copy;
    v.value.stringValue.UTF8Length = static_cast<uint32_t>(text.size());
    return v;
}

std::string FakeBrowser::text(const NPVariant& value) {
    if (value.type != NPVariantType_String)
        return "<not a string>";
    return std::string(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
}

void FakeBrowser::release(NPVariant& value) {
    releasevariantvalue(&value);
}

} // namespace Testing
} // namespace FW
