// orvela-members.exe: prints the guide's table of the camera members from
// the plug-in's own registration: each member's arguments and answer type, and
// what it answers when no camera control is installed (called for real on a
// scripting object without a camera).

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "orvelaAPI.h"

namespace {

std::string answerText(const FW::variant& answer) {
    if (answer.holds<std::string>() || answer.holds<std::wstring>()) {
        const std::string text = answer.convert<std::string>();
        return "\"" + text + "\"";
    }
    return std::to_string(answer.convert<long>());
}

} // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    try {
        auto api = std::make_shared<orvelaAPI>(nullptr, nullptr);
        std::printf("| member | arguments | answers | without a camera |\n");
        std::printf("|---|---|---|---|\n");
        for (const orvelaAPI::CameraMember& member : orvelaAPI::cameraMembers()) {
            FW::VariantList args;
            for (size_t at = 0; at < member.arguments.size();) {
                const size_t comma = member.arguments.find(", ", at);
                const std::string kind = member.arguments.substr(
                    at, comma == std::string::npos ? std::string::npos : comma - at);
                if (kind == "text")
                    args.emplace_back(std::string());
                else
                    args.emplace_back(0);
                at = comma == std::string::npos ? member.arguments.size() : comma + 2;
            }
            std::printf("| `%s` | %s | %s | %s |\n", member.name,
                        member.arguments.empty() ? "none" : member.arguments.c_str(), member.result,
                        answerText(api->Invoke(member.name, args)).c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvela-members: %s\n", e.what());
        status = 1;
    }
    CoUninitialize();
    return status;
}
