#pragma once

// The on-disk record of the files this process has moved to temporary names,
// so that a later start can give them their names back when this process
// ended without doing so (a crash, a kill, a power cut before the next start).
//
// Each process writes a journal of its own under <state>/quaylet/renames/,
// held with an exclusive flock for as long as the process runs. An entry is
// written, and flushed to the disk, before the rename it describes, and marked
// done after the rename back, so a crash or power cut at any point leaves
// either a name to restore or nothing. The journal's folder is flushed once
// the journal is made, so that its name is on the disk as well.
// Names are stored hex-encoded, so any bytes in them survive.
//
// Not thread-safe: its owner (the rename table) serialises all use.

#include "platform/uniquefd.h"

#include <string>

namespace quaylet {

class RenameJournal final {
public:
    // Nothing is created until the first record; an empty directory disables the journal.
    explicit RenameJournal(std::string directory);
    ~RenameJournal(); // removes this process's journal
    RenameJournal(const RenameJournal&) = delete;
    RenameJournal& operator=(const RenameJournal&) = delete;

    // False when the journal is wanted but cannot be written: the rename must
    // then not happen, since nothing could give the name back after a crash.
    bool record(const std::string& tempPath, const std::string& originalPath);
    void forget(const std::string& tempPath);
    // Nothing is renamed any more: the journal starts over empty.
    void clear();
    // The journal file, empty before the first record.
    const std::string& path() const { return m_path; }

    // $XDG_STATE_HOME/quaylet/renames (default ~/.local/state/quaylet/renames).
    static std::string DefaultDirectory();
    // Gives back the names recorded in the journals of processes that have
    // ended (their lock is free), newest rename first, and removes those
    // journals. Journals of running processes are left alone.
    static void RestoreEnded(const std::string& directory);

private:
    bool ensureOpen();
    bool append(const std::string& line);
    bool appendDurably(const std::string& line);

    std::string m_directory;
    std::string m_path;
    platform::UniqueFd m_fd;
};

} // namespace quaylet
