#pragma once

// What a post context has to send and has sent, in bytes and in parameters.
// The client keeps a live instance that every body write updates; callers read
// copies (CHttpClientT::QueryPostStat). Accessors refuse to answer for an
// instance that does not belong to an active context. Not thread-safe: one
// thread drives a context and reads its statistics.

#include <cstdint>
#include <optional>
#include <string>

namespace Velto {

class CHttpPostStatT {
public:
    CHttpPostStatT() = default;
    CHttpPostStatT(const CHttpPostStatT&) = default;
    CHttpPostStatT& operator=(const CHttpPostStatT&) = default;
    virtual ~CHttpPostStatT() = default;

    bool IsActive() const noexcept { return m_active; }

    uint32_t ActualTotalByte() const;
    uint32_t ActualPostedByte() const;
    uint32_t TotalCount() const;
    uint32_t PostedCount() const;
    uint32_t FileCount() const;
    uint32_t PostedFileCount() const;
    bool CurrParamIsFile() const;
    uint32_t CurrParamTotalByte() const;
    uint32_t CurrParamPostedByte() const;
    uint32_t CurrParamRemainByte() const;
    bool CurrParamIsComplete() const;

    // Maintenance by the client.
    void _BeginContext(uint32_t actualTotal, uint32_t total, uint32_t totalCount, uint32_t fileCount);
    void _EndContext();
    void _TestStartNewEntry(bool isFile) const;
    void _StartNewEntry(const std::string& name, uint32_t size, bool isFile, const std::string* path);
    void _TestAddActualPostedBytes(uint32_t n) const;
    void _AddActualPostedBytes(uint32_t n);
    void _TestAddPostedBytes(uint32_t n) const;
    void _AddPostedBytes(uint32_t n);

    // Lowers the three posted counts to what has reached the service (the
    // client stages bytes before they leave); each only ever goes down here.
    void _LimitPostedTo(uint32_t actualPosted, uint32_t posted, uint32_t currentPosted) noexcept;

    // Content bytes only (values and file contents); internal, for the
    // body-length checks.
    uint32_t _Total() const noexcept { return m_total; }
    uint32_t _Posted() const noexcept { return m_posted; }
    const std::string& _CurrentName() const noexcept { return m_currentName; }

private:
    void requireActive(const char* accessor) const;

    bool m_active = false;
    uint32_t m_actualTotal = 0;
    uint32_t m_actualPosted = 0;
    uint32_t m_total = 0;
    uint32_t m_posted = 0;
    uint32_t m_totalCount = 0;
    uint32_t m_postedCount = 0;
    uint32_t m_fileCount = 0;
    uint32_t m_postedFileCount = 0;
    std::string m_currentName;
    std::optional<std::string> m_currentPath; // none for a value parameter
    uint32_t m_currentTotal = 0;
    uint32_t m_currentPosted = 0;
};

} // namespace Velto
