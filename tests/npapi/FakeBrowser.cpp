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
    b().m_pageCalls.erase(object);
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
NPVariant objectValue(NPObject* o) {
    NPVariant v;
    v.type = NPVariantType_Object;
    v.value.objectValue = o;
    return v;
}
NPVariant intValue(int32_t i) {
    NPVariant v;
    v.type = NPVariantType_Int32;
    v.value.intValue = i;
    return v;
}
bool invokeDefault(NPP, NPObject* o, const NPVariant* args, uint32_t n, NPVariant* r);
bool invoke(NPP npp, NPObject* o, NPIdentifier name, const NPVariant* args, uint32_t n,
            NPVariant* r) {
    if (isPage(o)) {
        r->type = NPVariantType_Void;
        const std::string method = isIntId(name) ? "" : *static_cast<std::string*>(name);
        auto& props = b().propertiesOf(o);
        if (method == "Array" || method == "Object") {
            NPObject* made = b().newPageObject();
            if (method == "Array")
                b().propertiesOf(made)["length"] = intValue(0);
            *r = objectValue(made);
            return true;
        }
        if (method == "push" && props.count("length")) {
            int32_t length = props["length"].value.intValue;
            for (uint32_t i = 0; i < n; ++i)
                props[std::to_string(length++)] = copyOf(args[i]);
            props["length"] = intValue(length);
            return true;
        }
        auto member = props.find(method);
        if (member == props.end() || member->second.type != NPVariantType_Object)
            return false;
        return invokeDefault(npp, member->second.value.objectValue, args, n, r);
    }
    return o->_class && o->_class->invoke && o->_class->invoke(o, name, args, n, r);
}
bool invokeDefault(NPP, NPObject* o, const NPVariant* args, uint32_t n, NPVariant* r) {
    if (isPage(o)) {
        r->type = NPVariantType_Void;
        auto call = b().m_pageCalls.find(o);
        if (call == b().m_pageCalls.end() || !call->second)
            return false;
        FakeBrowser::PageCall body = call->second; // the call may add page objects
        return body(args, n, r);
    }
    return o->_class && o->_class->invokeDefault && o->_class->invokeDefault(o, args, n, r);
}
// Runs only the plug-in's call-function script: window.NAME = function(...).
bool evaluate(NPP, NPObject* o, NPString* script, NPVariant* r) {
    const std::string text(script->UTF8Characters, script->UTF8Length);
    const std::string prefix = "window.";
    const size_t end = text.find(" =");
    if (text.compare(0, prefix.size(), prefix) != 0 || end == std::string::npos)
        return false;
    const std::string name = text.substr(prefix.size(), end - prefix.size());
    NPObject* helper = b().newPageObject([](const NPVariant* args, uint32_t n, NPVariant* result) {
        if (n < 3 || args[1].type != NPVariantType_Object || args[2].type != NPVariantType_Object)
            return false;
        FakeBrowser::Timer timer{retainobject(args[1].value.objectValue),
                                 retainobject(args[2].value.objectValue),
                                 n > 3 ? FakeBrowser::text(args[3]) : std::string()};
        b().m_timers.push_back(timer);
        *result = intValue(static_cast<int32_t>(b().m_timers.size())); // the timer's id
        return true;
    });
    NPVariant value = objectValue(helper);
    b().propertiesOf(o)[name] = value;
    r->type = NPVariantType_Void;
    return true;
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
NPError getvalue(NPP, NPNVariable variable, void* value) {
    if (variable != NPNVWindowNPObject || b().m_window == nullptr)
        return NPERR_GENERIC_ERROR;
    *static_cast<NPObject**>(value) = retainobject(b().m_window);
    return NPERR_NO_ERROR;
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
    m_funcs.evaluate = evaluate;
}

FakeBrowser::~FakeBrowser() {
    current = nullptr;
}

NPObject* FakeBrowser::newPageObject(PageCall body) {
    NPObject* object = createobject(&m_npp, nullptr);
    m_pageProperties[object];
    if (body)
        m_pageCalls[object] = std::move(body);
    return object;
}

NPObject* FakeBrowser::window() {
    if (m_window == nullptr)
        m_window = newPageObject();
    return m_window;
}

size_t FakeBrowser::runTimers() {
    auto timers = std::move(m_timers);
    m_timers.clear();
    for (auto& timer : timers) {
        auto& props = propertiesOf(timer.args);
        std::vector<NPVariant> args;
        const int32_t length = props.count("length") ? props["length"].value.intValue : 0;
        for (int32_t i = 0; i < length; ++i)
            args.push_back(props[std::to_string(i)]);
        NPVariant result;
        result.type = NPVariantType_Void;
        const uint32_t n = static_cast<uint32_t>(args.size());
        if (timer.method.empty())
            invokeDefault(&m_npp, timer.function, args.data(), n, &result);
        else
            invoke(&m_npp, timer.function, id(timer.method), args.data(), n, &result);
        releasevariantvalue(&result);
        releaseobject(timer.function);
        releaseobject(timer.args);
    }
    return timers.size();
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

namespace FW {
namespace Testing {

void FakeBrowser::closeWindow() {
    if (m_window != nullptr)
        releaseobject(m_window);
    m_window = nullptr;
}

std::string FakeBrowser::describe(const NPVariant& value) {
    switch (value.type) {
    case NPVariantType_String:
        return text(value);
    case NPVariantType_Int32:
        return std::to_string(value.value.intValue);
    case NPVariantType_Double:
        return std::to_string(value.value.doubleValue);
    case NPVariantType_Bool:
        return value.value.boolValue ? "true" : "false";
    case NPVariantType_Object:
        return "<object>";
    case NPVariantType_Null:
        return "<null>";
    default:
        return "<void>";
    }
}

} // namespace Testing
} // namespace FW
