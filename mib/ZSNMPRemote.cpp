#include "ZSNMPRemote.h"

#include "remote/SorvaneSnmpAbi.h"

#include <array>
#include <charconv>
#include <condition_variable>
#include <dlfcn.h>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace {

constexpr const char* kModuleLibrary = "libsorvanesnmp.so";

// The module, loaded at the first remote load and kept for the life of the process: Net-SNMP is
// set up once per process and never taken down.
const SorvaneSnmpInterface* remoteModule() {
    static const SorvaneSnmpInterface* const module = []() -> const SorvaneSnmpInterface* {
        for (const std::string& path : ZSNMPMIBLibraryCandidates(kModuleLibrary)) {
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) continue;
            const auto entry =
                reinterpret_cast<SorvaneSnmpInterfaceFn>(::dlsym(handle, "sorvane_snmp_interface"));
            const SorvaneSnmpInterface* found = entry ? entry() : nullptr;
            if (found && found->abiVersion == SORVANE_SNMP_ABI_VERSION && found->open &&
                found->walk && found->close)
                return found;
            ::dlclose(handle);
        }
        return nullptr;
    }();
    return module;
}

TZSNMPRemoteError errorOf(std::int32_t code) {
    return code >= SORVANE_SNMP_OK && code <= SORVANE_SNMP_REFUSED
               ? static_cast<TZSNMPRemoteError>(code)
               : TZSNMPRemoteError::Refused;
}

// The table being filled, and which columns each row has received.
struct TFill {
    TZSNMPMIBIFTable* Table = nullptr;
    std::unordered_map<std::uint32_t, std::uint32_t> Columns; // by ifIndex
};

// A cell goes in as the local agent's binding of the same name would.
void storeCell(void* context, std::uint32_t column, std::uint32_t ifIndex, std::uint32_t number,
               const std::uint8_t* octets, std::uint32_t length, std::int32_t isOctets) {
    if (column < 1 || column > kZSNMPMIBIFColumnCount) return;
    auto& fill = *static_cast<TFill*>(context);
    std::array<std::uint32_t, 11> ids{1, 3, 6, 1, 2, 1, 2, 2, 1, column, ifIndex};
    SnmpVarBind binding{};
    binding.name = {static_cast<std::uint32_t>(ids.size()), ids.data()};
    if (isOctets) {
        binding.value.asnType = ASN_OCTETSTRING;
        binding.value.asnValue.string = {const_cast<std::uint8_t*>(octets), octets ? length : 0, 0};
    } else {
        binding.value.asnType = ASN_COUNTER32;
        binding.value.asnValue.unsigned32 = number;
    }
    ZSNMPMIBStoreBinding(*fill.Table, binding);
    fill.Columns[ifIndex] |= 1u << (column - 1);
}

// After a failure, only the rows that got every selected column: a row that lacks one would
// read as a counter fallen to zero, where a row that is absent reads as a missing reading.
void keepCompleteRows(std::unique_ptr<TZSNMPMIBIFTable>& table, const TFill& fill,
                      TZSNMPMIBIFSelectSet select) {
    auto complete = [&](const TZSNMPMIBIFEntry& row) {
        std::uint32_t index = 0;
        const char* end = row.Key.data() + row.Key.size();
        if (std::from_chars(row.Key.data(), end, index).ptr != end) return false;
        const auto found = fill.Columns.find(index);
        return found != fill.Columns.end() && (found->second & select.Bits()) == select.Bits();
    };
    bool all = true;
    for (int i = 0; i < table->Count() && all; ++i)
        all = complete(*table->Items(i));
    if (all) return;
    auto kept = std::make_unique<TZSNMPMIBIFTable>();
    for (int i = 0; i < table->Count(); ++i) {
        const TZSNMPMIBIFEntry& row = *table->Items(i);
        if (complete(row)) *kept->FindOrAdd(row.Key) = row;
    }
    table = std::move(kept);
}

} // namespace

TZSNMPRemoteSession::TZSNMPRemoteSession(const TZSNMPRemoteAgent& agent) {
    FModule = remoteModule();
    if (!FModule) {
        FOpenError = TZSNMPRemoteError::ModuleMissing;
        return;
    }
    const SorvaneSnmpAgent settings{agent.Host.c_str(),         agent.Version,
                                    agent.Community.c_str(),    agent.User.c_str(),
                                    agent.AuthProtocol.c_str(), agent.AuthPassphrase.c_str(),
                                    agent.PrivProtocol.c_str(), agent.PrivPassphrase.c_str()};
    std::int32_t error = SORVANE_SNMP_BAD_SETTINGS;
    FSession = FModule->open(&settings, &error);
    FOpenError = FSession ? TZSNMPRemoteError::None : errorOf(error);
}

TZSNMPRemoteSession::~TZSNMPRemoteSession() {
    if (FSession) FModule->close(FSession);
}

TZSNMPRemoteResult TZSNMPRemoteSession::Load(TZSNMPMIBIFSelectSet select,
                                             std::chrono::milliseconds deadline) {
    TZSNMPRemoteResult result{std::make_unique<TZSNMPMIBIFTable>(), FOpenError};
    if (!FSession || select.Empty()) return result;
    TFill fill{result.Table.get(), {}};
    const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(deadline);
    result.Error =
        errorOf(FModule->walk(FSession, select.Bits(), microseconds.count(), kZSNMPRemoteMaxRows,
                              kZSNMPRemoteMaxDescr, &storeCell, &fill));
    if (result.Error != TZSNMPRemoteError::None) keepCompleteRows(result.Table, fill, select);
    return result;
}

TZSNMPRemoteResult ZSNMPRemoteLoad(const TZSNMPRemoteAgent& agent, TZSNMPMIBIFSelectSet select,
                                   std::chrono::milliseconds deadline) {
    return TZSNMPRemoteSession(agent).Load(select, deadline);
}

TZSNMPRemoteDescriptions ZSNMPRemoteLoadDescriptions(const TZSNMPRemoteAgent& agent,
                                                     std::chrono::milliseconds deadline) {
    const TZSNMPRemoteResult result =
        ZSNMPRemoteLoad(agent, {TZSNMPMIBIFSelect::zifDescr}, deadline);
    TZSNMPRemoteDescriptions descriptions;
    descriptions.Error = result.Error;
    descriptions.Names.reserve(static_cast<std::size_t>(result.Table->Count()));
    for (int i = 0; i < result.Table->Count(); ++i)
        descriptions.Names.push_back(result.Table->Items(i)->ifDescr);
    return descriptions;
}

// What the window's thread and the worker share. The worker keeps it alive while it runs, so a
// worker that outlives its loader (a name lookup that takes longer than the deadline) still
// finds it.
struct TZSNMPRemoteLoader::TWorker {
    struct TShared {
        mutable std::mutex Mutex;
        std::condition_variable Wake;     // a request, or the stop
        std::condition_variable Finished; // the worker is done
        bool Stop = false;
        bool Done = false;
        std::uint64_t Generation = 0; // counts the loads; an answer to an older one is dropped
        bool Requested = false;
        TZSNMPMIBIFSelectSet Select;
        std::uint64_t RequestGeneration = 0;
        std::unique_ptr<TZSNMPMIBIFTable> Answer;
        TZSNMPRemoteError Error = TZSNMPRemoteError::None;
    };

    static void Run(const std::shared_ptr<TShared>& shared, const TZSNMPRemoteAgent& agent,
                    std::chrono::milliseconds deadline) {
        // Made here, not in the window's thread: opening makes the v3 keys.
        std::unique_ptr<TZSNMPRemoteSession> session;
        std::unique_lock lock(shared->Mutex);
        for (;;) {
            shared->Wake.wait(lock, [&] { return shared->Stop || shared->Requested; });
            if (shared->Stop) break;
            shared->Requested = false;
            const TZSNMPMIBIFSelectSet select = shared->Select;
            const std::uint64_t generation = shared->RequestGeneration;
            lock.unlock();
            if (!session) session = std::make_unique<TZSNMPRemoteSession>(agent);
            TZSNMPRemoteResult result = session->Load(select, deadline);
            lock.lock();
            shared->Error = result.Error;
            if (generation == shared->Generation) shared->Answer = std::move(result.Table);
        }
        lock.unlock();
        session.reset();
        lock.lock();
        shared->Done = true;
        shared->Finished.notify_all();
    }

    std::shared_ptr<TShared> Shared = std::make_shared<TShared>();
    std::chrono::milliseconds Deadline{};
    std::thread Thread;
};

TZSNMPRemoteLoader::TZSNMPRemoteLoader(TZSNMPRemoteAgent agent, std::chrono::milliseconds deadline)
    : FWorker(std::make_unique<TWorker>()) {
    FWorker->Deadline = deadline;
    FWorker->Thread = std::thread(&TWorker::Run, FWorker->Shared, std::move(agent), deadline);
}

TZSNMPRemoteLoader::~TZSNMPRemoteLoader() {
    TWorker::TShared& shared = *FWorker->Shared;
    std::unique_lock lock(shared.Mutex);
    shared.Stop = true;
    shared.Wake.notify_all();
    // A walk ends by its deadline; only a name lookup can run over, and the window does not
    // wait for that: the worker then ends on its own.
    const bool done =
        shared.Finished.wait_for(lock, FWorker->Deadline, [&] { return shared.Done; });
    lock.unlock();
    if (done)
        FWorker->Thread.join();
    else
        FWorker->Thread.detach();
}

std::unique_ptr<TZSNMPMIBIFTable> TZSNMPRemoteLoader::LoadIFTable(TZSNMPMIBIFSelectSet select) {
    TWorker::TShared& shared = *FWorker->Shared;
    std::unique_ptr<TZSNMPMIBIFTable> answer;
    {
        const std::lock_guard lock(shared.Mutex);
        answer = std::move(shared.Answer);
        ++shared.Generation;
        shared.Select = select;
        shared.RequestGeneration = shared.Generation;
        shared.Requested = true;
    }
    shared.Wake.notify_one();
    return answer ? std::move(answer) : std::make_unique<TZSNMPMIBIFTable>();
}

TZSNMPRemoteError TZSNMPRemoteLoader::LastError() const {
    const std::lock_guard lock(FWorker->Shared->Mutex);
    return FWorker->Shared->Error;
}

bool TZSNMPRemoteLoader::AnswerReady() const {
    const std::lock_guard lock(FWorker->Shared->Mutex);
    return FWorker->Shared->Answer != nullptr;
}
