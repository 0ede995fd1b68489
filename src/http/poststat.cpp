#include "http/poststat.h"

#include "http/errors.h"
#include "http/safeint.h"

#include <algorithm>
#include <string>

namespace Velto {

void CHttpPostStatT::requireActive(const char* accessor) const
{
    if (!m_active)
        ThrowArgumentError(std::string("CHttpPostStatT::") + accessor + ": The post context is not active.");
}

uint32_t CHttpPostStatT::ActualTotalByte() const
{
    requireActive("ActualTotalByte");
    return m_actualTotal;
}

uint32_t CHttpPostStatT::ActualPostedByte() const
{
    requireActive("ActualPostedByte");
    return m_actualPosted;
}

uint32_t CHttpPostStatT::TotalCount() const
{
    requireActive("TotalCount");
    return m_totalCount;
}

uint32_t CHttpPostStatT::PostedCount() const
{
    requireActive("PostedCount");
    return m_postedCount;
}

uint32_t CHttpPostStatT::FileCount() const
{
    requireActive("FileCount");
    return m_fileCount;
}

uint32_t CHttpPostStatT::PostedFileCount() const
{
    requireActive("PostedFileCount");
    return m_postedFileCount;
}

bool CHttpPostStatT::CurrParamIsFile() const
{
    requireActive("CurrParamIsFile");
    return m_currentPath.has_value();
}

uint32_t CHttpPostStatT::CurrParamTotalByte() const
{
    requireActive("CurrParamTotalByte");
    return m_currentTotal;
}

uint32_t CHttpPostStatT::CurrParamPostedByte() const
{
    requireActive("CurrParamPostedByte");
    return m_currentPosted;
}

uint32_t CHttpPostStatT::CurrParamRemainByte() const
{
    requireActive("CurrParamRemainByte");
    return m_currentTotal - m_currentPosted;
}

bool CHttpPostStatT::CurrParamIsComplete() const
{
    requireActive("CurrParamIsComplete");
    return m_currentTotal == m_currentPosted;
}

void CHttpPostStatT::_BeginContext(uint32_t actualTotal, uint32_t total, uint32_t totalCount, uint32_t fileCount)
{
    _EndContext();
    m_active = true;
    m_actualTotal = actualTotal;
    m_total = total;
    m_totalCount = totalCount;
    m_fileCount = fileCount;
}

void CHttpPostStatT::_EndContext()
{
    *this = CHttpPostStatT();
}

void CHttpPostStatT::_TestStartNewEntry(bool isFile) const
{
    if (!m_active)
        ThrowArgumentError("CHttpPostStatT::_TestStartNewEntry: The post context is not active.");
    if (!CanAdd(m_postedCount, 1) || (isFile && !CanAdd(m_postedFileCount, 1)))
        ThrowError(kErrOverflow);
}

void CHttpPostStatT::_StartNewEntry(const std::string& name, uint32_t size, bool isFile, const std::string* path)
{
    _TestStartNewEntry(isFile);
    if (isFile) {
        ++m_postedFileCount;
        m_currentPath = path ? *path : std::string();
    } else {
        m_currentPath.reset();
    }
    ++m_postedCount;
    m_currentName = name;
    m_currentTotal = size;
    m_currentPosted = 0;
}

void CHttpPostStatT::_TestAddActualPostedBytes(uint32_t n) const
{
    if (!m_active)
        ThrowArgumentError("CHttpPostStatT::_TestAddActualPostedBytes: The post context is not active.");
    if (!CanAdd(m_actualPosted, n))
        ThrowError(kErrOverflow);
}

void CHttpPostStatT::_AddActualPostedBytes(uint32_t n)
{
    _TestAddActualPostedBytes(n);
    m_actualPosted += n;
}

void CHttpPostStatT::_TestAddPostedBytes(uint32_t n) const
{
    if (!m_active)
        ThrowArgumentError("CHttpPostStatT::_TestAddPostedBytes: The post context is not active.");
    if (!CanAdd(m_actualPosted, n) || !CanAdd(m_posted, n) || !CanAdd(m_currentPosted, n))
        ThrowError(kErrOverflow);
}

void CHttpPostStatT::_AddPostedBytes(uint32_t n)
{
    _TestAddPostedBytes(n);
    m_posted += n;
    m_currentPosted += n;
    m_actualPosted += n;
}

void CHttpPostStatT::_LimitPostedTo(uint32_t actualPosted, uint32_t posted, uint32_t currentPosted) noexcept
{
    m_actualPosted = std::min(m_actualPosted, actualPosted);
    m_posted = std::min(m_posted, posted);
    m_currentPosted = std::min(m_currentPosted, currentPosted);
}

} // namespace Velto
