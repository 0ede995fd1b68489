#include "engine/connectionwarning.h"

namespace quaylet {

class CConnectionWarning::Worker {};

Reachability DesktopReachability()
{
    return Reachability::Unknown;
}

bool ServiceReachable()
{
    return false;
}

CConnectionWarning::CConnectionWarning(ConnectionChecks checks, QObject* parent)
    : QObject(parent), m_checks(std::move(checks))
{
}

CConnectionWarning::~CConnectionWarning() = default;

void CConnectionWarning::checkAfterDrop() {}

void CConnectionWarning::onAnswer(Outcome) {}

} // namespace quaylet
