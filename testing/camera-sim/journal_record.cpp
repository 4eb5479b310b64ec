#include "journal_record.h"

#include <cstdio>
#include <cstdlib>

namespace CameraSim {

namespace {

const char* kindWord(JournalRecord::Kind kind) {
    switch (kind) {
    case JournalRecord::Kind::Call:
        return "call";
    case JournalRecord::Kind::Event:
        return "event";
    case JournalRecord::Kind::Life:
        return "life";
    }
    return "call";
}

bool isHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUnitEscape(std::string& out, unsigned unit) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04X", unit & 0xFFFF);
    out += buf;
}

// Reads the text between double quotes starting at s[pos] (the opening quote);
// leaves pos after the closing quote.
bool parseQuoted(const std::string& s, size_t& pos, std::wstring& text) {
    if (pos >= s.size() || s[pos] != '"')
        return false;
    ++pos;
    text.clear();
    while (pos < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[pos]);
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= s.size())
                return false;
            char e = s[pos + 1];
            pos += 2;
            switch (e) {
            case '\\':
                text += L'\\';
                break;
            case '"':
                text += L'"';
                break;
            case 't':
                text += L'\t';
                break;
            case 'n':
                text += L'\n';
                break;
            case 'r':
                text += L'\r';
                break;
            case 'u': {
                if (pos + 4 > s.size())
                    return false;
                unsigned unit = 0;
                for (int i = 0; i < 4; ++i) {
                    char h = s[pos + i];
                    unit <<= 4;
                    if (h >= '0' && h <= '9')
                        unit |= h - '0';
                    else if (h >= 'A' && h <= 'F')
                        unit |= h - 'A' + 10;
                    else if (h >= 'a' && h <= 'f')
                        unit |= h - 'a' + 10;
                    else
                        return false;
                }
                pos += 4;
                text += static_cast<wchar_t>(unit);
                break;
            }
            default:
                return false;
            }
            continue;
        }
        if (c < 0x80) {
            text += static_cast<wchar_t>(c);
            ++pos;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        if (extra < 0 || pos + extra >= s.size())
            return false;
        unsigned long cp = c & (0x3F >> extra);
        for (int i = 1; i <= extra; ++i) {
            unsigned char t = static_cast<unsigned char>(s[pos + i]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        pos += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            text += static_cast<wchar_t>(0xD800 + (cp >> 10));
            text += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            text += static_cast<wchar_t>(cp);
        }
    }
    return false;
}

bool parseValue(const std::string& s, size_t& pos, JournalValue& value) {
    if (pos < s.size() && s[pos] == '"') {
        std::wstring text;
        if (!parseQuoted(s, pos, text))
            return false;
        value = JournalValue::string(std::move(text));
        return true;
    }
    if (s.compare(pos, 4, "null") == 0) {
        pos += 4;
        value = JournalValue::nullText();
        return true;
    }
    const char* begin = s.c_str() + pos;
    char* end = nullptr;
    long number = std::strtol(begin, &end, 10);
    if (end == begin)
        return false;
    pos += end - begin;
    value = JournalValue::number(number);
    return true;
}

bool parseValueList(const std::string& s, std::vector<JournalValue>& values) {
    size_t pos = 0;
    while (pos < s.size()) {
        JournalValue value;
        if (!parseValue(s, pos, value))
            return false;
        values.push_back(std::move(value));
        if (pos == s.size())
            break;
        if (s.compare(pos, 2, ", ") != 0)
            return false;
        pos += 2;
    }
    return true;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::wstring widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

} // namespace

JournalValue JournalValue::number(long value) {
    JournalValue v;
    v.kind = Kind::Integer;
    v.integer = value;
    return v;
}

JournalValue JournalValue::string(std::wstring value) {
    JournalValue v;
    v.kind = Kind::Text;
    v.text = std::move(value);
    return v;
}

JournalValue JournalValue::nullText() {
    JournalValue v;
    v.kind = Kind::NullText;
    return v;
}

JournalValue JournalValue::bstr(BSTR value) {
    if (!value)
        return nullText();
    return string(std::wstring(value, SysStringLen(value)));
}

bool JournalValue::operator==(const JournalValue& other) const {
    if (kind != other.kind)
        return false;
    switch (kind) {
    case Kind::Integer:
        return integer == other.integer;
    case Kind::Text:
        return text == other.text;
    case Kind::NullText:
        return true;
    }
    return false;
}

std::string quoteJournalText(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length + 2);
    out += '"';
    for (size_t i = 0; i < length; ++i) {
        unsigned unit = static_cast<unsigned short>(text[i]);
        if (unit == '"' || unit == '\\') {
            out += '\\';
            out += static_cast<char>(unit);
        } else if (unit == '\t') {
            out += "\\t";
        } else if (unit == '\n') {
            out += "\\n";
        } else if (unit == '\r') {
            out += "\\r";
        } else if (unit < 0x20 || unit == 0x7F) {
            appendUnitEscape(out, unit);
        } else if (unit < 0x80) {
            out += static_cast<char>(unit);
        } else if (isHighSurrogate(unit) && i + 1 < length &&
                   isLowSurrogate(static_cast<unsigned short>(text[i + 1]))) {
            unsigned low = static_cast<unsigned short>(text[++i]);
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUnitEscape(out, unit);
        } else {
            appendUtf8(out, unit);
        }
    }
    out += '"';
    return out;
}

std::string formatJournalValue(const JournalValue& value) {
    switch (value.kind) {
    case JournalValue::Kind::Integer:
        return std::to_string(value.integer);
    case JournalValue::Kind::Text:
        return quoteJournalText(value.text.data(), value.text.size());
    case JournalValue::Kind::NullText:
        return "null";
    }
    return {};
}

std::string formatJournalRecord(const JournalRecord& record) {
    std::string line = kindWord(record.kind);
    line += '\t';
    line += std::to_string(record.pid);
    line += '\t';
    line += std::to_string(record.instance);
    line += '\t';
    line += std::to_string(record.slot);
    line += '\t';
    for (wchar_t c : record.name)
        line += static_cast<char>(c >= 0x21 && c < 0x7F ? c : '?');
    line += '\t';
    for (size_t i = 0; i < record.args.size(); ++i) {
        if (i)
            line += ", ";
        line += formatJournalValue(record.args[i]);
    }
    char hr[16];
    std::snprintf(hr, sizeof hr, "\t0x%08lX\t", static_cast<unsigned long>(record.hr));
    line += hr;
    if (record.result)
        line += formatJournalValue(*record.result);
    return line;
}

std::optional<JournalRecord> parseJournalRecord(const std::string& line) {
    std::vector<std::string> fields = splitFields(line);
    if (fields.size() != 8)
        return std::nullopt;
    JournalRecord record;
    if (fields[0] == "call")
        record.kind = JournalRecord::Kind::Call;
    else if (fields[0] == "event")
        record.kind = JournalRecord::Kind::Event;
    else if (fields[0] == "life")
        record.kind = JournalRecord::Kind::Life;
    else
        return std::nullopt;
    char* end = nullptr;
    record.pid = std::strtoul(fields[1].c_str(), &end, 10);
    if (fields[1].empty() || *end)
        return std::nullopt;
    record.instance = std::strtol(fields[2].c_str(), &end, 10);
    if (fields[2].empty() || *end)
        return std::nullopt;
    record.slot = static_cast<int>(std::strtol(fields[3].c_str(), &end, 10));
    if (fields[3].empty() || *end)
        return std::nullopt;
    if (fields[4].empty())
        return std::nullopt;
    record.name = widen(fields[4]);
    if (!parseValueList(fields[5], record.args))
        return std::nullopt;
    record.hr = static_cast<HRESULT>(std::strtoul(fields[6].c_str(), &end, 16));
    if (fields[6].size() != 10 || *end)
        return std::nullopt;
    if (!fields[7].empty()) {
        size_t pos = 0;
        JournalValue result;
        if (!parseValue(fields[7], pos, result) || pos != fields[7].size())
            return std::nullopt;
        record.result = std::move(result);
    }
    return record;
}

std::wstring describe(const JournalValue& value) {
    switch (value.kind) {
    case JournalValue::Kind::Integer:
        return std::to_wstring(value.integer);
    case JournalValue::Kind::Text:
        return L"\"" + value.text + L"\"";
    case JournalValue::Kind::NullText:
        return L"null";
    }
    return {};
}

std::wstring describe(const JournalRecord& record) {
    std::wstring out = widen(kindWord(record.kind));
    out += L" pid=" + std::to_wstring(record.pid) + L" #" + std::to_wstring(record.instance);
    out += L" slot " + std::to_wstring(record.slot) + L" " + record.name + L"(";
    for (size_t i = 0; i < record.args.size(); ++i)
        out += (i ? L", " : L"") + describe(record.args[i]);
    wchar_t hr[16];
    swprintf(hr, 16, L"0x%08lX", static_cast<unsigned long>(record.hr));
    out += L") -> ";
    out += hr;
    if (record.result)
        out += L" " + describe(*record.result);
    return out;
}

} // namespace CameraSim
