// The library's NPAPI doors: the three exports a browser looks up and the
// instance calls it makes through the plug-in function table. No exception
// leaves any of them.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "NpapiBrowserHost.h"
#include "NpapiBrowserHostAsyncWin.h"
#include "NpapiPluginModule.h"
#include "NpapiPluginWin.h"
#include "NpapiStream.h"

using namespace FW;
using namespace FW::Npapi;

namespace {

struct InstanceHolder {
    NpapiBrowserHostPtr host;
    NpapiPluginPtr plugin;
};

InstanceHolder* holderOf(NPP instance) {
    return instance != nullptr ? static_cast<InstanceHolder*>(instance->pdata) : nullptr;
}

NpapiPlugin* pluginOf(NPP instance) {
    InstanceHolder* holder = holderOf(instance);
    return holder != nullptr ? holder->plugin.get() : nullptr;
}

// Browsers whose thread-async call cannot be trusted (Safari's) or that lack it
// (tables before version 19) get the host with its own call window. Decided
// once per process, at the first instance.
NpapiBrowserHostPtr makeHost(NpapiPluginModule* module, NPP instance) {
    static int s_asyncHost = -1;
    if (s_asyncHost < 0) {
        const NPNetscapeFuncs& funcs = module->netscapeFuncs();
        const char* agent = ORVELA_NPN_HAS(&funcs, uagent) ? funcs.uagent(instance) : nullptr;
        s_asyncHost =
            (agent != nullptr && std::strstr(agent, "Safari") != nullptr) || funcs.version < 19;
    }
    try {
        if (s_asyncHost) {
            module->clearThreadAsyncCall();
            return std::make_shared<NpapiBrowserHostAsyncWin>(instance);
        }
        return std::make_shared<NpapiBrowserHost>(instance);
    } catch (...) {
        return nullptr;
    }
}

NPError NPP_NewImpl(NPMIMEType pluginType, NPP instance, uint16_t, int16_t argc, char* argn[],
                    char* argv[], NPSavedData*) {
    if (instance == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    NpapiBrowserHostPtr host;
    try {
        NpapiPluginModule* module = NpapiPluginModule::GetModule();
        host = makeHost(module, instance);
        if (!host)
            return NPERR_GENERIC_ERROR;
        host->setBrowserFuncs(&module->netscapeFuncs());
        const std::string mimetype = pluginType != nullptr ? pluginType : "";
        NpapiPluginPtr plugin = getNpapiFactory()->createNpapiPlugin(host, mimetype);
        if (!plugin) {
            host->shutdown();
            return NPERR_OUT_OF_MEMORY_ERROR;
        }
        auto* holder = new InstanceHolder{host, plugin};
        instance->pdata = holder;
        try {
            plugin->init(pluginType, argc, argn, argv);
        } catch (...) {
            // A failed start leaves no half-made instance behind.
            instance->pdata = nullptr;
            delete holder;
            try {
                plugin->shutdown();
            } catch (...) {
            }
            throw;
        }
        return NPERR_NO_ERROR;
    } catch (...) {
        // Whatever failed, the host lets go of the page's objects it took.
        if (host) {
            try {
                host->shutdown();
            } catch (...) {
            }
        }
        try {
            throw;
        } catch (const PluginCreateError& e) {
            std::printf("%s\n", e.what());
            return NPERR_INCOMPATIBLE_VERSION_ERROR;
        } catch (const std::bad_alloc& e) {
            std::printf("%s\n", e.what());
            return NPERR_OUT_OF_MEMORY_ERROR;
        } catch (const std::exception& e) {
            std::printf("%s\n", e.what());
            return NPERR_GENERIC_ERROR;
        } catch (...) {
            return NPERR_GENERIC_ERROR;
        }
    }
}

NPError NPP_DestroyImpl(NPP instance, NPSavedData**) {
    InstanceHolder* holder = holderOf(instance);
    if (holder == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    // The plug-in lets go of the browser's objects (its scriptable object, the
    // page functions its core holds) while the host can still release them;
    // the host then ends all browser calls, whatever the plug-in's tear-down
    // reported. From the start no call of the plug-in reaches the page.
    try {
        holder->host->closePage();
    } catch (...) {
    }
    try {
        holder->plugin->releaseScriptableObject();
        holder->plugin->shutdown();
    } catch (...) {
    }
    try {
        holder->plugin.reset();
    } catch (...) {
    }
    try {
        holder->host->shutdown();
    } catch (...) {
    }
    instance->pdata = nullptr;
    delete holder;
    return NPERR_NO_ERROR;
}

NPError NPP_SetWindowImpl(NPP instance, NPWindow* window) {
    if (holderOf(instance) == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    try {
        NpapiPlugin* plugin = pluginOf(instance);
        if (plugin == nullptr)
            return NPERR_NO_ERROR;
        return plugin->SetWindow(window);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
}

// Stream calls reach the plug-in; once it has gone (the instance is being
// destroyed) the stream objects still end their lives, and a browser stream
// nobody asked for is refused.
NPError NPP_NewStreamImpl(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                          uint16_t* stype) {
    InstanceHolder* holder = holderOf(instance);
    if (holder == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    try {
        if (holder->plugin == nullptr)
            return NPERR_GENERIC_ERROR;
        return holder->plugin->NewStream(type, stream, seekable, stype);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
}

NPError NPP_DestroyStreamImpl(NPP instance, NPStream* stream, NPReason reason) {
    InstanceHolder* holder = holderOf(instance);
    if (holder == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    try {
        if (holder->plugin == nullptr)
            return StreamDestroy(stream, reason);
        return holder->plugin->DestroyStream(stream, reason);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
}

// Without an instance or plug-in the answer is -1, which tells the browser to
// end the stream: a positive count would have it go on feeding data to an
// instance that cannot take it.
int32_t NPP_WriteReadyImpl(NPP instance, NPStream* stream) {
    NpapiPlugin* plugin = pluginOf(instance);
    if (plugin == nullptr)
        return -1;
    try {
        return plugin->WriteReady(stream);
    } catch (...) {
        return -1;
    }
}

int32_t NPP_WriteImpl(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer) {
    NpapiPlugin* plugin = pluginOf(instance);
    if (plugin == nullptr)
        return -1;
    try {
        return plugin->Write(stream, offset, len, buffer);
    } catch (...) {
        return -1;
    }
}

void NPP_StreamAsFileImpl(NPP instance, NPStream* stream, const char* fname) {
    try {
        if (NpapiPlugin* plugin = pluginOf(instance))
            plugin->StreamAsFile(stream, fname);
    } catch (...) {
    }
}

void NPP_PrintImpl(NPP, NPPrint*) {}
void NPP_URLNotifyImpl(NPP instance, const char* url, NPReason reason, void* notifyData) {
    InstanceHolder* holder = holderOf(instance);
    if (holder == nullptr)
        return;
    try {
        if (holder->plugin == nullptr)
            StreamURLNotify(url, reason, notifyData);
        else
            holder->plugin->URLNotify(url, reason, notifyData);
    } catch (...) {
    }
}

int16_t NPP_HandleEventImpl(NPP instance, void* event) {
    try {
        NpapiPlugin* plugin = pluginOf(instance);
        return plugin != nullptr ? plugin->HandleEvent(event) : 0;
    } catch (...) {
        return 0;
    }
}

NPError NPP_GetValueImpl(NPP instance, NPPVariable variable, void* value) {
    try {
        if (holderOf(instance) == nullptr) {
            if (value == nullptr)
                return NPERR_INVALID_PARAM;
            // Kept for the process: the browser keeps the characters.
            static const std::string name = getNpapiFactory()->getPluginName(std::string());
            static const std::string description =
                getNpapiFactory()->getPluginDescription(std::string());
            if (variable == NPPVpluginNameString) {
                *static_cast<const char**>(value) = name.c_str();
                return NPERR_NO_ERROR;
            }
            if (variable == NPPVpluginDescriptionString) {
                *static_cast<const char**>(value) = description.c_str();
                return NPERR_NO_ERROR;
            }
            return NPERR_GENERIC_ERROR;
        }
        NpapiPlugin* plugin = pluginOf(instance);
        if (plugin == nullptr)
            return NPERR_NO_ERROR;
        return plugin->GetValue(variable, value);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
}

NPError NPP_SetValueImpl(NPP instance, NPNVariable variable, void* value) {
    if (holderOf(instance) == nullptr)
        return NPERR_INVALID_INSTANCE_ERROR;
    try {
        NpapiPlugin* plugin = pluginOf(instance);
        if (plugin == nullptr)
            return NPERR_GENERIC_ERROR;
        return plugin->SetValue(variable, value);
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
}

} // namespace

extern "C" {

NPError WINAPI NP_GetEntryPoints(NPPluginFuncs* funcs) {
    if (funcs == nullptr)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    try {
        NpapiPluginModule::GetModule();
    } catch (...) {
        return NPERR_MODULE_LOAD_FAILED_ERROR;
    }
    funcs->newp = NPP_NewImpl;
    funcs->destroy = NPP_DestroyImpl;
    funcs->setwindow = NPP_SetWindowImpl;
    funcs->newstream = NPP_NewStreamImpl;
    funcs->destroystream = NPP_DestroyStreamImpl;
    funcs->asfile = NPP_StreamAsFileImpl;
    funcs->writeready = NPP_WriteReadyImpl;
    funcs->write = NPP_WriteImpl;
    funcs->print = NPP_PrintImpl;
    funcs->event = NPP_HandleEventImpl;
    funcs->urlnotify = NPP_URLNotifyImpl;
    funcs->getvalue = NPP_GetValueImpl;
    funcs->setvalue = NPP_SetValueImpl;
    return NPERR_NO_ERROR;
}

NPError WINAPI NP_Initialize(NPNetscapeFuncs* funcs) {
    if (funcs == nullptr)
        return NPERR_INVALID_FUNCTABLE_ERROR;
    try {
        NpapiPluginModule::GetModule()->setNetscapeFuncs(funcs);
    } catch (...) {
        return NPERR_MODULE_LOAD_FAILED_ERROR;
    }
    return NPERR_NO_ERROR;
}

NPError WINAPI NP_Shutdown(void) {
    try {
        NpapiPluginModule::ReleaseModule();
    } catch (...) {
        return NPERR_GENERIC_ERROR;
    }
    return NPERR_NO_ERROR;
}

} // extern "C"
