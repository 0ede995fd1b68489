#include "engine/takeuprows.h"

#include "core/logfile.h"

namespace quaylet {

std::string QueueAccountOf(const std::string& userName)
{
    return userName;
}

int RequeueTakenRows(TransferEngine& engine, QueueJournal& journal, const std::vector<StoredRow>& rows)
{
    const uint64_t before = engine.rowsQueued();
    for (const StoredRow& row : rows) {
        WriteLog(LogTrace, "QueueStore: queueing %s again", row.path.c_str());
        engine.intake().OnDropFiles({row.path});
    }
    journal.settleTaken();
    return static_cast<int>(engine.rowsQueued() - before);
}

std::string ResumeNotice(int count)
{
    return "Resuming " + std::to_string(count) + (count == 1 ? " file" : " files") + " from last time";
}

std::string QueueStoreUnavailableNotice()
{
    return "The upload queue cannot be saved on this computer: files still queued when Quaylet ends will not "
           "be resumed";
}

} // namespace quaylet
