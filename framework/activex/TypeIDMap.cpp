#include "TypeIDMap.h"

#include <mshtmdid.h>
#include <oleauto.h>
#include <olectl.h>

#include <stdexcept>

#include "utf8_tools.h"

namespace FW {

namespace {

struct FixedId {
    const wchar_t* name;
    long id;
};

// The event-property identifiers are written as unsigned numbers above 2^31.
struct EventId {
    const wchar_t* name;
    unsigned long id;
};

// Standard and stock dispatch identifiers, named in lower case.
const FixedId kStandardIds[] = {
    {L"value", 0},
    {L"toString", -1},
    {L"propertyput", -3},
    {L"newenum", -4},
    {L"evaluate", -5},
    {L"constructor", -6},
    {L"destructor", -7},
    {L"collect", -8},
    {L"autosize", -500},
    {L"backcolor", -501},
    {L"backstyle", -502},
    {L"bordercolor", -503},
    {L"borderstyle", -504},
    {L"borderwidth", -505},
    {L"drawmode", -507},
    {L"drawstyle", -508},
    {L"drawwidth", -509},
    {L"fillcolor", -510},
    {L"fillstyle", -511},
    {L"font", -512},
    {L"forecolor", -513},
    {L"enabled", -514},
    {L"hwnd", -515},
    {L"tabstop", -516},
    {L"text", -517},
    {L"caption", -518},
    {L"bordervisible", -519},
    {L"appearance", -520},
    {L"mousepointer", -521},
    {L"mouseicon", -522},
    {L"picture", -523},
    {L"valid", -524},
    {L"readystate", -525},
    {L"listindex", -526},
    {L"selected", -527},
    {L"list", -528},
    {L"column", -529},
    {L"listcount", -531},
    {L"multiselect", -532},
    {L"maxlength", -533},
    {L"passwordchar", -534},
    {L"scrollbars", -535},
    {L"wordwrap", -536},
    {L"multiline", -537},
    {L"numberofrows", -538},
    {L"numberofcolumns", -539},
    {L"displaystyle", -540},
    {L"groupname", -541},
    {L"imemode", -542},
    {L"accelerator", -543},
    {L"enterkeybehavior", -544},
    {L"tabkeybehavior", -545},
    {L"seltext", -546},
    {L"selstart", -547},
    {L"sellength", -548},
    {L"refresh", -550},
    {L"doclick", -551},
    {L"aboutbox", -552},
    {L"additem", -553},
    {L"clear", -554},
    {L"removeitem", -555},
    {L"click", -600},
    {L"dblclick", -601},
    {L"keydown", -602},
    {L"keypress", -603},
    {L"keyup", -604},
    {L"mousedown", -605},
    {L"mousemove", -606},
    {L"mouseup", -607},
    {L"errorevent", -608},
    {L"readystatechange", -609},
    {L"click_value", -610},
    {L"righttoleft", -611},
    {L"toptobottom", -612},
    {L"this", -613},
    {L"ambient_backcolor", -701},
    {L"ambient_displayname", -702},
    {L"ambient_font", -703},
    {L"ambient_forecolor", -704},
    {L"ambient_localeid", -705},
    {L"ambient_messagereflect", -706},
    {L"ambient_scaleunits", -707},
    {L"ambient_textalign", -708},
    {L"ambient_usermode", -709},
    {L"ambient_uidead", -710},
    {L"ambient_showgrabhandles", -711},
    {L"ambient_showhatching", -712},
    {L"ambient_displayasdefault", -713},
    {L"ambient_supportsmnemonics", -714},
    {L"ambient_autoclip", -715},
    {L"ambient_appearance", -716},
    {L"ambient_codepage", -725},
    {L"ambient_palette", -726},
    {L"ambient_charsetidforvalue", -727},
    {L"ambient_transferpriority", -728},
    {L"ambient_righttoleft", -732},
    {L"ambient_toptobottom", -733},
    {L"name", -800},
    {L"delete", -801},
    {L"object", -802},
    {L"parent", -803},
    {L"windowobject", -5500},
    {L"locationobject", -5506},
    {L"historyobject", -5507},
    {L"navigatorobject", -5508},
    {L"securityctx", -5511},
    {L"ambient_dlcontrol", -5512},
    {L"ambient_useragent", -5513},
    {L"securitydomain", -5514},
};

// HTML event-handler properties with the browser's published identifiers.
const EventId kEventPropertyIds[] = {
    {L"onabort", DISPID_EVPROP_ONABORT},
    {L"onactivate", DISPID_EVPROP_ONACTIVATE},
    {L"onafterprint", DISPID_EVPROP_ONAFTERPRINT},
    {L"onafterupdate", DISPID_EVPROP_ONAFTERUPDATE},
    {L"onalert", DISPID_EVPROP_ONALERT},
    {L"onattachevent", DISPID_EVPROP_ONATTACHEVENT},
    {L"onbeforeactivate", DISPID_EVPROP_ONBEFOREACTIVATE},
    {L"onbeforecopy", DISPID_EVPROP_ONBEFORECOPY},
    {L"onbeforecut", DISPID_EVPROP_ONBEFORECUT},
    {L"onbeforedeactivate", DISPID_EVPROP_ONBEFOREDEACTIVATE},
    {L"onbeforedragover", DISPID_EVPROP_ONBEFOREDRAGOVER},
    {L"onbeforedroporpaste", DISPID_EVPROP_ONBEFOREDROPORPASTE},
    {L"onbeforeeditfocus", DISPID_EVPROP_ONBEFOREEDITFOCUS},
    {L"onbeforepaste", DISPID_EVPROP_ONBEFOREPASTE},
    {L"onbeforeprint", DISPID_EVPROP_ONBEFOREPRINT},
    {L"onbeforeunload", DISPID_EVPROP_ONBEFOREUNLOAD},
    {L"onbeforeupdate", DISPID_EVPROP_ONBEFOREUPDATE},
    {L"onblur", DISPID_EVPROP_ONBLUR},
    {L"onbounce", DISPID_EVPROP_ONBOUNCE},
    {L"oncellchange", DISPID_EVPROP_ONCELLCHANGE},
    {L"onchange", DISPID_EVPROP_ONCHANGE},
    {L"onchangeblur", DISPID_EVPROP_ONCHANGEBLUR},
    {L"onchangefocus", DISPID_EVPROP_ONCHANGEFOCUS},
    {L"onclick", DISPID_EVPROP_ONCLICK},
    {L"oncontentready", DISPID_EVPROP_ONCONTENTREADY},
    {L"oncontextmenu", DISPID_EVPROP_ONCONTEXTMENU},
    {L"oncontrolselect", DISPID_EVPROP_ONCONTROLSELECT},
    {L"oncopy", DISPID_EVPROP_ONCOPY},
    {L"oncut", DISPID_EVPROP_ONCUT},
    {L"ondataavailable", DISPID_EVPROP_ONDATAAVAILABLE},
    {L"ondatasetchanged", DISPID_EVPROP_ONDATASETCHANGED},
    {L"ondatasetcomplete", DISPID_EVPROP_ONDATASETCOMPLETE},
    {L"ondblclick", DISPID_EVPROP_ONDBLCLICK},
    {L"ondeactivate", DISPID_EVPROP_ONDEACTIVATE},
    {L"ondommutation", DISPID_EVPROP_ONDOMMUTATION},
    {L"ondrag", DISPID_EVPROP_ONDRAG},
    {L"ondragend", DISPID_EVPROP_ONDRAGEND},
    {L"ondragenter", DISPID_EVPROP_ONDRAGENTER},
    {L"ondragleave", DISPID_EVPROP_ONDRAGLEAVE},
    {L"ondragover", DISPID_EVPROP_ONDRAGOVER},
    {L"ondragstart", DISPID_EVPROP_ONDRAGSTART},
    {L"ondrop", DISPID_EVPROP_ONDROP},
    {L"onerror", DISPID_EVPROP_ONERROR},
    {L"onerrorupdate", DISPID_EVPROP_ONERRORUPDATE},
    {L"onfilter", DISPID_EVPROP_ONFILTER},
    {L"onfinish", DISPID_EVPROP_ONFINISH},
    {L"onfocus", DISPID_EVPROP_ONFOCUS},
    {L"onfocusin", DISPID_EVPROP_ONFOCUSIN},
    {L"onfocusout", DISPID_EVPROP_ONFOCUSOUT},
    {L"onhashchange", DISPID_EVPROP_ONHASHCHANGE},
    {L"onhelp", DISPID_EVPROP_ONHELP},
    {L"onhide", DISPID_EVPROP_ONHIDE},
    {L"onkeydown", DISPID_EVPROP_ONKEYDOWN},
    {L"onkeypress", DISPID_EVPROP_ONKEYPRESS},
    {L"onkeyup", DISPID_EVPROP_ONKEYUP},
    {L"onlayout", DISPID_EVPROP_ONLAYOUT},
    {L"onlayoutcomplete", DISPID_EVPROP_ONLAYOUTCOMPLETE},
    {L"onlinkedoverflow", DISPID_EVPROP_ONLINKEDOVERFLOW},
    {L"onload", DISPID_EVPROP_ONLOAD},
    {L"onlosecapture", DISPID_EVPROP_ONLOSECAPTURE},
    {L"onmessage", DISPID_EVPROP_ONMESSAGE},
    {L"onmousedown", DISPID_EVPROP_ONMOUSEDOWN},
    {L"onmouseenter", DISPID_EVPROP_ONMOUSEENTER},
    {L"onmousehover", DISPID_EVPROP_ONMOUSEHOVER},
    {L"onmouseleave", DISPID_EVPROP_ONMOUSELEAVE},
    {L"onmousemove", DISPID_EVPROP_ONMOUSEMOVE},
    {L"onmouseout", DISPID_EVPROP_ONMOUSEOUT},
    {L"onmouseover", DISPID_EVPROP_ONMOUSEOVER},
    {L"onmouseup", DISPID_EVPROP_ONMOUSEUP},
    {L"onmousewheel", DISPID_EVPROP_ONMOUSEWHEEL},
    {L"onmove", DISPID_EVPROP_ONMOVE},
    {L"onmoveend", DISPID_EVPROP_ONMOVEEND},
    {L"onmovestart", DISPID_EVPROP_ONMOVESTART},
    {L"onmultilayoutcleanup", DISPID_EVPROP_ONMULTILAYOUTCLEANUP},
    {L"onobjectcontentscrolled", DISPID_EVPROP_ONOBJECTCONTENTSCROLLED},
    {L"onoffline", DISPID_EVPROP_ONOFFLINE},
    {L"ononline", DISPID_EVPROP_ONONLINE},
    {L"onpage", DISPID_EVPROP_ONPAGE},
    {L"onpaste", DISPID_EVPROP_ONPASTE},
    {L"onpersistload", DISPID_EVPROP_ONPERSISTLOAD},
    {L"onpersistsave", DISPID_EVPROP_ONPERSISTSAVE},
    {L"onpopupmenuend", DISPID_EVPROP_ONPOPUPMENUEND},
    {L"onpopupmenustart", DISPID_EVPROP_ONPOPUPMENUSTART},
    {L"onpropertychange", DISPID_EVPROP_ONPROPERTYCHANGE},
    {L"onreadystatechange", DISPID_EVPROP_ONREADYSTATECHANGE},
    {L"onreset", DISPID_EVPROP_ONRESET},
    {L"onresize", DISPID_EVPROP_ONRESIZE},
    {L"onresizeend", DISPID_EVPROP_ONRESIZEEND},
    {L"onresizestart", DISPID_EVPROP_ONRESIZESTART},
    {L"onrowenter", DISPID_EVPROP_ONROWENTER},
    {L"onrowexit", DISPID_EVPROP_ONROWEXIT},
    {L"onrowsdelete", DISPID_EVPROP_ONROWSDELETE},
    {L"onrowsinserted", DISPID_EVPROP_ONROWSINSERTED},
    {L"onscroll", DISPID_EVPROP_ONSCROLL},
    {L"onselect", DISPID_EVPROP_ONSELECT},
    {L"onselectadd", DISPID_EVPROP_ONSELECTADD},
    {L"onselectionchange", DISPID_EVPROP_ONSELECTIONCHANGE},
    {L"onselectremove", DISPID_EVPROP_ONSELECTREMOVE},
    {L"onselectstart", DISPID_EVPROP_ONSELECTSTART},
    {L"onselectwithin", DISPID_EVPROP_ONSELECTWITHIN},
    {L"onshow", DISPID_EVPROP_ONSHOW},
    {L"onstart", DISPID_EVPROP_ONSTART},
    {L"onstop", DISPID_EVPROP_ONSTOP},
    {L"onstorage", DISPID_EVPROP_ONSTORAGE},
    {L"onstoragecommit", DISPID_EVPROP_ONSTORAGECOMMIT},
    {L"onsubmit", DISPID_EVPROP_ONSUBMIT},
    {L"onsystemscrollingend", DISPID_EVPROP_ONSYSTEMSCROLLINGEND},
    {L"onsystemscrollingstart", DISPID_EVPROP_ONSYSTEMSCROLLINGSTART},
    {L"onunload", DISPID_EVPROP_ONUNLOAD},
    {L"onvaluechange", DISPID_EVPROP_ONVALUECHANGE},
    {L"ontimeout", DISPID_EVPROP_TIMEOUT},
    {L"onwheel", DISPID_EVPROP_WHEEL},
    {L"onsvgload", DISPID_EVPROP_SVGLOAD},
    {L"onsvgunload", DISPID_EVPROP_SVGUNLOAD},
    {L"onsvgabort", DISPID_EVPROP_SVGABORT},
    {L"onsvgerror", DISPID_EVPROP_SVGERROR},
    {L"onsvgresize", DISPID_EVPROP_SVGRESIZE},
    {L"onsvgscroll", DISPID_EVPROP_SVGSCROLL},
    {L"onsvgzoom", DISPID_EVPROP_SVGZOOM},
    {L"ononmsthumbnailclick", DISPID_EVPROP_ONMSTHUMBNAILCLICK},
    {L"oncompositionstart", DISPID_EVPROP_COMPOSITIONSTART},
    {L"oncompositionupdate", DISPID_EVPROP_COMPOSITIONUPDATE},
    {L"oncompositionend", DISPID_EVPROP_COMPOSITIONEND},
    {L"ondomattrmodified", DISPID_EVPROP_DOMATTRMODIFIED},
    {L"ondomcontentloaded", DISPID_EVPROP_DOMCONTENTLOADED},
    {L"oninput", DISPID_EVPROP_INPUT},
    {L"ondomchardatamodified", DISPID_EVPROP_DOMCHARDATAMODIFIED},
    {L"ontextinput", DISPID_EVPROP_TEXTINPUT},
    {L"ononmssitemodejumplistitemremoved", DISPID_EVPROP_ONMSSITEMODEJUMPLISTITEMREMOVED},
    {L"ondomnodeinserted", DISPID_EVPROP_DOMNODEINSERTED},
    {L"ondomnoderemoved", DISPID_EVPROP_DOMNODEREMOVED},
    {L"ondomsubtreemodified", DISPID_EVPROP_DOMSUBTREEMODIFIED},
    {L"oncanplay", DISPID_EVPROP_CANPLAY},
    {L"oncanplaythrough", DISPID_EVPROP_CANPLAYTHROUGH},
    {L"ondurationchange", DISPID_EVPROP_DURATIONCHANGE},
    {L"onemptied", DISPID_EVPROP_EMPTIED},
    {L"onended", DISPID_EVPROP_ENDED},
    {L"onloadeddata", DISPID_EVPROP_LOADEDDATA},
    {L"onloadedmetadata", DISPID_EVPROP_LOADEDMETADATA},
    {L"onloadstart", DISPID_EVPROP_LOADSTART},
    {L"onpause", DISPID_EVPROP_PAUSE},
    {L"onplay", DISPID_EVPROP_PLAY},
    {L"onplaying", DISPID_EVPROP_PLAYING},
    {L"onprogress", DISPID_EVPROP_PROGRESS},
    {L"onratechange", DISPID_EVPROP_RATECHANGE},
    {L"onseeked", DISPID_EVPROP_SEEKED},
    {L"onseeking", DISPID_EVPROP_SEEKING},
    {L"onstalled", DISPID_EVPROP_STALLED},
    {L"onsuspend", DISPID_EVPROP_SUSPEND},
    {L"ontimeupdate", DISPID_EVPROP_TIMEUPDATE},
    {L"onvolumechange", DISPID_EVPROP_VOLUMECHANGE},
    {L"onwaiting", DISPID_EVPROP_WAITING},
};

} // namespace

TypeIDMap& TypeIDMap::instance() {
    static TypeIDMap map;
    return map;
}

TypeIDMap::TypeIDMap() {
    for (const FixedId& entry : kStandardIds)
        define(entry.name, entry.id);
    for (const EventId& entry : kEventPropertyIds)
        define(entry.name, static_cast<long>(entry.id));
}

void TypeIDMap::define(const std::wstring& name, long id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ids.count(name) || m_names.count(id))
        throw std::runtime_error("ID or value already defined");
    insert(name, id);
}

void TypeIDMap::insert(const std::wstring& name, long id) {
    // Calls look members up by their UTF-8 name: it is made once, here.
    std::string utf8;
    try {
        utf8 = wstring_to_utf8(name);
    } catch (const std::exception&) {
    }
    auto inserted = m_ids.emplace(name, id).first;
    m_names.emplace(id, Names{id, &inserted->first, std::move(utf8)});
}

long TypeIDMap::idForName(const std::wstring& name) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_ids.find(name);
    if (found != m_ids.end())
        return found->second;
    // Identifiers only grow; one already taken by a fixed pair is skipped.
    while (m_names.count(m_nextId))
        ++m_nextId;
    const long id = m_nextId++;
    insert(name, id);
    return id;
}

const std::wstring* TypeIDMap::nameForId(long id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_names.find(id);
    return found == m_names.end() ? nullptr : found->second.wide;
}

const TypeIDMap::Names* TypeIDMap::namesForId(long id) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_names.find(id);
    return found == m_names.end() ? nullptr : &found->second;
}

} // namespace FW
