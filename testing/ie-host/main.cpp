// ie-host.exe: an Internet Explorer-like host for test pages. Page script
// runs in the system's JScript engine; <object> elements are controls sited
// as Internet Explorer sites them.
//
//   ie-host.exe [--activation=ie|setclientsite] [--script-for=classinfo2|typeinfo]
//               [--element=forward|object] [--windowless|--windowed-site] [--size WxH]
//               [--screenshot FILE.png] [--screenshot-delay MS] [--timeout S] [--journal]
//               [--linger S] [--release-removed] [--page-url URL]
//               [--cpu-class x86|x64] PAGE.html
//
// --activation: Internet Explorer's path (the default: IObjectSafety, then
// IQuickActivate when the control offers it), or SetClientSite and Advise
// calls as for a control without IQuickActivate.
// --script-for: a <script for> block finds the control's default source
// through IProvideClassInfo2 (the default) or the type information of
// IProvideClassInfo.
// --element: names an <object> element lacks go to its control (the
// default), or only element.object reaches the control.
// --windowless: the site offers IOleInPlaceSiteWindowless, as Internet
// Explorer's do (the default); --windowed-site offers only windowed
// activation, the host's older path.
// --cpu-class: the processor class navigator reports (the host's own by
// default), so that the 64-bit host can play 32-bit Internet Explorer.
// --journal gives the run a fresh camera simulator journal (testbed.journal()).
// --linger keeps the window on screen for S seconds after the page closed it,
// so that a person can watch a demo.
// --release-removed lets go of a removed element's control at once, as Internet
// Explorer does, instead of keeping it for the leak check at the end (soak).
// --page-url: the address the page claims to come from (its document URL and
// the web browser's LocationURL); nothing is fetched from it.

#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "Host.h"

int wmain(int argc, wchar_t** argv) {
    IeHost::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--activation=ie") {
            options.activation = IeHost::Activation::internetExplorer;
        } else if (arg == L"--activation=setclientsite") {
            options.activation = IeHost::Activation::setClientSite;
        } else if (arg == L"--script-for=classinfo2") {
            options.scriptFor = IeHost::ScriptFor::classInfo2;
        } else if (arg == L"--script-for=typeinfo") {
            options.scriptFor = IeHost::ScriptFor::typeInfo;
        } else if (arg == L"--element=forward") {
            options.elementNames = IeHost::ElementNames::forward;
        } else if (arg == L"--element=object") {
            options.elementNames = IeHost::ElementNames::objectOnly;
        } else if (arg == L"--windowless") {
            options.windowless = true;
        } else if (arg == L"--windowed-site") {
            options.windowless = false;
        } else if (arg == L"--size" && hasValue) {
            swscanf(argv[++i], L"%dx%d", &options.width, &options.height);
        } else if (arg == L"--screenshot" && hasValue) {
            options.screenshot = argv[++i];
        } else if (arg == L"--screenshot-delay" && hasValue) {
            options.screenshotDelayMs = _wtoi(argv[++i]);
        } else if (arg == L"--timeout" && hasValue) {
            options.timeoutSeconds = _wtoi(argv[++i]);
        } else if (arg == L"--journal") {
            options.journal = true;
        } else if (arg == L"--release-removed") {
            options.releaseRemoved = true;
        } else if (arg == L"--page-url" && hasValue) {
            options.pageUrl = argv[++i];
        } else if (arg == L"--cpu-class" && hasValue &&
                   (argv[i + 1] == std::wstring(L"x86") || argv[i + 1] == std::wstring(L"x64"))) {
            options.cpuClass = argv[++i];
        } else if (arg == L"--linger" && hasValue) {
            options.lingerSeconds = _wtoi(argv[++i]);
        } else if (!arg.empty() && arg[0] != L'-') {
            options.page = arg;
        } else {
            std::fprintf(stderr, "ie-host: unknown option %ls\n", arg.c_str());
            return 2;
        }
    }
    if (options.page.empty()) {
        std::fprintf(
            stderr,
            "usage: ie-host.exe [--activation=ie|setclientsite] [--script-for=classinfo2|typeinfo] "
            "[--element=forward|object] [--windowless|--windowed-site] [--size WxH] [--screenshot "
            "FILE.png] "
            "[--screenshot-delay MS] [--timeout S] [--journal] [--linger S] [--release-removed] "
            "[--cpu-class x86|x64] PAGE.html\n");
        return 2;
    }
    if (FAILED(OleInitialize(nullptr))) {
        std::fprintf(stderr, "ie-host: OleInitialize failed\n");
        return 2;
    }
    int code;
    {
        IeHost::Host host(options);
        code = host.run();
    }
    OleUninitialize();
    return code;
}
