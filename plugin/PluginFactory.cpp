#include "PluginFactory.h"

#include <windows.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <vector>

#include "ax_host.h"
#include "orvela.h"

namespace {

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return pieces;
        start = end + 1;
    }
}

// The MIME description split once into type -> description.
const std::map<std::string, std::string>& descriptionsByType() {
    static const std::map<std::string, std::string> descriptions = [] {
        std::map<std::string, std::string> parsed;
        for (const std::string& entry : split(PluginFactory::getMimeDescription(), ';')) {
            const auto fields = split(entry, ':');
            if (fields.size() >= 3)
                parsed[fields[0]] = fields[2];
        }
        return parsed;
    }();
    return descriptions;
}

} // namespace

FW::PluginCorePtr PluginFactory::createPlugin(const std::string&) {
    return std::make_shared<orvela>();
}

void PluginFactory::globalPluginInitialize() {
    // A thread already initialised for another apartment model keeps it; the
    // refused call then has nothing for the module's stop to undo.
    if (SUCCEEDED(CoInitialize(nullptr)))
        ++m_comInitializations;
    ATL::AtlAxWinInit();
}

void PluginFactory::globalPluginDeinitialize() {
    if (m_comInitializations > 0) {
        --m_comInitializations;
        CoUninitialize();
    }
}

std::string PluginFactory::getPluginName(const std::string&) const {
    return "orvela";
}

std::string PluginFactory::getPluginDescription(const std::string& mimetype) {
    try {
        const auto& descriptions = descriptionsByType();
        const auto found = descriptions.find(mimetype);
        return found == descriptions.end() ? std::string() : found->second;
    } catch (const std::exception&) {
        return "Unknown Description";
    }
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<PluginFactory>();
    return factory;
}
