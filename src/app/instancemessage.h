#pragma once

// What later starts say to the running client over its local socket. A
// command is a line ("show", "close"); "open <n>" is followed by n bytes that
// hold paths, each ended by a NUL, so that a name may hold any byte but NUL
// (a line feed, bytes that are not UTF-8) and still arrive as it was given.

#include <QByteArray>

#include <string>
#include <vector>

namespace quaylet {

QByteArray OpenMessage(const std::vector<std::string>& paths);

struct InstanceMessage {
    QByteArray command; // "show", "close", "open", or what an unknown sender said
    std::vector<std::string> paths; // for "open"
};

// Reassembles messages from the pieces a socket delivers them in.
class InstanceMessageReader final {
public:
    // A larger "open" is refused, and the rest of that connection ignored.
    static constexpr qsizetype kMaxOpenBytes = qsizetype(64) << 20;

    // Takes the bytes that arrived; returns the messages they completed.
    std::vector<InstanceMessage> feed(const QByteArray& bytes);

private:
    QByteArray m_buffer;
    qsizetype m_openBytes = -1; // the size of the "open" being received, else -1
    bool m_broken = false;
};

} // namespace quaylet
