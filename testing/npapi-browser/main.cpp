// npapi-browser [--plugin PATH] [--user-agent TEXT] [--table-version N] [--size WxH]
//               [--screenshot FILE.png] [--screenshot-delay MS] [--timeout S]
//               [--linger S] [--no-journal] [--instantiate async|sync] [--page-url URL]
//               PAGE.html
//
// --instantiate sync makes each element's instance while the element is
// inserted, the kinder path of older test runs; Gecko's (async) is the default.
// --no-journal leaves the camera simulator's journal alone (benchmarks).
// --linger keeps the window on screen for S seconds after the page closed it,
// so that a person can watch a demo.
//
// Exit code: 0 after window.close() with nothing wrong, 1 when a script error
// escaped to the page's top level, 3 on timeout, 4 when the plug-in broke a
// rule of the browser (faults listed on stderr), 2 for a bad command line.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Browser.h"
#include "Text.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: npapi-browser [--plugin PATH] [--user-agent TEXT] "
                         "[--table-version N] [--size WxH] [--screenshot FILE.png] "
                         "[--screenshot-delay MS] [--timeout S] [--linger S] [--no-journal] "
                         "[--instantiate async|sync] [--page-url URL] PAGE.html\n");
    return 2;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    npbrowser::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--plugin" && hasValue) {
            options.plugin = argv[++i];
        } else if (arg == L"--user-agent" && hasValue) {
            options.userAgent = npbrowser::narrow(argv[++i]);
        } else if (arg == L"--table-version" && hasValue) {
            options.tableVersion = static_cast<uint16_t>(std::wcstoul(argv[++i], nullptr, 10));
        } else if (arg == L"--size" && hasValue) {
            if (std::swscanf(argv[++i], L"%dx%d", &options.width, &options.height) != 2 ||
                options.width <= 0 || options.height <= 0)
                return usage();
        } else if (arg == L"--screenshot" && hasValue) {
            options.screenshot = argv[++i];
        } else if (arg == L"--screenshot-delay" && hasValue) {
            options.screenshotDelay = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg == L"--instantiate" && hasValue) {
            const std::wstring mode = argv[++i];
            if (mode != L"async" && mode != L"sync")
                return usage();
            options.asyncInstances = mode == L"async";
        } else if (arg == L"--no-journal") {
            options.journal = false;
        } else if (arg == L"--timeout" && hasValue) {
            options.timeoutSeconds = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg == L"--page-url" && hasValue) {
            options.pageUrl = npbrowser::narrow(argv[++i]);
        } else if (arg == L"--linger" && hasValue) {
            options.lingerSeconds = std::wcstoul(argv[++i], nullptr, 10);
        } else if (arg.rfind(L"--", 0) == 0 || !options.page.empty()) {
            return usage();
        } else {
            options.page = arg;
        }
    }
    LocalFree(argv);
    if (options.page.empty())
        return usage();
    npbrowser::Browser browser(options);
    const int code = browser.run();
    std::fflush(stdout);
    std::fflush(stderr);
    // Windows of a page that is gone need no orderly destruction.
    ExitProcess(static_cast<UINT>(code));
}
