#include "http/clientmap.h"

#include "http/errors.h"
#include "platform/asciitext.h"

#include <exception>

namespace Velto {

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const noexcept
{
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(quaylet::platform::LowerAscii(a[i]));
        const auto y = static_cast<unsigned char>(quaylet::platform::LowerAscii(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

void CHttpClientMapT::Add(const char* szName, const char* szValue, uint32_t flags)
{
    if (!szName)
        ThrowNullArgument("CHttpClientMapT::Add", "szName");
    std::optional<std::string> value;
    if (szValue)
        value = std::string(szValue);
    insert(std::string(szName), std::move(value), flags);
}

void CHttpClientMapT::AddPointerDirectly(std::optional<std::string> name, std::optional<std::string> value,
                                         uint32_t flags)
{
    if (!name)
        ThrowNullArgument("CHttpClientMapT::AddPointerDirectly", "szName");
    insert(std::move(*name), std::move(value), flags);
}

void CHttpClientMapT::insert(std::string&& name, std::optional<std::string>&& value, uint32_t flags)
{
    try {
        // multimap inserts an equal key after the existing ones, which keeps
        // entries of the same name in the order they were added.
        m_map.emplace(std::move(name), Entry{std::move(value), flags});
    } catch (const std::exception& e) {
        throw httpclientexceptionA(e.what(), kErrStdException, 0);
    } catch (...) {
        ThrowError(kErrUnexpected);
    }
}

} // namespace Velto
