#include "orvelaAPI.h"

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "ControlCallError.h"
#include "ax_host.h"
#include "com_error.h"
#include "com_types.h"
#include "dispatch.h"
#include "text.h"

using orvelaControl::ICameraControl;

namespace {

// The instance handle of the module this code is linked into.
HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

// The process-wide counter of echo calls; plug-in instances may live on
// different threads.
std::atomic<int> s_echoCounter{0};

const char kEchoText[] = "So far, you clicked this many times: ";

// Kinds of forwarded arguments.
struct Text {};  // a narrow string exactly, examined only when a control exists
struct Int16 {}; // converted by the scripting core before the member runs
struct Int32 {};

template <class Kind>
struct ScriptParam;
template <>
struct ScriptParam<Text> {
    using type = const FW::variant&;
};
template <>
struct ScriptParam<Int16> {
    using type = short;
};
template <>
struct ScriptParam<Int32> {
    using type = long;
};

template <class Kind>
using ScriptParamT = typename ScriptParam<Kind>::type;

void requireText(const FW::variant& value) {
    if (!value.holds<std::string>())
        throw FW::bad_variant_cast(FW::variant_detail::demangle(value.type().name()),
                                   FW::variant_detail::type_name<std::string>());
}

// "020100" is 20100; text that is not a decimal number in range gives -1.
long decimalValue(std::wstring_view text) {
    if (text.empty() || text.size() > 9)
        return -1;
    long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return -1;
        value = value * 10 + (c - L'0');
    }
    return value;
}

template <class Kind>
void check(ScriptParamT<Kind> value) {
    if constexpr (std::is_same_v<Kind, Text>)
        requireText(value);
}

// One argument as the control takes it; a text's BSTR lives until the call returned.
template <class Kind>
class ControlArg {
public:
    explicit ControlArg(long value) : m_value(value) {}
    LONG get() const { return m_value; }

private:
    LONG m_value;
};

template <>
class ControlArg<Text> {
public:
    explicit ControlArg(const FW::variant& value) {
        // Narrow bytes are read as text in the active ANSI code page.
        m_text.Attach(ATL::AnsiToBstr(value.get<std::string>()));
    }
    BSTR get() const { return m_text; }

private:
    ATL::CComBSTR m_text;
};

} // namespace

// The forwarding members: each checks its texts, converts its arguments, calls
// the control's operation through its interface and returns the answer.
struct orvelaAPI::Forwarding {
    [[noreturn]] static void raise(orvelaAPI& api, HRESULT hr) {
        orvelaControl::raiseControlError(hr, api.m_spCtrl, orvelaControl::kControlIid);
    }

    template <auto Operation, class... Kinds>
    static long callNumber(orvelaAPI& api, ScriptParamT<Kinds>... args) {
        api.admitCamera();
        ICameraControl* control = api.m_spCtrl;
        if (!control)
            return -1;
        (check<Kinds>(args), ...);
        std::tuple<ControlArg<Kinds>...> converted{ControlArg<Kinds>(args)...};
        LONG result = 0;
        const HRESULT hr = std::apply(
            [&](const auto&... arg) { return (control->*Operation)(arg.get()..., &result); },
            converted);
        if (FAILED(hr))
            raise(api, hr);
        return result;
    }

    template <auto Operation>
    static bool callText(orvelaAPI& api, ATL::CComBSTR& answer) {
        api.admitCamera();
        ICameraControl* control = api.m_spCtrl;
        if (!control)
            return false;
        const HRESULT hr = (control->*Operation)(&answer);
        if (FAILED(hr))
            raise(api, hr);
        return true;
    }

    template <auto Operation, class... Kinds>
    static FW::CallMethodFunctor number(orvelaAPI* api) {
        return FW::method_detail::makeCaller<long, ScriptParamT<Kinds>...>(
            [api](ScriptParamT<Kinds>... args) -> long {
                return callNumber<Operation, Kinds...>(*api, args...);
            });
    }

    // The version, whether the installed control answers it as a number or
    // as a text; a text counts as its decimal value (-1 when it is none). A
    // control whose type library declares the slot in any other form answers
    // as if there were no control: no call is made, as a call in the wrong
    // form would unbalance the stack.
    static FW::CallMethodFunctor version(orvelaAPI* api) {
        return FW::method_detail::makeCaller<long>([api]() -> long {
            using namespace orvelaControl;
            api->admitCamera();
            if (!api->m_spCtrl)
                return -1;
            const ATL::RetvalSlot slot = ATL::DescribeRetvalSlot(
                kTypeLibId, kTypeLibMajor, kTypeLibMinor, kControlIid, kGetCtrlVersionSlot);
            if (!slot.described || slot.type == VT_I4)
                return callNumber<&ICameraControl::GetCtrlVersion>(*api);
            if (slot.type != VT_BSTR)
                return -1;
            ATL::CComBSTR text;
            const HRESULT hr = ATL::CallVtableSlot(api->m_spCtrl.p, kGetCtrlVersionSlot, &text);
            if (FAILED(hr))
                raise(*api, hr);
            return decimalValue(text.view());
        });
    }

    // A text answer, narrowed to the ANSI code page for std::string or kept
    // wide; no control answers empty text.
    template <auto Operation, class Answer>
    static FW::CallMethodFunctor textAnswer(orvelaAPI* api) {
        return FW::method_detail::makeCaller<Answer>([api]() -> Answer {
            ATL::CComBSTR answer;
            if (!callText<Operation>(*api, answer))
                return Answer();
            if constexpr (std::is_same_v<Answer, std::string>)
                return ATL::WideToAnsi(answer.view());
            else
                return Answer(answer.view());
        });
    }

    struct Entry {
        const char* name;
        FW::CallMethodFunctor (*make)(orvelaAPI*);
        std::string (*arguments)();
        const char* result;
    };

    template <class Kind>
    static const char* kindName() {
        if constexpr (std::is_same_v<Kind, Text>)
            return "text";
        else if constexpr (std::is_same_v<Kind, Int16>)
            return "integer (16-bit)";
        else
            return "integer";
    }

    template <class... Kinds>
    static std::string argumentList() {
        std::string list;
        ((list += (list.empty() ? "" : ", "), list += kindName<Kinds>()), ...);
        return list;
    }

    template <auto Operation, class... Kinds>
    static constexpr Entry numberMember(const char* name) {
        return {name, &number<Operation, Kinds...>, &argumentList<Kinds...>, "number"};
    }
    template <auto Operation>
    static constexpr Entry narrowTextMember(const char* name) {
        return {name, &textAnswer<Operation, std::string>, &argumentList<>, "text"};
    }
    template <auto Operation>
    static constexpr Entry wideTextMember(const char* name) {
        return {name, &textAnswer<Operation, std::wstring>, &argumentList<>, "text"};
    }

    // The one table of the camera members: what registers them also describes them.
    static const std::vector<Entry>& table() {
        using C = ICameraControl;
        static const std::vector<Entry> entries = {
            numberMember<&C::InitCtrl, Text, Text, Int16>("InitCtrl"),
            Entry{"GetCtrlVersion", &version, &argumentList<>, "number"},
            numberMember<&C::LoadLang, Text, Int32>("LoadLang"),
            numberMember<&C::SetBufferTick, Int32, Int32>("SetBufferTick"),
            numberMember<&C::SetBufferTickV2, Int32, Int32>("SetBufferTickV2"),
            numberMember<&C::SetDeviceType, Int32, Text>("SetDeviceType"),
            numberMember<&C::SetUsernamePasswordAndLanguage, Text, Text, Text>(
                "SetUsernamePasswordAndLanguage"),
            numberMember<&C::SetPlayerNum, Text>("SetPlayerNum"),
            numberMember<&C::ShowIPConfig>("ShowIPConfig"),
            numberMember<&C::SetVideoPlayerSize, Text, Text>("SetVideoPlayerSize"),
            numberMember<&C::DestroyOrvela>("DestroyOrvela"),
            numberMember<&C::PlayRealVideo, Text, Text, Text>("PlayRealVideo"),
            numberMember<&C::StopPlayReal>("StopPlayReal"),
            numberMember<&C::OpenMotionDetection, Text>("OpenMotionDetection"),
            numberMember<&C::ChangeMDNum, Text>("ChangeMDNum"),
            narrowTextMember<&C::GetMDBlockStr>("GetMDBlockStr"),
            numberMember<&C::ExtSnapPicture, Text>("ExtSnapPicture"),
            numberMember<&C::ExtRealRecord, Text>("ExtRealRecord"),
            numberMember<&C::ExtTalkback>("ExtTalkback"),
            numberMember<&C::ExtGetDiskList>("ExtGetDiskList"),
            numberMember<&C::ExtVideoFullFill, Text>("ExtVideoFullFill"),
            numberMember<&C::ExtVideoFullScreen>("ExtVideoFullScreen"),
            numberMember<&C::ExtGetSnapRecordTalk_Status>("ExtGetSnapRecordTalk_Status"),
            numberMember<&C::ExtVideoExitFullScreen>("ExtVideoExitFullScreen"),
            numberMember<&C::OnPlayBackFile, Text, Text, Text>("OnPlayBackFile"),
            numberMember<&C::OnStopPlayBack>("OnStopPlayBack"),
            numberMember<&C::OnPlayBackFast>("OnPlayBackFast"),
            numberMember<&C::OnPlayBackSlow>("OnPlayBackSlow"),
            numberMember<&C::ExtGetPlayBackStatus>("ExtGetPlayBackStatus"),
            numberMember<&C::ExtSoundSwitch>("ExtSoundSwitch"),
            numberMember<&C::ExtVideoZoom, Int32>("ExtVideoZoom"),
            numberMember<&C::ExtOpenFolder, Text>("ExtOpenFolder"),
            numberMember<&C::ExtSetPlayMode, Int32>("ExtSetPlayMode"),
            numberMember<&C::ExtGetCtrlVersion>("ExtGetCtrlVersion"),
            numberMember<&C::ExtSetVideoMaskConfig, Int32, Int32, Int32, Int32, Int32, Text>(
                "ExtSetVideoMaskConfig"),
            narrowTextMember<&C::ExtGetVideoMaskConfig>("ExtGetVideoMaskConfig"),
            narrowTextMember<&C::ExtGetPublicDocumentsrPath>("ExtGetPublicDocumentsrPath"),
            wideTextMember<&C::ExtGetSelectPath>("ExtGetSelectPath"),
            numberMember<&C::ExtShowPathSelectNew>("ExtShowPathSelectNew"),
            numberMember<&C::OnPlayBackByTime, Int32, Text, Text>("OnPlayBackByTime"),
            numberMember<&C::ExtGetPlayBackTimestamp>("ExtGetPlayBackTimestamp"),
            numberMember<&C::ExtSetVideoROIConfig, Int32, Text>("ExtSetVideoROIConfig"),
            narrowTextMember<&C::ExtGetVideoROIConfig>("ExtGetVideoROIConfig"),
            numberMember<&C::ExtSetVideoHumanConfig, Int32, Text>("ExtSetVideoHumanConfig"),
            narrowTextMember<&C::ExtGetVideoHumanConfig>("ExtGetVideoHumanConfig"),
            numberMember<&C::SetVideoPlayerSizeAndZoomValue, Text, Text, Int32>(
                "SetVideoPlayerSizeAndZoomValue"),
        };
        return entries;
    }

    static void registerAll(orvelaAPI& api) {
        for (const Entry& entry : table())
            api.registerMethod(entry.name, entry.make(&api));
    }
};

std::vector<orvelaAPI::CameraMember> orvelaAPI::cameraMembers() {
    std::vector<CameraMember> members;
    for (const Forwarding::Entry& entry : Forwarding::table())
        members.push_back({entry.name, entry.arguments(), entry.result});
    return members;
}

orvelaAPI::orvelaAPI(const std::shared_ptr<orvela>& plugin, const FW::BrowserHostPtr& host)
    : FW::JSAPIAuto("<JSAPI-Auto Javascript Object>"), m_plugin(plugin), m_host(host) {
    ATL::AtlAxWinInit();

    registerMethod("echo", FW::make_method(this, &orvelaAPI::echo));
    registerMethod("testEvent", FW::make_method(this, &orvelaAPI::testEvent));
    registerProperty("testString", FW::make_property(this, &orvelaAPI::get_testString,
                                                     &orvelaAPI::set_testString));
    registerProperty("version",
                     FW::make_property(this, &orvelaAPI::get_version, &orvelaAPI::set_version));
    registerProperty("allowed", FW::make_property(this, &orvelaAPI::get_allowed));
    Forwarding::registerAll(*this);
}

orvelaAPI::~orvelaAPI() {
    // Without a detach first the control would keep calling a sink that no
    // longer exists.
    if (m_eventHandler.m_dwEventCookie != CEventHandler::kNotConnected && m_spCtrl)
        m_eventHandler.DispEventUnadvise(m_spCtrl);
    m_eventHandler.m_dwEventCookie = CEventHandler::kNotConnected;
    m_eventHandler.m_pOwner = nullptr;
}

FW::variant orvelaAPI::echo(const FW::variant& value) {
    const int count = s_echoCounter.fetch_add(1);
    FireEvent("onecho", FW::VariantList{FW::variant(std::string(kEchoText)), FW::variant(count)});
    return value;
}

void orvelaAPI::testEvent() {
    FireEvent("ontest", FW::VariantList());
}

void orvelaAPI::fire_OnCtrlEvent(BSTR text, long type, long subtype) {
    // Built in place: a braced list would copy every value once more.
    FW::VariantList args;
    args.reserve(3);
    args.emplace_back(text ? std::wstring(text, SysStringLen(text)) : std::wstring());
    args.emplace_back(type);
    args.emplace_back(subtype);
    FireEvent("onOnCtrlEvent", args);
}

void orvelaAPI::admitCamera() {
    m_site.require(m_host);
    if (!m_ctrlWithheld || !m_hParentWnd)
        return;
    m_ctrlWithheld = false;
    // As when the window came: a control that cannot be created shows only
    // in the members' answers.
    try {
        CreateHostedCtrl(m_hParentWnd);
    } catch (const std::exception&) {
    }
}

int orvelaAPI::CreateHostedCtrl(HWND parent) {
    m_hParentWnd = parent;
    // A refused page never gets the control; it is made when the page may.
    m_ctrlWithheld = !m_site.allows(m_host);
    if (m_ctrlWithheld)
        return -1;
    RECT client = {};
    GetClientRect(parent, &client);
    m_wndHost =
        CreateWindowExW(0, ATL::kAxWin100.host, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                        client.left, client.top, client.right - client.left,
                        client.bottom - client.top, parent, nullptr, thisModule(), nullptr);
    if (!m_wndHost)
        return -1;

    // The host object creates the control when the window answers
    // "WM_ATLGETHOST"; otherwise AtlAxCreateControlEx does.
    ATL::CComPtr<IUnknown> created;
    if (FAILED(ATL::CreateControlInHostWindow(m_wndHost, orvelaControl::kProgId, &created)))
        return -1;

    if (static_cast<IUnknown*>(m_spCtrl.p) != created.p) {
        ATL::CComPtr<ICameraControl> control;
        if (created)
            created->QueryInterface(orvelaControl::kControlIid, reinterpret_cast<void**>(&control));
        m_spCtrl.Attach(control.Detach());
    }

    m_eventHandler.m_pOwner = this;
    if (m_eventHandler.m_dwEventCookie != CEventHandler::kNotConnected)
        ATL::AtlThrow(E_FAIL);
    // A failed connection only means that no events arrive; the cookie then
    // stays "not connected".
    m_eventHandler.DispEventAdvise(m_spCtrl);
    return 0;
}

void orvelaAPI::DetachHostedCtrl() {
    if (m_eventHandler.m_dwEventCookie != CEventHandler::kNotConnected && m_spCtrl)
        m_eventHandler.DispEventUnadvise(m_spCtrl);
    m_eventHandler.m_dwEventCookie = CEventHandler::kNotConnected;
    m_hParentWnd = nullptr;
    if (!IsWindow(m_wndHost) || DestroyWindow(m_wndHost))
        m_wndHost = nullptr;
}
