#include "hostsim/SimLog.h"

#include "hostabi/lxguids.h"

namespace fennick {
namespace hostsim {

namespace {

LxResult LXx_CALL SubSystemEntry(LXtObjectID self, const char* name, void** log)
{
    return static_cast<SimLogService*>(SimObject::from(self))->subSystem(name, log);
}

LxResult LXx_CALL NewEntryEntry(LXtObjectID self, LxResult type, const char* text, void** entry)
{
    return static_cast<SimLogService*>(SimObject::from(self))->newEntry(type, text, entry);
}

LxResult LXx_CALL AddEntryEntry(LXtObjectID self, LXtObjectID entry)
{
    return static_cast<SimLog*>(SimObject::from(self))->addEntry(entry);
}

const ILxLogServiceVT kLogServiceTable = [] {
    ILxLogServiceVT t{};
    t.unk = SimObject::unknownEntries();
    t.SubSystem = SubSystemEntry;
    t.NewEntry = NewEntryEntry;
    return t;
}();

const ILxLogVT kLogTable = {SimObject::unknownEntries(), AddEntryEntry};

const ILxLogEntryVT kLogEntryTable = {SimObject::unknownEntries()};

}  // namespace

SimLogEntry::SimLogEntry(LxResult type, std::string text)
    : SimObject(&kLogEntryTable, LXu_LOGENTRY), m_type(type), m_text(std::move(text))
{
}

SimLog::SimLog(SimLogService& service, std::string subsystem)
    : SimObject(&kLogTable, LXu_LOG), m_service(service), m_subsystem(std::move(subsystem))
{
}

LxResult SimLog::addEntry(LXtObjectID entry)
{
    SimLogEntry* found = entry ? m_service.findEntry(entry) : nullptr;
    if (!found) {
        misuse();
        return LXe_FAILED;
    }
    m_service.records().push_back(LogRecord{m_subsystem, found->type(), found->text()});
    return LXe_OK;
}

SimLogService::SimLogService(HostPolicy& policy)
    : SimObject(&kLogServiceTable, LXu_LOGSERVICE), m_policy(policy)
{
}

SimLog* SimLogService::log(const std::string& name)
{
    if (!m_policy.hasLog(name))
        return nullptr;
    for (auto& log : m_logs) {
        if (log->subsystem() == name)
            return log.get();
    }
    m_logs.push_back(std::make_unique<SimLog>(*this, name));
    return m_logs.back().get();
}

LxResult SimLogService::subSystem(const char* name, void** out)
{
    if (!name || !out) {
        misuse();
        return LXe_FAILED;
    }
    SimLog* found = log(name);
    if (!found)
        return LXe_NOTFOUND;
    found->addRef();
    *out = found->id();
    return LXe_OK;
}

LxResult SimLogService::newEntry(LxResult type, const char* text, void** out)
{
    if (!text || !out) {
        misuse();
        return LXe_FAILED;
    }
    if (!m_policy.makesEntry())
        return LXe_FAILED;
    m_entries.push_back(std::make_unique<SimLogEntry>(type, text));
    m_entries.back()->addRef();
    *out = m_entries.back()->id();
    return LXe_OK;
}

SimLogEntry* SimLogService::findEntry(LXtObjectID entry)
{
    for (auto& e : m_entries) {
        if (e->id() == entry)
            return e.get();
    }
    return nullptr;
}

long SimLogService::totalReferences() const
{
    long total = SimObject::references();
    for (const auto& log : m_logs)
        total += log->references();
    for (const auto& e : m_entries)
        total += e->references();
    return total;
}

long SimLogService::totalMisuses() const
{
    long total = SimObject::misuses();
    for (const auto& log : m_logs)
        total += log->misuses();
    for (const auto& e : m_entries)
        total += e->misuses();
    return total;
}

}  // namespace hostsim
}  // namespace fennick
