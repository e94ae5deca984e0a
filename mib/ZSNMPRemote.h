// The interface table of another machine, read over SNMP (v2c or v3) with Net-SNMP's client.
//
// Net-SNMP and the crypto library it needs are loaded only when a remote agent is used: the
// walk lives in a module of its own (libsorvanesnmp.so) beside the agent libraries, so a
// meter of this machine maps none of it.
//
// The window never waits for the network: TZSNMPRemoteLoader answers each load with the table
// that arrived since the previous load (an empty one, read as a missing reading, when none did)
// and asks again; an answer that arrives after the next load is dropped.
#pragma once
#include "ZSNMPMIB.h"
#include "ZSettings.h"
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Where and how to ask: the settings' record of it. An empty Host means this machine.
using TZSNMPRemoteAgent = TAgentSettings;

enum class TZSNMPRemoteError : std::uint8_t {
    None,
    ModuleMissing,  // libsorvanesnmp.so (or Net-SNMP) could not be loaded
    BadSettings,    // e.g. an unknown protocol name or a passphrase under 8 characters
    HostUnknown,    // the name does not resolve, or the address cannot be opened
    Timeout,        // no answer within the time (also a wrong v2c community: agents stay silent)
    Authentication, // v3: unknown user, wrong digest, unsupported security level
    Refused,        // an answer with an error status, or nothing usable in it
};

struct TZSNMPRemoteResult {
    // Never null. After a failure the rows walked whole stay: a row that lacks a selected column
    // would read as a counter at zero, where an absent row reads as a missing reading.
    std::unique_ptr<TZSNMPMIBIFTable> Table;
    TZSNMPRemoteError Error = TZSNMPRemoteError::None;
};

// The walk's bounds: a hostile or broken agent ends it with a bounded cost.
inline constexpr int kZSNMPRemoteMaxRows = 4096;         // rows per column
inline constexpr std::size_t kZSNMPRemoteMaxDescr = 255; // octets kept of an ifDescr
inline constexpr std::chrono::milliseconds kZSNMPRemoteTickDeadline{700};

// Walks the selected columns of ifTable within the deadline, blocking the calling thread:
// for worker threads only. The octet columns come from ifXTable's 64-bit counters where the
// agent has them, folded to their low 32 bits (the sources take differences modulo 2^32, so
// either width gives the same samples).
TZSNMPRemoteResult ZSNMPRemoteLoad(const TZSNMPRemoteAgent& agent, TZSNMPMIBIFSelectSet select,
                                   std::chrono::milliseconds deadline);

// The interface descriptions of the agent, in its order; blocking like ZSNMPRemoteLoad.
struct TZSNMPRemoteDescriptions {
    std::vector<std::string> Names;
    TZSNMPRemoteError Error = TZSNMPRemoteError::None;
};
TZSNMPRemoteDescriptions ZSNMPRemoteLoadDescriptions(const TZSNMPRemoteAgent& agent,
                                                     std::chrono::milliseconds deadline);

struct SorvaneSnmpSession;
struct SorvaneSnmpInterface;

// ZSNMPRemoteLoad for one agent again and again: the name is resolved, the v3 engine found and
// the keys made at the first load, not at each. Blocking; one thread at a time.
class TZSNMPRemoteSession {
public:
    explicit TZSNMPRemoteSession(const TZSNMPRemoteAgent& agent);
    ~TZSNMPRemoteSession();
    TZSNMPRemoteSession(const TZSNMPRemoteSession&) = delete;
    TZSNMPRemoteSession& operator=(const TZSNMPRemoteSession&) = delete;
    TZSNMPRemoteResult Load(TZSNMPMIBIFSelectSet select, std::chrono::milliseconds deadline);

private:
    const SorvaneSnmpInterface* FModule = nullptr;
    SorvaneSnmpSession* FSession = nullptr;
    TZSNMPRemoteError FOpenError = TZSNMPRemoteError::None;
};

// The loader the shared table uses for a remote agent: each load returns at once.
class TZSNMPRemoteLoader : public TZIFTableLoader {
public:
    explicit TZSNMPRemoteLoader(TZSNMPRemoteAgent agent,
                                std::chrono::milliseconds deadline = kZSNMPRemoteTickDeadline);
    ~TZSNMPRemoteLoader() override; // joins the worker; returns within the deadline
    TZSNMPRemoteLoader(const TZSNMPRemoteLoader&) = delete;
    TZSNMPRemoteLoader& operator=(const TZSNMPRemoteLoader&) = delete;
    // The table answered since the previous call, or an empty one; then asks for `select`.
    std::unique_ptr<TZSNMPMIBIFTable> LoadIFTable(TZSNMPMIBIFSelectSet select) override;
    // The error of the newest answer (None before the first).
    TZSNMPRemoteError LastError() const;
    // An answer is waiting for the next load.
    bool AnswerReady() const;

private:
    struct TWorker;
    std::unique_ptr<TWorker> FWorker;
};
