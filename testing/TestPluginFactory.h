#pragma once
// The factory of a test plug-in: one plug-in class under one name, described
// for its one MIME type.

#include <memory>
#include <string>
#include <utility>

#include "FactoryBase.h"

template <class Plugin>
class TestPluginFactory : public FW::FactoryBase {
public:
    TestPluginFactory(std::string name, std::string mimeType, std::string description)
        : m_name(std::move(name)), m_mimeType(std::move(mimeType)),
          m_description(std::move(description)) {}

    FW::PluginCorePtr createPlugin(const std::string&) override {
        return std::make_shared<Plugin>();
    }
    std::string getPluginName(const std::string&) const override { return m_name; }
    std::string getPluginDescription(const std::string& mimetype) override {
        return mimetype == m_mimeType ? m_description : std::string();
    }

private:
    std::string m_name;
    std::string m_mimeType;
    std::string m_description;
};
