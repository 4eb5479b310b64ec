#include "PluginFactory.h"

#include <windows.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <mutex>
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
class DescriptionMap {
public:
    std::string lookUp(const std::string& mimetype) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_filled) {
            for (const std::string& entry : split(PluginFactory::getMimeDescription(), ';')) {
                const auto fields = split(entry, ':');
                if (fields.size() >= 3)
                    m_descriptions[fields[0]] = fields[2];
            }
            m_filled = true;
        }
        return m_descriptions[mimetype];
    }

private:
    std::mutex m_mutex;
    bool m_filled = false;
    std::map<std::string, std::string> m_descriptions;
};

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
    static DescriptionMap descriptions;
    try {
        return descriptions.lookUp(mimetype);
    } catch (const std::exception&) {
        return "Unknown Description";
    }
}

FW::FactoryBasePtr getFactoryInstance() {
    static const FW::FactoryBasePtr factory = std::make_shared<PluginFactory>();
    return factory;
}
