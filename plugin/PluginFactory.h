#pragma once
// The module's factory: makes orvela plug-in objects, runs the module's start
// (COM and the control-host window classes) and stop, and names the plug-in
// and its MIME type for the browser adapters.

#include <string>

#include "FactoryBase.h"

class PluginFactory : public FW::FactoryBase {
public:
    FW::PluginCorePtr createPlugin(const std::string& mimetype) override;
    void globalPluginInitialize() override;
    void globalPluginDeinitialize() override;

    // "orvela", whatever the MIME type.
    std::string getPluginName(const std::string& mimetype = std::string()) const override;
    // Entries "type:extensions:description" separated by ";".
    static const char* getMimeDescription() { return "application/x-orvela::orvela;"; }
    // The MIME description's description for the type; empty for a type it does
    // not list, "Unknown Description" when the look-up fails.
    std::string getPluginDescription(const std::string& mimetype) override;

private:
    // Module starts that joined an apartment, each undone by one module stop.
    int m_comInitializations = 0;
};

// The process's one factory, made on the first call.
FW::FactoryBasePtr getFactoryInstance();
