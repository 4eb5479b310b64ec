#pragma once
// The site lock in force for this process's camera elements: the list under
// HKLM\Software\orvela\AllowedSites (a multi-string of origin patterns) when
// present, the only one consulted then; else the one under HKCU. Without
// either every page may use the camera.

#include <optional>

#include "site_patterns.h"

namespace orvelaSites {

// The list in force, read now; none when no list is set. Entries that are not
// origin patterns are left out and written to the debug output. A value of
// another type than a multi-string counts as a list without entries, which
// allows no page. Both the 32-bit plug-in and the 64-bit bridge read the
// 32-bit view, where the 32-bit installer writes the machine list.
std::optional<AllowList> ReadAllowedSites();

} // namespace orvelaSites
