// Replays the script-value fuzzer's corpus through the Windows-only value
// conversions of the ActiveX adapter, under the system's own OLE Automation.
// Each input is read twice: as the fuzzer reads it (a script value, which
// goes to a VARIANT and back), and as a run of VARIANTs of any scalar type,
// by value and by reference, which become script values. Every value that
// comes back converts to every target type by the same rules.
//
//   variant_replay_win <corpus directory>...
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <utf8cpp/utf8.h>

#include "ActiveXBrowserHost.h"
#include "ByteReader.h"
#include "ConvertEveryTarget.h"
#include "VariantFromBytes.h"

using namespace FW;

namespace {

const VARTYPE kScalarTypes[] = {VT_EMPTY, VT_NULL, VT_I2,       VT_I4,      VT_R4,   VT_R8,
                                VT_CY,    VT_DATE, VT_BSTR,     VT_ERROR,   VT_BOOL, VT_DECIMAL,
                                VT_I1,    VT_UI1,  VT_UI2,      VT_UI4,     VT_I8,   VT_UI8,
                                VT_INT,   VT_UINT, VT_DISPATCH, VT_UNKNOWN, VT_CLSID};

// Back from the browser: a value, or a refusal the page can be told about.
template <class F>
void request(F&& f) {
    try {
        f();
    } catch (const script_error&) {
    } catch (const std::bad_cast&) {
    } catch (const utf8::exception&) {
    }
}

void scriptValueRoundTrip(fuzzing::ByteReader& in, fuzzing::VariantWorld& world,
                          ActiveX::ActiveXBrowserHost& host) {
    const variant value = fuzzing::decodeVariant(in, world);
    request([&] {
        VARIANT com;
        VariantInit(&com);
        host.getComVariant(&com, value);
        const variant back = host.getVariant(&com);
        VariantClear(&com);
        // Values that have a VARIANT of their own come back unchanged.
        if (value.holds<bool>())
            fuzzing::check(back.get<bool>() == value.get<bool>());
        if (value.holds<long>())
            fuzzing::check(back.convert<long>() == value.get<long>());
        if (value.holds<std::string>())
            fuzzing::check(back.get<std::string>() == value.get<std::string>());
        fuzzing::convertToEveryTarget(back);
    });
}

void comValueToScript(fuzzing::ByteReader& in, ActiveX::ActiveXBrowserHost& host) {
    VARIANT value;
    VariantInit(&value);
    const VARTYPE type = kScalarTypes[in.byte() % std::size(kScalarTypes)];
    const bool byReference = in.flag();
    // The payload: eight bytes of the union, or the whole of a DECIMAL.
    DECIMAL decimal = in.number<DECIMAL>();
    decimal.wReserved = 0;
    GUID guid = in.number<GUID>();
    value.vt = type;
    const ULONGLONG raw = in.number<ULONGLONG>();
    std::memcpy(&value.llVal, &raw, sizeof(raw));
    if (type == VT_DECIMAL) {
        value.decVal = decimal;
        value.vt = VT_DECIMAL;
    } else if (type == VT_BSTR) {
        const std::u16string units = in.units();
        value.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()),
                                          static_cast<UINT>(units.size()));
    } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
        value.punkVal = nullptr;
    } else if (type == VT_CLSID) {
        value.byref = &guid;
    }
    VARIANT reference;
    VariantInit(&reference);
    const VARIANT* given = &value;
    if (byReference && type != VT_EMPTY && type != VT_NULL && type != VT_CLSID) {
        reference.vt = type | VT_BYREF;
        if (type == VT_DECIMAL)
            reference.pdecVal = &value.decVal;
        else
            reference.byref = &value.llVal;
        given = &reference;
    }
    request([&] { fuzzing::convertToEveryTarget(host.getVariant(given)); });
    if (type == VT_BSTR)
        SysFreeString(value.bstrVal);
}

size_t replayFile(const std::filesystem::path& file, ActiveX::ActiveXBrowserHost& host,
                  const BrowserHostPtr& pageHost) {
    std::ifstream stream(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                     std::istreambuf_iterator<char>());
    size_t values = 0;
    {
        fuzzing::ByteReader in(bytes.data(), bytes.size());
        fuzzing::VariantWorld world{pageHost, {}};
        while (!in.empty()) {
            scriptValueRoundTrip(in, world, host);
            ++values;
        }
    }
    fuzzing::ByteReader in(bytes.data(), bytes.size());
    while (!in.empty()) {
        comValueToScript(in, host);
        ++values;
    }
    return values;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    int status = 0;
    {
        auto host = std::make_shared<ActiveX::ActiveXBrowserHost>(nullptr, nullptr);
        const BrowserHostPtr pageHost = Testing::TestBrowserHost::create();
        size_t files = 0, values = 0;
        for (int i = 1; i < argc; ++i) {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(argv[i], error)) {
                if (!entry.is_regular_file())
                    continue;
                values += replayFile(entry.path(), *host, pageHost);
                ++files;
            }
            if (error) {
                std::fprintf(stderr, "cannot read %ls\n", argv[i]);
                status = 1;
            }
        }
        host->shutdown();
        std::printf("variant replay: %zu inputs, %zu values through VARIANT\n", files, values);
        if (files == 0)
            status = 1;
    }
    CoUninitialize();
    return status;
}
