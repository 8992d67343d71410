// The stand-in host's log service, logs (one per subsystem) and log entries.
// Every accepted entry is recorded with its subsystem, entry type and text.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostsim/HostPolicy.h"
#include "hostsim/SimObject.h"

namespace fennick {
namespace hostsim {

struct LogRecord {
    std::string subsystem;
    LxResult type;
    std::string text;
};

class SimLogEntry : public SimObject {
public:
    SimLogEntry(LxResult type, std::string text);
    LxResult type() const { return m_type; }
    const std::string& text() const { return m_text; }

private:
    LxResult m_type;
    std::string m_text;
};

class SimLogService;

class SimLog : public SimObject {
public:
    SimLog(SimLogService& service, std::string subsystem);
    const std::string& subsystem() const { return m_subsystem; }
    LxResult addEntry(LXtObjectID entry);

private:
    SimLogService& m_service;
    std::string m_subsystem;
};

class SimLogService : public SimObject {
public:
    // `policy` decides which logs exist and whether entries are made; it is
    // borrowed and must outlive the service.
    explicit SimLogService(HostPolicy& policy);

    LxResult subSystem(const char* name, void** log);
    LxResult newEntry(LxResult type, const char* text, void** entry);

    // The log of a subsystem, made on first request; null when the policy
    // has no log for it.
    SimLog* log(const std::string& name);

    // The entry behind an object handed out by newEntry, or null for any
    // other object.
    SimLogEntry* findEntry(LXtObjectID entry);

    std::vector<LogRecord>& records() { return m_records; }
    const std::vector<LogRecord>& records() const { return m_records; }

    long totalReferences() const;
    long totalMisuses() const;

private:
    HostPolicy& m_policy;
    std::vector<std::unique_ptr<SimLog>> m_logs;
    std::vector<std::unique_ptr<SimLogEntry>> m_entries;
    std::vector<LogRecord> m_records;
};

}  // namespace hostsim
}  // namespace fennick
