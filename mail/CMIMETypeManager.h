// The process-wide registry of MIME content agents, one per type code.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

class CMIMEContentAgent;

// Thread-safe. The agents are made on first use (codes 0, 1, 2, 3, 1000, 1002, 1001) and live
// until the process ends.
class CMIMETypeManager
{
public:
    static CMIMETypeManager& Instance();

    // The first agent registered for the code, or null. The agent stays valid for ever.
    CMIMEContentAgent* FindAgent(int nTypeCode);
    // Adds an agent at the end of the list; the registry takes it over.
    void RegisterAgent(std::unique_ptr<CMIMEContentAgent> pAgent);

private:
    CMIMETypeManager();
    ~CMIMETypeManager();

    std::mutex m_mutex;
    std::vector<std::unique_ptr<CMIMEContentAgent>> m_vAgents;
};
