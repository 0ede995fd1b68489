#include "app/sessionend.h"

#include "platform/interruptwatch.h"

#include <QSocketNotifier>

namespace quaylet {

SessionEnd::SessionEnd(platform::InterruptWatch* watch, QObject* parent) : QObject(parent), m_watch(watch)
{
    if (m_watch == nullptr || m_watch->wakeFd() < 0)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(m_watch->wakeFd(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        // The wake descriptor stays readable: read it once and never again.
        m_notifier->setEnabled(false);
        Q_EMIT ended(m_watch->signal());
    });
}

SessionEnd::~SessionEnd() = default;

const platform::Event& SessionEnd::requested() const
{
    return m_watch != nullptr ? m_watch->interrupted : m_never;
}

} // namespace quaylet
