#include "Navigator.h"

#include <vector>

#include "PluginLibrary.h"
#include "Text.h"

namespace npbrowser {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

} // namespace

// A 32-bit Firefox says Win32 on any Windows. navigator.mimeTypes lists each
// type once, by index and by name, with the plug-in that handles it.
std::string navigatorScript(const Options& options) {
    std::vector<std::wstring> paths;
    if (!options.plugin.empty())
        paths.push_back(options.plugin);
    else
        paths = PluginLibrary::registeredPaths();
    std::string script = "(function (n) {\n"
                         "    var types = {length: 0}, plugins = {length: 0};\n"
                         "    function add(path, list) {\n"
                         "        var name = path.replace(/^.*[\\\\\\/]/, '');\n"
                         "        var plugin = {name: name, filename: name, length: 0};\n"
                         "        plugins[plugins.length++] = plugin;\n"
                         "        for (var i = 0; i < list.length; ++i) {\n"
                         "            if (types[list[i]]) continue;\n"
                         "            var t = {type: list[i], description: '', suffixes: '',\n"
                         "                     enabledPlugin: plugin};\n"
                         "            plugin[plugin.length++] = t;\n"
                         "            types[types.length++] = t;\n"
                         "            types[list[i]] = t;\n"
                         "        }\n"
                         "    }\n";
    for (const std::wstring& path : paths) {
        const PluginLibrary library(path);
        script += "    add(" + quoted(narrow(path)) + ", [";
        for (size_t i = 0; i < library.mimeTypes().size(); ++i)
            script += (i ? ", " : "") + quoted(library.mimeTypes()[i]);
        script += "]);\n";
    }
    script += "    n.platform = 'Win32';\n"
              "    n.appName = 'Netscape';\n"
              "    n.mimeTypes = types;\n"
              "    n.plugins = plugins;\n"
              "})(navigator);\n";
    return script;
}

} // namespace npbrowser
