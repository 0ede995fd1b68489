#pragma once

// The update check made off the window thread, so that the window stays
// responsive while the version file is fetched.
//
// The check runs on a worker thread of its own under an internet abort check;
// destroying the task interrupts the exchange within the internet layer's
// poll interval. The answer is delivered as an event of the context object,
// on the context's thread, unless the task was destroyed first.

#include "update/updatecheck.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace quaylet {

struct UpdateCheckAnswer {
    int result = 0; // CheckForUpdate's: 1 when a newer version exists
    uint32_t ownVersion = 0;
    uint32_t webVersion = 0;
    std::string downloadAddress; // set when result is 1
};

using UpdateCheckDone = std::function<void(const UpdateCheckAnswer& answer)>;

class CUpdateCheckTask final {
    Q_DISABLE_COPY_MOVE(CUpdateCheckTask)

public:
    // context must outlive the task; done runs as one of its events and may
    // destroy the task.
    CUpdateCheckTask(std::unique_ptr<CUpdateCheck> check, std::string address, QObject& context,
                     UpdateCheckDone done);
    // Interrupts the check and waits for the worker, at most kJoinBoundMs; a
    // worker that outlasts the bound finishes alone, owning what it uses.
    ~CUpdateCheckTask();

    static constexpr int kJoinBoundMs = 3000;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

} // namespace quaylet
