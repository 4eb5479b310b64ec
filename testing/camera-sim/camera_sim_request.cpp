// camera_sim_request: asks camera simulators of the Wine prefix for an event or
// a failing call, from the command line (demos, scripts, other-process tests).
//
//   camera_sim_request event <text> <type> <subtype> [pid]
//   camera_sim_request foreign <dispid> [pid]
//   camera_sim_request picture <file.png> [pid]
//   camera_sim_request fail <slot> <hresult, e.g. 0x80004005>
//   camera_sim_request clear
//
// Exit code: 0 when at least one simulator took an event request, wrote its
// picture (or the failure request was stored), 1 when none did (or the request
// failed), 2 for a bad command line.
#include "camera_sim_client.h"

#include <cstdio>
#include <cwchar>
#include <shellapi.h>

namespace {

bool parseLong(const wchar_t* text, long& value) {
    wchar_t* end = nullptr;
    value = static_cast<long>(std::wcstoul(text, &end, 0));
    if (text[0] == L'-')
        value = std::wcstol(text, &end, 0);
    return end && end != text && *end == L'\0';
}

int usage() {
    std::fputs("usage: camera_sim_request event <text> <type> <subtype> [pid]\n"
               "       camera_sim_request foreign <dispid> [pid]\n"
               "       camera_sim_request picture <file.png> [pid]\n"
               "       camera_sim_request fail <slot> <hresult>\n"
               "       camera_sim_request clear\n",
               stderr);
    return 2;
}

int run(int argc, wchar_t** argv) {
    if (argc < 2)
        return usage();
    const std::wstring command = argv[1];
    long a = 0, b = 0, pid = 0;
    if (command == L"event" && (argc == 5 || argc == 6) && parseLong(argv[3], a) &&
        parseLong(argv[4], b) && (argc == 5 || parseLong(argv[5], pid))) {
        int taken = CameraSim::requestEvent(argv[2], a, b, static_cast<DWORD>(pid));
        std::printf("%d simulator(s) took the event\n", taken);
        return taken > 0 ? 0 : 1;
    }
    if (command == L"foreign" && (argc == 3 || argc == 4) && parseLong(argv[2], a) &&
        (argc == 3 || parseLong(argv[3], pid))) {
        int taken = CameraSim::requestForeignEvent(a, static_cast<DWORD>(pid));
        std::printf("%d simulator(s) took the event\n", taken);
        return taken > 0 ? 0 : 1;
    }
    if (command == L"picture" && (argc == 3 || argc == 4) &&
        (argc == 3 || parseLong(argv[3], pid))) {
        const bool written = CameraSim::requestPicture(argv[2], static_cast<DWORD>(pid));
        std::printf(written ? "a simulator wrote its picture\n"
                            : "no simulator wrote its picture\n");
        return written ? 0 : 1;
    }
    if (command == L"fail" && argc == 4 && parseLong(argv[2], a) && parseLong(argv[3], b) &&
        CameraSim::operationName(a)) {
        CameraSim::failNextCall(a, static_cast<HRESULT>(b));
        return 0;
    }
    if (command == L"clear" && argc == 2) {
        CameraSim::clearRequestedFailures();
        return 0;
    }
    return usage();
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return 2;
    int code = 1;
    try {
        code = run(argc, argv);
    } catch (...) {
        std::fputs("camera_sim_request: the request could not be made\n", stderr);
    }
    LocalFree(argv);
    return code;
}
