#include "ZSNMPMIB.h"

#include "AgentStats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <unistd.h>

namespace {

constexpr std::array<std::uint32_t, 6> kMib2Prefix{1, 3, 6, 1, 2, 1};
constexpr std::array<std::uint32_t, 4> kIfEntryColumnSuffix{2, 2, 1, 0}; // last arc: column
constexpr std::uint32_t kColumnOidLength = kMib2Prefix.size() + kIfEntryColumnSuffix.size();

// Writes the name of ifEntry's column (1..21) at `name`: kColumnOidLength arcs, to which a
// row's instance arcs are added.
void putColumnName(std::uint32_t* name, std::uint32_t column) {
    std::copy(kMib2Prefix.begin(), kMib2Prefix.end(), name);
    std::copy(kIfEntryColumnSuffix.begin(), kIfEntryColumnSuffix.end(), name + kMib2Prefix.size());
    name[kColumnOidLength - 1] = column;
}
// Instance arcs a key is built on the stack for; longer ones (no ifTable row) take the heap.
constexpr std::uint32_t kStackKeyArcs = 16;

char foldCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Two keys match when they are equal after folding: the same as comparing them character by
// character with A-Z taken as a-z.
std::string foldedKey(std::string_view key) {
    std::string folded(key);
    for (char& c : folded)
        c = foldCase(c);
    return folded;
}

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) return {};
    const std::string_view full(path, static_cast<std::size_t>(length));
    const auto slash = full.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(full.substr(0, slash));
}

} // namespace

std::vector<std::string> ZSNMPMIBLibraryCandidates(const char* library) {
    std::vector<std::string> candidates;
    if (const std::string dir = executableDirectory(); !dir.empty()) {
        candidates.push_back(dir + "/" + library);
        // Installed, the libraries sit in a private folder of their own (bin/../lib/sorvane).
        candidates.push_back(dir + "/" SORVANE_AGENTDIR_FROM_BINDIR "/" + library);
    }
    candidates.emplace_back(library);
    return candidates;
}

namespace {

void* openFirst(const std::vector<std::string>& candidates) {
    for (const std::string& path : candidates)
        if (void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    return nullptr;
}

template <typename Fn> bool lookUp(void* module, const char* symbol, Fn& entry) {
    entry = reinterpret_cast<Fn>(::dlsym(module, symbol));
    return entry != nullptr;
}

// Whether `name` comes strictly after `asked` in the order of arcs.
bool strictlyAfter(const std::uint32_t* name, std::uint32_t nameLength, const std::uint32_t* asked,
                   std::uint32_t askedLength) {
    return std::lexicographical_compare(asked, asked + askedLength, name, name + nameLength);
}

void appendHexOctet(std::string& text, std::uint8_t octet) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[octet >> 4];
    text += kDigits[octet & 0x0F];
}

} // namespace

TZSNMPMIBEntry* TZSNMPMIBTable::Items(int position) const {
    if (position < 0 || position >= Count()) return nullptr;
    return FItems[static_cast<std::size_t>(position)].get();
}

TZSNMPMIBEntry* TZSNMPMIBTable::FindOrAdd(std::string_view key) {
    std::string folded = foldedKey(key);
    if (const auto found = FPositions.find(folded); found != FPositions.end())
        return FItems[static_cast<std::size_t>(found->second)].get();
    std::unique_ptr<TZSNMPMIBEntry> entry = NewEntry();
    entry->Key = key;
    // The row goes in first: should the index then fail to grow, a later search misses the
    // row and adds another, but no position ever points past the list.
    FItems.push_back(std::move(entry));
    FPositions.emplace(std::move(folded), Count() - 1);
    return FItems.back().get();
}

std::unique_ptr<TZSNMPMIBEntry> TZSNMPMIBIFTable::NewEntry() const {
    return std::make_unique<TZSNMPMIBIFEntry>();
}

void ZSNMPMIBStoreBinding(TZSNMPMIBIFTable& table, const SnmpVarBind& binding) {
    const AsnObjectIdentifier& name = binding.name;
    if (name.idLength < kColumnOidLength || name.ids == nullptr) return;

    // The key is built on the stack: a row that exists already costs no allocation. The walk
    // keeps names to kMaxNameArcs arcs, at most 11 characters each.
    std::array<char, 11 * kStackKeyArcs> buffer;
    std::string key;
    std::string_view keyView;
    if (name.idLength - kColumnOidLength <= kStackKeyArcs) {
        char* out = buffer.data();
        for (std::uint32_t i = kColumnOidLength; i < name.idLength; ++i) {
            if (i > kColumnOidLength) *out++ = '.';
            out = std::to_chars(out, buffer.data() + buffer.size(), name.ids[i]).ptr;
        }
        keyView = {buffer.data(), static_cast<std::size_t>(out - buffer.data())};
    } else {
        for (std::uint32_t i = kColumnOidLength; i < name.idLength; ++i) {
            if (i > kColumnOidLength) key += '.';
            key += std::to_string(name.ids[i]);
        }
        keyView = key;
    }
    TZSNMPMIBIFEntry& row = *table.FindOrAdd(keyView);

    // Number columns take the first 32-bit word whatever the type says; the octet-string
    // columns trust the pointer only when the type says it is one.
    std::uint32_t word = 0;
    std::memcpy(&word, &binding.value.asnValue, sizeof word);
    const auto number = static_cast<std::int32_t>(word);
    const AsnOctetString* octets =
        binding.value.asnType == ASN_OCTETSTRING && binding.value.asnValue.string.stream != nullptr
            ? &binding.value.asnValue.string
            : nullptr;

    switch (name.ids[kColumnOidLength - 1]) {
    case 1:
        row.ifIndex = number;
        break;
    case 2:
        if (octets)
            row.ifDescr.assign(reinterpret_cast<const char*>(octets->stream), octets->length);
        break;
    case 3:
        row.ifType = number;
        break;
    case 4:
        row.ifMtu = number;
        break;
    case 5:
        row.ifSpeed = word;
        break;
    case 6:
        if (octets) {
            std::string text;
            text.reserve(octets->length * 3);
            for (std::uint32_t i = 0; i < octets->length; ++i) {
                if (i > 0) text += ' ';
                appendHexOctet(text, octets->stream[i]);
            }
            row.ifPhysAddress = std::move(text);
        }
        break;
    case 7:
        row.ifAdminStatus = number;
        break;
    case 8:
        row.ifOperStatus = number;
        break;
    case 9:
        row.ifLastChange = word;
        break;
    case 10:
        row.ifInOctets = word;
        break;
    case 11:
        row.ifInUcastPkts = word;
        break;
    case 12:
        row.ifInNUcastPkts = word;
        break;
    case 13:
        row.ifInDiscards = word;
        break;
    case 14:
        row.ifInErrors = word;
        break;
    case 15:
        row.ifInUnknownProtos = word;
        break;
    case 16:
        row.ifOutOctets = word;
        break;
    case 17:
        row.ifOutUcastPkts = word;
        break;
    case 18:
        row.ifOutNUcastPkts = word;
        break;
    case 19:
        row.ifOutDiscards = word;
        break;
    case 20:
        row.ifOutErrors = word;
        break;
    case 21:
        row.ifOutQLen = word;
        break;
    default:
        break;
    }
}

TZSNMPMIB::TZSNMPMIB() {
    Initialise(ZSNMPMIBLibraryCandidates(kAgentLibrary),
               ZSNMPMIBLibraryCandidates(kUtilityLibrary));
}

TZSNMPMIB::TZSNMPMIB(const std::string& agentLibrary, const std::string& utilityLibrary) {
    Initialise({agentLibrary}, {utilityLibrary});
}

TZSNMPMIB::~TZSNMPMIB() {
    if (FAgentModule) ::dlclose(FAgentModule);
    if (FUtilityModule) ::dlclose(FUtilityModule);
}

void TZSNMPMIB::Initialise(const std::vector<std::string>& agentPaths,
                           const std::vector<std::string>& utilityPaths) {
    FReady = true;
    FAgentModule = openFirst(agentPaths);
    if (!FAgentModule) FReady = false;
    FUtilityModule = openFirst(utilityPaths);
    if (!FUtilityModule) FReady = false;

    FReady = FReady && lookUp(FAgentModule, "SnmpExtensionInit", FSnmpExtensionInit) &&
             lookUp(FAgentModule, "SnmpExtensionQuery", FSnmpExtensionQuery) &&
             lookUp(FUtilityModule, "SnmpUtilOidCpy", FSnmpUtilOidCpy) &&
             lookUp(FUtilityModule, "SnmpUtilMemAlloc", FSnmpUtilMemAlloc) &&
             lookUp(FUtilityModule, "SnmpUtilVarBindFree", FSnmpUtilVarBindFree);
    if (!FReady) return;

    // Optional: an agent without it is walked in full on every load.
    lookUp(FAgentModule, SORVANE_AGENT_LINK_DUMP_COUNT_SYMBOL, FRowsGeneration);

    const auto timeZeroReference = static_cast<std::uint32_t>(std::time(nullptr));
    void* trapEvent = nullptr;
    AsnObjectIdentifier supportedView{};
    if (!FSnmpExtensionInit(timeZeroReference, &trapEvent, &supportedView)) FReady = false;
}

std::unique_ptr<TZSNMPMIBIFTable> TZSNMPMIB::LoadIFTable(TZSNMPMIBIFSelectSet select) {
    auto table = std::make_unique<TZSNMPMIBIFTable>();
    FLoaded = false;
    if (!FReady) return table;
    for (std::uint32_t column = 1; column <= kZSNMPMIBIFColumnCount; ++column)
        if (select.Contains(static_cast<TZSNMPMIBIFSelect>(column - 1))) WalkColumn(column, *table);
    if (FRowsGeneration) {
        FLoadedGeneration = FRowsGeneration();
        FLoaded = true;
    }
    return table;
}

bool TZSNMPMIB::RefreshCounters(TZSNMPMIBIFTable& table, std::span<const int> positions,
                                TZSNMPMIBIFSelectSet columns) {
    if (!FReady || !FLoaded || positions.empty()) return false;
    constexpr std::size_t kMaxBindings = 8;
    std::array<SnmpVarBind, kMaxBindings> bindings{};
    std::array<std::array<std::uint32_t, kColumnOidLength + 1>, kMaxBindings> asked{};
    std::uint32_t count = 0;
    const auto ask = [&](TZSNMPMIBIFSelect column, std::uint32_t instance) {
        if (count == kMaxBindings) return false;
        auto& name = asked[count];
        putColumnName(name.data(), static_cast<std::uint32_t>(column) + 1);
        name[kColumnOidLength] = instance;
        SnmpVarBind& binding = bindings[count++];
        binding.value.asnType = ASN_NULL;
        const AsnObjectIdentifier oid{static_cast<std::uint32_t>(name.size()), name.data()};
        return FSnmpUtilOidCpy(&binding.name, &oid) != 0;
    };
    bool built = true;
    for (const int position : positions) {
        const TZSNMPMIBIFEntry* row = table.Items(position);
        // An ifTable row is named by one arc, its ifIndex.
        std::uint32_t instance = 0;
        built = row && !row->Key.empty() &&
                std::from_chars(row->Key.data(), row->Key.data() + row->Key.size(), instance).ptr ==
                    row->Key.data() + row->Key.size();
        for (const TZSNMPMIBIFSelect column :
             {TZSNMPMIBIFSelect::zifInOctets, TZSNMPMIBIFSelect::zifOutOctets})
            if (built && columns.Contains(column)) built = ask(column, instance);
        if (!built) break;
    }

    bool answered = built && count > 0;
    if (answered) {
        SnmpVarBindList list{bindings.data(), count};
        std::int32_t errorStatus = 0;
        std::int32_t errorIndex = 0;
        answered = FSnmpExtensionQuery(SNMP_PDU_GET, &list, &errorStatus, &errorIndex) != 0 &&
                   errorStatus == SNMP_ERRORSTATUS_NOERROR &&
                   FRowsGeneration() == FLoadedGeneration;
        // Each answer must be the cell asked for, so that it lands in its own row.
        for (std::uint32_t i = 0; answered && i < count; ++i)
            answered = bindings[i].value.asnType == ASN_COUNTER32 &&
                       bindings[i].name.ids != nullptr &&
                       std::equal(asked[i].begin(), asked[i].end(), bindings[i].name.ids,
                                  bindings[i].name.ids + bindings[i].name.idLength);
        // The table takes the answers only once all of them are good.
        for (std::uint32_t i = 0; answered && i < count; ++i)
            ZSNMPMIBStoreBinding(table, bindings[i]);
    }
    for (std::uint32_t i = 0; i < count; ++i)
        FSnmpUtilVarBindFree(&bindings[i]);
    if (!answered) FLoaded = false;
    return answered;
}

void TZSNMPMIB::WalkColumn(std::uint32_t column, TZSNMPMIBIFTable& table) {
    std::array<std::uint32_t, kMaxNameArcs> base{};
    putColumnName(base.data(), column);
    std::array<std::uint32_t, kMaxNameArcs> current = base;
    std::uint32_t currentLength = kColumnOidLength;

    for (int stored = 0; stored < kMaxWalkSteps; ++stored) {
        SnmpVarBind binding{};
        binding.value.asnType = ASN_NULL;
        const AsnObjectIdentifier asked{currentLength, current.data()};
        if (!FSnmpUtilOidCpy(&binding.name, &asked)) {
            FSnmpUtilVarBindFree(&binding);
            return;
        }
        SnmpVarBindList list{&binding, 1};
        std::int32_t errorStatus = 0;
        std::int32_t errorIndex = 0;
        const bool answered =
            FSnmpExtensionQuery(SNMP_PDU_GETNEXT, &list, &errorStatus, &errorIndex) != 0;

        const AsnObjectIdentifier& got = binding.name;
        const bool inColumn = answered && errorStatus == SNMP_ERRORSTATUS_NOERROR &&
                              got.ids != nullptr && got.idLength >= kColumnOidLength &&
                              std::equal(base.begin(), base.begin() + kColumnOidLength, got.ids);
        // A name that does not fit the buffer, or that does not move on, ends the walk: the
        // walk relies on names that grow from step to step, and a broken agent must not make
        // it overflow or loop.
        const bool step = inColumn && got.idLength <= kMaxNameArcs &&
                          strictlyAfter(got.ids, got.idLength, current.data(), currentLength);
        if (step) {
            ZSNMPMIBStoreBinding(table, binding);
            std::copy(got.ids, got.ids + got.idLength, current.begin());
            currentLength = got.idLength;
        }
        FSnmpUtilVarBindFree(&binding);
        if (!step) return;
    }
}
