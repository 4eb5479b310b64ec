#include "SplitString.h"

int SplitString(const std::string& text, const std::string& delimiter, bool skipEmpty,
                std::map<int, std::string>& target) {
    if (delimiter.empty())
        return 0;
    target.clear();
    int count = 0;
    std::string::size_type p = 0;
    for (;;) {
        const std::string::size_type found = text.find(delimiter, p);
        if (found == std::string::npos)
            break;
        if (found > p || !skipEmpty)
            target[count++] = text.substr(p, found - p);
        p = found + delimiter.size();
    }
    if (p < text.size())
        target[count++] = text.substr(p);
    else if (!skipEmpty)
        target[count++] = std::string();
    return count;
}
