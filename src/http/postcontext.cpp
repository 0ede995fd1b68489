// CHttpClientT: the post context, one multipart/form-data POST whose body is
// written piece by piece.
//
// Body layout, with B the boundary:
//   per value part:  "--" B CRLF  Content-Disposition: form-data; name="n" CRLF CRLF  value  CRLF
//   per file part:   "--" B CRLF  Content-Disposition: form-data; name="n"; filename="p" CRLF
//                    Content-Type: t CRLF CRLF  file bytes  CRLF
//   closing line:    "--" B "--" CRLF      (without parameters: CRLF "--" B "--" CRLF)
// The length announced in the head is computed from the same pieces before
// anything is sent, so it always equals the bytes written.

#include "http/httpclient.h"

#include "http/encoders.h"
#include "http/errors.h"
#include "http/safeint.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

namespace Velto {

namespace {
constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kDashes = "--";
constexpr std::string_view kDispositionName = "Content-Disposition: form-data; name=\"";
constexpr std::string_view kValueHeadEnd = "\"\r\n\r\n";
constexpr std::string_view kFilename = "\"; filename=\"";
constexpr std::string_view kContentType = "\"\r\nContent-Type: ";
constexpr std::string_view kFileHeadEnd = "\r\n\r\n";

bool isFile(const CHttpClientMapT::Entry& entry)
{
    return (entry.flags & kParamFile) != 0;
}
} // namespace

std::string CHttpClientT::EscapeFilename(std::string_view path)
{
    // A quotation mark or line break would end the part head early.
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c == '"')
            out += "%22";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out.push_back(c);
    }
    return out;
}

std::string CHttpClientT::wireText(std::string_view text) const
{
    return m_useUtf8 ? CHttpEncoderA::Utf8Encode(text, m_codePage) : std::string(text);
}

uint32_t CHttpClientT::wireLength(std::string_view text) const
{
    return m_useUtf8 ? CHttpEncoderA::Utf8EncodeLen(text, m_codePage) : SafeNarrow(text.size());
}

void CHttpClientT::AddParam(const char* szName, const char* szValue, uint32_t flags)
{
    if (m_stat.IsActive())
        ThrowArgumentError("CHttpClientT::AddParam: It is not allowed to call this method if the POST context is active.");
    m_params.Add(szName, szValue, flags);
}

void CHttpClientT::ClearParam()
{
    if (m_stat.IsActive())
        ThrowArgumentError(
            "CHttpClientT::ClearParam: It is not allowed to call this method if the POST context is active.");
    m_params.Clear();
}

void CHttpClientT::StartUpload(std::string_view url, bool useCache)
{
    _OpenUploadContext(url, useCache ? kUploadFlagsCache : kUploadFlagsNoCache);
}

void CHttpClientT::_OpenUploadContext(std::string_view url, uint32_t flags)
{
    _AbortPostContext();

    std::vector<FilePart> files;
    Handles handles;
    try {
        // Body length L and content total T, every sum overflow-tested.
        const uint32_t b = wireLength(m_boundary);
        uint32_t length = 0;
        uint32_t total = 0;
        uint32_t fileCount = 0;
        if (m_params.Empty()) {
            length = SafeAdd(b, 8);
        } else {
            for (const auto& [name, entry] : m_params) {
                const std::string value = entry.value.value_or(std::string());
                length = SafeAdd(length, SafeAdd(b, 4));
                length = SafeAdd(length, wireLength(name));
                if (!isFile(entry)) {
                    const uint32_t size = wireLength(value);
                    length = SafeAdd(length, SafeAdd(43, SafeAdd(size, 2)));
                    total = SafeAdd(total, size);
                    continue;
                }
                FilePart part;
                part.fd.reset(CHttpToolA::OpenFile(value.c_str()));
                if (!part.fd.valid() && m_strictFileCheck)
                    ThrowError(kErrOpenFile, errno, value.c_str());
                part.size = part.fd.valid() ? CHttpToolA::GetFileSize(part.fd.get(), value.c_str()) : 0;
                part.mime = CHttpToolA::GetMimeType(part.fd.valid() ? part.fd.get() : kInvalidFile, m_codePage);
                length = SafeAdd(length, 54);
                length = SafeAdd(length, SafeNarrow(EscapeFilename(wireText(value)).size()));
                length = SafeAdd(length, 18);
                length = SafeAdd(length, SafeNarrow(part.mime.size()));
                length = SafeAdd(length, part.size);
                length = SafeAdd(length, 2);
                total = SafeAdd(total, part.size);
                fileCount = SafeAdd(fileCount, 1);
                files.push_back(std::move(part));
            }
            length = SafeAdd(length, SafeAdd(b, 6));
        }

        handles.session = OpenInternet();
        handles.connection = OpenConnection(handles.session.get(), url);
        handles.request = OpenRequest(handles.connection.get(), "POST", url, flags, nullptr);
        handles.request->setUploadBufferSize(kStageSize);
        AddRequestHeader(handles.request.get());
        CHttpToolA::AddHeader(handles.request.get(), "Content-Type", m_contentType.c_str());
        CHttpToolA::SendRequestEx(handles.request.get(), length);

        m_stat._BeginContext(length, total, SafeNarrow(m_params.Count()), fileCount);
        m_files = std::move(files);
        m_handles = std::move(handles);
        m_postMode = false;
        m_current = m_params.end();
        m_currentFile = 0;
        m_valueBuffer.clear();
        m_stage = std::make_unique_for_overwrite<char[]>(kStageSize);
        m_stageLen = m_stageHanded = m_readAhead = 0;
        m_framing.clear();
        m_currentContentStart = 0;

        m_initialStat._EndContext();
        if (!m_params.Empty()) {
            m_initialStat = m_stat;
            const auto& [name, entry] = *m_params.begin();
            const std::string value = entry.value.value_or(std::string());
            const bool file = isFile(entry);
            m_initialStat._StartNewEntry(name, file ? m_files.front().size : wireLength(value), file,
                                         file ? &value : nullptr);
        }
    } catch (...) {
        // Handles, files and texts of this call close with their owners; a
        // half-made context is dropped as a whole.
        abandonAndRethrow();
    }
}

std::unique_ptr<CHttpResponseT> CHttpClientT::ProceedPost(uint32_t nDesired)
{
    if (m_postMode) {
        // Only an upload can start a context, so the form-post routine finds none.
        ThrowError(kErrPostNotStarted);
    }
    return _ProceedUploadContext(nDesired);
}

std::unique_ptr<CHttpResponseT> CHttpClientT::_ProceedUploadContext(uint32_t nDesired)
{
    static constexpr const char* kWhere = "CHttpClientT::_ProceedUploadContext";
    if (!m_stat.IsActive())
        ThrowError(kErrPostNotStarted);
    if (!m_handles.session)
        ThrowNullArgument(kWhere, "m_hInternet");
    if (!m_handles.connection)
        ThrowNullArgument(kWhere, "m_hConnection");
    if (!m_handles.request)
        ThrowNullArgument(kWhere, "m_hRequest");
    if (nDesired == 0)
        ThrowZeroArgument(kWhere, "nDesired");

    try {
        // Bytes being handed over go first: the body leaves in order.
        if (handOverDue()) {
            handOver();
            return nullptr;
        }
        if (m_stat.ActualPostedByte() == m_stat.ActualTotalByte()) {
            // The request ends once the service has the whole body, so that
            // the progress shown before the reply reached 100 % for real.
            if (!m_handles.request->delivered()) {
                CHttpToolA::WaitDelivered(m_handles.request.get(), kHandOverSlice);
                return nullptr;
            }
            CHttpToolA::EndRequest(m_handles.request.get());
            Handles handles = _ReleasePostResponse();
            return std::make_unique<CHttpResponseT>(std::move(handles.session), std::move(handles.connection),
                                                    std::move(handles.request));
        }
        if (m_params.Empty()) {
            _WritePost(kCrLf, false);
            _WritePost(kDashes, false);
            _WritePost(m_boundary, false);
            _WritePost(kDashes, false);
            _WritePost(kCrLf, false);
        } else if (m_stat.PostedCount() == 0 || m_stat.CurrParamIsComplete()) {
            if (m_stat.PostedCount() == m_stat.TotalCount()) {
                _WritePost(kDashes, false);
                _WritePost(wireText(m_boundary), false);
                _WritePost(kDashes, false);
                _WritePost(kCrLf, false);
            } else {
                writeNextHead();
            }
        } else {
            writeContent(std::min(nDesired, m_stat.CurrParamRemainByte()));
        }
        if (handOverDue())
            handOver();
        return nullptr;
    } catch (...) {
        abandonAndRethrow();
    }
}

void CHttpClientT::writeNextHead()
{
    if (m_current == m_params.end()) {
        m_current = m_params.begin();
    } else {
        if (isFile(m_current->second))
            ++m_currentFile;
        ++m_current;
    }
    const auto& [name, entry] = *m_current;
    const std::string value = entry.value.value_or(std::string());
    const std::string wireName = wireText(name);
    const bool file = isFile(entry);
    uint32_t size = 0;

    _WritePost(kDashes, false);
    _WritePost(wireText(m_boundary), false);
    _WritePost(kCrLf, false);
    _WritePost(kDispositionName, false);
    _WritePost(wireName, false);
    if (file) {
        const FilePart& part = m_files[m_currentFile];
        _WritePost(kFilename, false);
        _WritePost(EscapeFilename(wireText(value)), false);
        _WritePost(kContentType, false);
        _WritePost(part.mime, false);
        _WritePost(kFileHeadEnd, false);
        size = part.size;
    } else {
        _WritePost(kValueHeadEnd, false);
        m_valueBuffer = wireText(value);
        size = SafeNarrow(m_valueBuffer.size());
    }
    m_stat._StartNewEntry(name, size, file, file ? &value : nullptr);
    m_currentContentStart = m_stat.ActualPostedByte();
    if (size == 0)
        _WritePost(kCrLf, false);
}

void CHttpClientT::writeContent(uint32_t n)
{
    if (isFile(m_current->second)) {
        readFileInto(n);
    } else {
        _WritePost(m_valueBuffer.data() + m_stat.CurrParamPostedByte(), n, true);
    }
    if (m_stat.CurrParamRemainByte() == 0)
        _WritePost(kCrLf, false);
}

void CHttpClientT::readFileInto(uint32_t n)
{
    FilePart& part = m_files[m_currentFile];
    while (n > 0) {
        if (m_readAhead == 0) {
            if (m_stageLen == kStageSize)
                flushStage();
            // One read takes the rest of the part up to the next hand-over
            // mark (the stage's end once past it), straight into the stage:
            // a small piece costs neither a system call nor a copy of its own.
            const std::size_t mark = m_stageLen < kHandOverAt ? kHandOverAt : kStageSize;
            const std::size_t want = std::min<std::size_t>(mark - m_stageLen, m_stat.CurrParamRemainByte());
            const std::size_t got = CHttpToolA::ReadFile(part.fd.get(), m_stage.get() + m_stageLen, want);
            if (got < want)
                ThrowError(kErrShortRead, 0); // the file shrank since its length was announced
            m_readAhead = got;
        }
        // Writing a piece of the part is taking it from the bytes read ahead.
        const uint32_t piece = static_cast<uint32_t>(std::min<std::size_t>(n, m_readAhead));
        m_stat._TestAddPostedBytes(piece);
        m_stageLen += piece;
        m_readAhead -= piece;
        m_stat._AddPostedBytes(piece);
        n -= piece;
    }
}

void CHttpClientT::_WritePost(const void* data, std::size_t size, bool content)
{
    if (!m_handles.request)
        ThrowNullArgument("CHttpClientT::_WritePost", "m_hRequest");
    if (size == 0)
        return;
    const uint32_t n = SafeNarrow(size);
    if (content)
        m_stat._TestAddPostedBytes(n);
    else
        m_stat._TestAddActualPostedBytes(n);
    // Stage small writes; the internet layer gets them in large blocks.
    // Nothing is read ahead here: a part's content ends before any other
    // write, and the reads never go past it.
    if (m_stageLen + size > kStageSize)
        flushStage();
    if (size >= kStageSize) {
        CHttpToolA::InternetWriteFile(m_handles.request.get(), data, size);
    } else {
        std::memcpy(m_stage.get() + m_stageLen, data, size);
        m_stageLen += size;
    }
    if (content) {
        m_stat._AddPostedBytes(n);
    } else {
        noteFraming(m_stat.ActualPostedByte(), n);
        m_stat._AddActualPostedBytes(n);
    }
}

void CHttpClientT::noteFraming(uint32_t offset, uint32_t length)
{
    if (!m_framing.empty() && m_framing.back().first + m_framing.back().second == offset)
        m_framing.back().second += length;
    else
        m_framing.emplace_back(offset, length);
}

void CHttpClientT::flushStage()
{
    if (m_stageHanded < m_stageLen)
        CHttpToolA::InternetWriteFile(m_handles.request.get(), m_stage.get() + m_stageHanded,
                                      m_stageLen - m_stageHanded);
    dropHandedStage();
}

void CHttpClientT::dropHandedStage()
{
    // Only a piece larger than the rest of a block leaves bytes read ahead
    // behind the handed ones; they are the next block's start.
    if (m_readAhead > 0)
        std::memmove(m_stage.get(), m_stage.get() + m_stageLen, m_readAhead);
    m_stageLen = 0;
    m_stageHanded = 0;
}

bool CHttpClientT::handOverDue() const
{
    return m_stageLen > 0 &&
           (m_stageLen >= kHandOverAt || m_stat.ActualPostedByte() == m_stat.ActualTotalByte());
}

void CHttpClientT::handOver()
{
    const auto until = std::chrono::steady_clock::now() + kHandOverSlice;
    m_stageHanded += CHttpToolA::InternetWriteSome(m_handles.request.get(), m_stage.get() + m_stageHanded,
                                                   m_stageLen - m_stageHanded, kHandOverSlice);
    if (m_stageHanded < m_stageLen)
        return;
    dropHandedStage();
    // The rest of the slice goes to the service receiving the end of the
    // body, so that on a fast link the next call can end the request.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (m_stat.ActualPostedByte() == m_stat.ActualTotalByte() && left.count() > 0)
        CHttpToolA::WaitDelivered(m_handles.request.get(), left);
}

CHttpClientT::Handles CHttpClientT::_ReleasePostResponse()
{
    if (!m_stat.IsActive())
        ThrowArgumentError("CHttpClientT::_ReleasePostResponse: The post context is not active.");
    Handles handles = std::move(m_handles);
    m_handles = Handles();
    m_files.clear(); // closes every file
    m_valueBuffer = std::string();
    m_stage.reset();
    m_stageLen = m_stageHanded = m_readAhead = 0;
    m_framing.clear();
    m_current = m_params.end();
    m_currentFile = 0;
    m_stat._EndContext();
    m_initialStat._EndContext();
    return handles;
}

void CHttpClientT::abandonAndRethrow()
{
    _AbortPostContext();
    try {
        throw;
    } catch (const std::bad_alloc&) {
        ThrowError(kErrOutOfMemory, ENOMEM);
    }
}

void CHttpClientT::_AbortPostContext() noexcept
{
    if (m_stat.IsActive()) {
        Handles handles = _ReleasePostResponse();
        CHttpToolA::CloseInternetHandle(handles.request);
        CHttpToolA::CloseInternetHandle(handles.connection);
        CHttpToolA::CloseInternetHandle(handles.session);
    }
}

void CHttpClientT::QueryPostStat(CHttpPostStatT& target) const
{
    if (m_stat.IsActive() && m_stat.TotalCount() > 0 && m_stat.PostedCount() == 0) {
        target = m_initialStat;
        return;
    }
    target = m_stat;
    if (!m_stat.IsActive() || !m_handles.request)
        return;
    const uint32_t sent =
        static_cast<uint32_t>(std::min<uint64_t>(m_handles.request->sent(), m_stat.ActualPostedByte()));
    uint32_t framing = 0;
    for (const auto& [offset, length] : m_framing) {
        if (offset >= sent)
            break;
        framing += std::min(length, sent - offset);
    }
    const uint32_t currentSent = sent > m_currentContentStart ? sent - m_currentContentStart : 0;
    target._LimitPostedTo(sent, sent - framing, currentSent);
}

} // namespace Velto
