#include "NpRuntime.h"

#include "Streams.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace npbrowser {

NpRuntime& NpRuntime::instance() {
    static NpRuntime runtime;
    return runtime;
}

NpRuntime::NpRuntime() : m_mainThread(GetCurrentThreadId()) {
    InitializeCriticalSection(&m_memoryLock);
}

void NpRuntime::registerInstance(NPP npp, InstanceServices* services) {
    m_instances[npp] = services;
}

void NpRuntime::unregisterInstance(NPP npp) {
    m_instances.erase(npp);
}

InstanceServices* NpRuntime::servicesOf(NPP npp) const {
    auto found = m_instances.find(npp);
    return found != m_instances.end() ? found->second : nullptr;
}

bool NpRuntime::onMainThread(const char* function) {
    if (GetCurrentThreadId() == m_mainThread)
        return true;
    EnterCriticalSection(&m_memoryLock);
    m_faults.push_back(std::string(function) + " called off the main thread");
    LeaveCriticalSection(&m_memoryLock);
    return false;
}

void NpRuntime::fault(const std::string& text) {
    EnterCriticalSection(&m_memoryLock);
    m_faults.push_back(text);
    LeaveCriticalSection(&m_memoryLock);
}

void NpRuntime::setExceptionText(const std::string& message) {
    m_exception = message;
    m_hasException = true;
}

bool NpRuntime::takeException(std::string& message) {
    if (!m_hasException)
        return false;
    message.swap(m_exception);
    m_exception.clear();
    m_hasException = false;
    return true;
}

void NpRuntime::postAsyncCall(NPP npp, void (*function)(void*), void* data) {
    EnterCriticalSection(&m_memoryLock);
    ++m_asyncCalls;
    const bool wake = function != nullptr && m_asyncQueue.empty();
    if (function != nullptr)
        m_asyncQueue.push_back(AsyncCall{npp, function, data});
    LeaveCriticalSection(&m_memoryLock);
    if (wake && m_callWindow != nullptr)
        PostMessageW(m_callWindow, kAsyncCallMessage, 0, 0);
}

void NpRuntime::runAsyncCalls() {
    std::deque<AsyncCall> calls;
    EnterCriticalSection(&m_memoryLock);
    calls.swap(m_asyncQueue);
    LeaveCriticalSection(&m_memoryLock);
    for (const AsyncCall& call : calls) {
        // Calls for an instance that has gone are dropped, as browsers do.
        if (servicesOf(call.npp) != nullptr)
            call.function(call.data);
    }
    // Calls made meanwhile found the queue empty and posted their own wake-up.
}

void NpRuntime::dropAsyncCalls() {
    EnterCriticalSection(&m_memoryLock);
    m_asyncQueue.clear();
    LeaveCriticalSection(&m_memoryLock);
}

NPIdentifier NpRuntime::stringIdentifier(const char* name) {
    if (name == nullptr)
        return nullptr;
    auto found = m_stringIds.find(name);
    if (found != m_stringIds.end())
        return found->second;
    auto* id = new Identifier{true, name, 0};
    m_stringIds[name] = id;
    m_identifiers.insert(id);
    return id;
}

NPIdentifier NpRuntime::intIdentifier(int32_t value) {
    auto found = m_intIds.find(value);
    if (found != m_intIds.end())
        return found->second;
    auto* id = new Identifier{false, std::string(), value};
    m_intIds[value] = id;
    m_identifiers.insert(id);
    return id;
}

bool NpRuntime::isStringIdentifier(NPIdentifier id) const {
    auto* identifier = static_cast<const Identifier*>(id);
    return m_identifiers.count(identifier) != 0 && identifier->isString;
}

std::string NpRuntime::identifierText(NPIdentifier id) const {
    auto* identifier = static_cast<const Identifier*>(id);
    if (m_identifiers.count(identifier) == 0)
        return std::string();
    return identifier->isString ? identifier->text : std::to_string(identifier->value);
}

int32_t NpRuntime::identifierInt(NPIdentifier id) const {
    auto* identifier = static_cast<const Identifier*>(id);
    if (m_identifiers.count(identifier) == 0 || identifier->isString)
        return INT32_MIN;
    return identifier->value;
}

void* NpRuntime::alloc(uint32_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr)
        return nullptr;
    EnterCriticalSection(&m_memoryLock);
    m_blocks[block] = size;
    LeaveCriticalSection(&m_memoryLock);
    return block;
}

void NpRuntime::free(void* block) {
    if (block == nullptr)
        return;
    EnterCriticalSection(&m_memoryLock);
    const bool known = m_blocks.erase(block) != 0;
    if (!known) {
        char text[96];
        std::snprintf(text, sizeof text, "NPN_MemFree of %p, which NPN_MemAlloc did not give",
                      block);
        m_faults.push_back(text);
    }
    LeaveCriticalSection(&m_memoryLock);
    if (known)
        std::free(block);
}

char* NpRuntime::strdup(const char* text, size_t length) {
    auto* copy = static_cast<char*>(alloc(static_cast<uint32_t>(length + 1)));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

NPObject* NpRuntime::createObject(NPP npp, NPClass* npClass) {
    if (npClass == nullptr)
        return nullptr;
    NPObject* object = npClass->allocate != nullptr
                           ? npClass->allocate(npp, npClass)
                           : static_cast<NPObject*>(std::malloc(sizeof(NPObject)));
    if (object == nullptr)
        return nullptr;
    object->_class = npClass;
    object->referenceCount = 1;
    m_objects[object] = ObjectInfo{npp, 0};
    return object;
}

NPObject* NpRuntime::retain(NPObject* object) {
    if (object == nullptr)
        return nullptr;
    if (!isLive(object)) {
        char text[96];
        std::snprintf(text, sizeof text, "NPN_RetainObject of %p, which is not a live object",
                      static_cast<void*>(object));
        fault(text);
        return object;
    }
    ++object->referenceCount;
    return object;
}

void NpRuntime::release(NPObject* object) {
    if (object == nullptr)
        return;
    auto found = m_objects.find(object);
    if (found == m_objects.end()) {
        char text[96];
        std::snprintf(text, sizeof text, "NPN_ReleaseObject of %p, which is not a live object",
                      static_cast<void*>(object));
        fault(text);
        return;
    }
    if (object->referenceCount <= found->second.browserRefs) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "NPN_ReleaseObject of %p: a reference the plug-in did not own",
                      static_cast<void*>(object));
        fault(text);
        return;
    }
    if (--object->referenceCount == 0)
        deallocate(object);
}

NPObject* NpRuntime::browserRetain(NPObject* object) {
    auto found = m_objects.find(object);
    if (found == m_objects.end())
        return nullptr;
    ++found->second.browserRefs;
    ++object->referenceCount;
    return object;
}

void NpRuntime::browserAdopt(NPObject* object) {
    auto found = m_objects.find(object);
    if (found != m_objects.end() && found->second.browserRefs < object->referenceCount)
        ++found->second.browserRefs;
}

void NpRuntime::browserRelease(NPObject* object) {
    auto found = m_objects.find(object);
    if (found == m_objects.end())
        return;
    if (found->second.browserRefs > 0)
        --found->second.browserRefs;
    if (--object->referenceCount == 0)
        deallocate(object);
}

std::vector<NPObject*> NpRuntime::objectsOf(NPP npp) const {
    std::vector<NPObject*> objects;
    for (const auto& entry : m_objects) {
        if (entry.second.npp == npp)
            objects.push_back(entry.first);
    }
    return objects;
}

void NpRuntime::deallocate(NPObject* object) {
    m_objects.erase(object);
    if (object->_class != nullptr && object->_class->deallocate != nullptr)
        object->_class->deallocate(object);
    else
        std::free(object);
}

void NpRuntime::reportLeaks() {
    for (const std::string& stream : Streams::instance().leftovers())
        m_faults.push_back(stream);
    for (const auto& entry : m_objects) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "NPObject %p (class %p) still alive after NP_Shutdown with %u references",
                      static_cast<void*>(entry.first), static_cast<void*>(entry.first->_class),
                      static_cast<unsigned>(entry.first->referenceCount));
        m_faults.push_back(text);
    }
    for (const auto& block : m_blocks) {
        char text[128];
        std::snprintf(text, sizeof text, "NPN_MemAlloc block %p of %u bytes never freed",
                      block.first, static_cast<unsigned>(block.second));
        m_faults.push_back(text);
    }
}

} // namespace npbrowser
