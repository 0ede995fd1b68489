#pragma once

// The client's name/value lists (extra request headers, post parameters): an
// ordered multimap sorted by name, compared case-insensitively byte by byte
// (ASCII letters folded to lower case); entries with equal names keep the
// order in which they were added. The map owns its texts. Not thread-safe.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Velto {

// Entry flags: bit 0 marks a file parameter (the value is a path); bits 1 and
// 2 mark a name or value that is already URL-encoded.
inline constexpr uint32_t kParamFile = 1;
inline constexpr uint32_t kParamNameEncoded = 2;
inline constexpr uint32_t kParamValueEncoded = 4;

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const noexcept;
};

class CHttpClientMapT {
public:
    struct Entry {
        std::optional<std::string> value; // none is distinct from empty
        uint32_t flags = 0;
    };
    using Map = std::multimap<std::string, Entry, CaseInsensitiveLess>;
    using const_iterator = Map::const_iterator;

    CHttpClientMapT() = default;
    CHttpClientMapT(const CHttpClientMapT&) = default;
    CHttpClientMapT& operator=(const CHttpClientMapT&) = default;
    virtual ~CHttpClientMapT() = default;

    // Copies name and value (nullptr: none). A failure to insert becomes
    // httpclientexceptionA (code 108 with the text of a standard exception).
    void Add(const char* szName, const char* szValue, uint32_t flags = 0);
    // Takes the texts over instead of copying them.
    void AddPointerDirectly(std::optional<std::string> name, std::optional<std::string> value, uint32_t flags = 0);

    void Clear() noexcept { m_map.clear(); }
    bool Empty() const noexcept { return m_map.empty(); }
    std::size_t Count() const noexcept { return m_map.size(); }
    const_iterator begin() const noexcept { return m_map.begin(); }
    const_iterator end() const noexcept { return m_map.end(); }

private:
    void insert(std::string&& name, std::optional<std::string>&& value, uint32_t flags);
    Map m_map;
};

} // namespace Velto
