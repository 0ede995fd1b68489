#include "uploader/keptrows.h"

#include "engine/takeuprows.h"
#include "uploader/consoleview.h"
#include "uploader/fileoutcome.h"
#include "uploader/terminaltext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <ctime>

namespace quaylet {

namespace {

std::string localTime(int64_t seconds)
{
    if (seconds <= 0)
        return "-";
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local {};
    ::localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// A kept row's result as a run's outcome of that file.
FileOutcome outcomeOf(int result)
{
    FileOutcome outcome;
    outcome.kind = KindOfResult(result);
    outcome.result = result;
    return outcome;
}

// What the row came to, in words: its state, and for a failure the reason.
std::string stateInWords(const StoredRow& row)
{
    if (row.state == StoredState::Failed)
        return OutcomeInWords(outcomeOf(row.result));
    return StoredStateName(row.state);
}

} // namespace

int QueueKeptRows(const UploadOptions& options, TransferEngine& engine, QueueJournal& journal, std::FILE* out)
{
    int queued = 0;
    if (options.resume) {
        const auto rows = journal.takeUnfinished().get();
        const int count = RequeueTakenRows(engine, journal, rows);
        if (count > 0)
            std::fprintf(out, "%s\n", ResumeNotice(count).c_str());
        queued += count;
    }
    if (options.retryFailed) {
        const auto rows = journal.takeFailed().get();
        const int count = RequeueTakenRows(engine, journal, rows);
        if (count > 0)
            std::fprintf(out, "Retrying %d failed file%s\n", count, count == 1 ? "" : "s");
        queued += count;
    }
    std::fflush(out);
    return queued;
}

std::string HistoryText(const std::vector<StoredRow>& rows, bool json)
{
    if (json) {
        QJsonArray array;
        for (const StoredRow& row : rows) {
            QJsonObject object;
            object[QStringLiteral("path")] = QString::fromUtf8(row.path.data(), static_cast<qsizetype>(row.path.size()));
            object[QStringLiteral("kind")] = row.kind == 2 ? QStringLiteral("video") : QStringLiteral("photo");
            object[QStringLiteral("size")] = static_cast<qint64>(row.size);
            object[QStringLiteral("state")] = QString::fromLatin1(StoredStateName(row.state));
            object[QStringLiteral("result")] = row.result;
            if (row.state == StoredState::Failed)
                object[QStringLiteral("reason")] = QString::fromStdString(OutcomeReason(outcomeOf(row.result)));
            object[QStringLiteral("attempts")] = row.attempts;
            object[QStringLiteral("queued")] = static_cast<qint64>(row.queuedAt);
            object[QStringLiteral("finished")] = static_cast<qint64>(row.finishedAt);
            object[QStringLiteral("bytes_sent")] = static_cast<qint64>(row.bytesSent);
            array.append(object);
        }
        return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
    }
    std::string text;
    for (const StoredRow& row : rows) {
        text += localTime(row.finishedAt > 0 ? row.finishedAt : row.queuedAt) + "  " + TerminalText(row.path) + ": " +
                stateInWords(row) + "\n";
    }
    return text;
}

} // namespace quaylet
