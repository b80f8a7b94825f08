// The directory monitor's shared events.
#include "watch/SMonitorEvents.h"

SMonitorEvents::SMonitorEvents()
    : m_hStop(platform::CreateEventObject(true, false)), m_hWake(platform::CreateEventObject(false, false))
{
}

SMonitorEvents::~SMonitorEvents()
{
    platform::CloseHandleObject(m_hStop);
    platform::CloseHandleObject(m_hWake);
}
