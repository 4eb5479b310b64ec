#pragma once
// The process-wide table between script member names and dispatch
// identifiers. It starts with the standard OLE identifiers and the browser's
// event-property identifiers; any other name gets the next free identifier
// (from 100 up) the first time it is asked for and keeps it for the life of
// the process, for every object. Entries are never removed.

#include <windows.h>

#include <mutex>
#include <string>
#include <unordered_map>

namespace FW {

class TypeIDMap {
public:
    static TypeIDMap& instance();

    // The identifier of name, assigning the next free one to a new name.
    long idForName(const std::wstring& name);
    struct Names {
        long id;
        const std::wstring* wide;
        // The same name as UTF-8 (empty for a name that is not valid UTF-16).
        std::string utf8;
    };

    // The name of id, or null; the text stays valid for the life of the process.
    const std::wstring* nameForId(long id) const;
    // Both spellings of the name of id in one look-up, or null; valid for the
    // life of the process.
    const Names* namesForId(long id) const;
    bool hasId(long id) const { return nameForId(id) != nullptr; }
    // Enters a fixed pair; std::runtime_error "ID or value already defined"
    // when the name or the identifier is present.
    void define(const std::wstring& name, long id);

    TypeIDMap(const TypeIDMap&) = delete;
    TypeIDMap& operator=(const TypeIDMap&) = delete;

private:
    TypeIDMap();

    mutable std::mutex m_mutex;
    std::unordered_map<std::wstring, long> m_ids;
    void insert(const std::wstring& name, long id);

    std::unordered_map<long, Names> m_names;
    long m_nextId = 100;
};

} // namespace FW
