// libsorvanesnmp.so: the interface table of a remote agent, walked with Net-SNMP's single-session
// API. The library is built without locking of its own, and its process-wide state (the USM user
// list, engine times, request ids) is touched by every request, so every call into it is made
// under one lock; a walk that cannot take the lock before its deadline has timed out.
#include "SorvaneSnmpAbi.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/keytools.h>
#include <net-snmp/library/snmpusm.h>
#include <net-snmp/library/transform_oids.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr std::array<oid, 10> kIfEntry{1, 3, 6, 1, 2, 1, 2, 2, 1, 0};      // last arc: column
constexpr std::array<oid, 11> kIfXEntry{1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 0}; // last arc: column
constexpr oid kIfInOctets = 10, kIfOutOctets = 16;
constexpr oid kIfHCInOctets = 6, kIfHCOutOctets = 10;
// usmStats: unsupportedSecLevels .1, unknownUserNames .3, wrongDigests .5, decryptionErrors .6.
constexpr std::array<oid, 9> kUsmStats{1, 3, 6, 1, 6, 3, 15, 1, 1};
constexpr int kColumns = 21;
// Repetitions asked per column: one more than the rows seen last time, so that a table that
// stays as it was takes one exchange; within these bounds.
constexpr long kMinRepetitions = 4, kMaxRepetitions = 48;
// Below this much time left a request gets no second try.
constexpr std::chrono::milliseconds kShortestRetry{200};

std::timed_mutex& libraryLock() {
    static std::timed_mutex lock;
    return lock;
}

void initialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // A handler that drops every message: without one the library writes to stderr.
        netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG);
        // Numeric names only: no configuration, persistent or MIB file is read or written.
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_set_mib_directory("");
        init_snmp("sorvane");
    });
}

bool equalFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

const oid* authProtocol(std::string_view name) {
    if (equalFolded(name, "MD5")) return usmHMACMD5AuthProtocol;
    if (equalFolded(name, "SHA")) return usmHMACSHA1AuthProtocol;
    if (equalFolded(name, "SHA-256")) return usmHMAC192SHA256AuthProtocol;
    if (equalFolded(name, "SHA-512")) return usmHMAC384SHA512AuthProtocol;
    return nullptr;
}

const oid* privProtocol(std::string_view name) {
    if (equalFolded(name, "DES")) return usmDESPrivProtocol;
    if (equalFolded(name, "AES")) return usmAESPrivProtocol;
    return nullptr;
}

std::string_view text(const char* s) {
    return s ? std::string_view(s) : std::string_view();
}

bool authenticationError(int error) {
    switch (error) {
    case SNMPERR_AUTHENTICATION_FAILURE:
    case SNMPERR_UNKNOWN_USER_NAME:
    case SNMPERR_UNSUPPORTED_SEC_LEVEL:
    case SNMPERR_DECRYPTION_ERR:
    case SNMPERR_USM_AUTHENTICATIONFAILURE:
    case SNMPERR_USM_UNKNOWNSECURITYNAME:
    case SNMPERR_USM_UNSUPPORTEDSECURITYLEVEL:
    case SNMPERR_USM_DECRYPTIONERROR:
        return true;
    default:
        return false;
    }
}

// A report that came back as the answer: the USM counters that name a refused identity.
int reportError(const netsnmp_pdu& report) {
    const netsnmp_variable_list* v = report.variables;
    if (v && v->name_length == kUsmStats.size() + 2 &&
        std::equal(kUsmStats.begin(), kUsmStats.end(), v->name)) {
        const oid counter = v->name[kUsmStats.size()];
        if (counter == 1 || counter == 3 || counter == 5 || counter == 6)
            return SORVANE_SNMP_AUTHENTICATION;
    }
    return SORVANE_SNMP_REFUSED;
}

long microseconds(TClock::duration d) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
}

// Spends what is left on one request: one try, or two of half the time each.
void fitTimeout(netsnmp_session& session, TClock::duration left) {
    if (left >= 2 * kShortestRetry) {
        session.timeout = microseconds(left / 2);
        session.retries = 1;
    } else {
        session.timeout = std::max(1L, microseconds(left));
        session.retries = 0;
    }
}

struct TCell {
    std::uint32_t Index = 0;
    std::uint32_t Number = 0;
    bool IsOctets = false;
    std::string Octets;
};

// One column of the walk and how far it has come.
struct TColumn {
    std::uint32_t Column = 0; // the ifTable column its cells are given as
    std::array<oid, 11> Base{};
    std::size_t BaseLength = 0;
    bool HighCapacity = false;
    std::array<oid, MAX_OID_LEN> Last{};
    std::size_t LastLength = 0;
    bool Active = true;
    std::uint32_t Steps = 0; // names walked, stored or not
    std::vector<TCell> Cells;

    void Start(std::uint32_t column, bool highCapacity) {
        Column = column;
        HighCapacity = highCapacity;
        if (highCapacity) {
            std::copy(kIfXEntry.begin(), kIfXEntry.end(), Base.begin());
            Base[kIfXEntry.size() - 1] = column == kIfInOctets ? kIfHCInOctets : kIfHCOutOctets;
            BaseLength = kIfXEntry.size();
        } else {
            std::copy(kIfEntry.begin(), kIfEntry.end(), Base.begin());
            Base[kIfEntry.size() - 1] = column;
            BaseLength = kIfEntry.size();
        }
        std::copy(Base.begin(), Base.begin() + BaseLength, Last.begin());
        LastLength = BaseLength;
        Active = true;
        Steps = 0;
        Cells.clear();
    }
};

bool stringColumn(std::uint32_t column) {
    return column == 2 || column == 6; // ifDescr, ifPhysAddress
}

} // namespace

struct SorvaneSnmpSession {
    std::string Peer;
    std::string Community;
    std::string User;
    long Version = SNMP_VERSION_2c;
    int SecurityLevel = SNMP_SEC_LEVEL_NOAUTH;
    const oid* AuthProtocol = usmNoAuthProtocol;
    const oid* PrivProtocol = usmNoPrivProtocol;
    std::vector<u_char> AuthKu;
    std::vector<u_char> PrivKu;
    // Localised for the engine found at the last opening: what this session's user must hold.
    std::vector<u_char> AuthKul;
    std::vector<u_char> PrivKul;

    void* Handle = nullptr;      // the open Net-SNMP session, or none yet
    bool NoHighCapacity = false; // the agent was found without ifXTable's octet counters
    std::uint32_t RowsSeen = 0;  // the longest column of the last walk

    int Open(TClock::time_point deadline);
    void Shut();
    bool KeepUser();
    int Walk(std::uint32_t columns, TClock::time_point deadline, std::uint32_t maxRows,
             std::uint32_t maxOctets, SorvaneSnmpCellFn cell, void* context);
};

namespace {

bool localise(const oid* hash, const netsnmp_session& live, const std::vector<u_char>& ku,
              std::vector<u_char>& kul) {
    kul.clear();
    if (ku.empty()) return true;
    kul.resize(USM_LENGTH_KU_HASHBLOCK);
    size_t length = kul.size();
    if (generate_kul(hash, 10, live.securityEngineID, live.securityEngineIDLen, ku.data(),
                     ku.size(), kul.data(), &length) != SNMPERR_SUCCESS)
        return false;
    kul.resize(length);
    return true;
}

bool sameKey(const u_char* key, size_t length, const std::vector<u_char>& expected) {
    return length == expected.size() &&
           (length == 0 || std::memcmp(key, expected.data(), length) == 0);
}

bool sameProtocol(const oid* a, size_t length, const oid* b) {
    return a != nullptr && length == 10 && std::equal(a, a + 10, b);
}

} // namespace

int SorvaneSnmpSession::Open(TClock::time_point deadline) {
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.peername = Peer.data();
    settings.version = Version;
    // An initialised session would not ask a v3 engine for its identity.
    settings.flags &= ~SNMP_FLAGS_DONT_PROBE;
    fitTimeout(settings, deadline - TClock::now());
    if (Version == SNMP_VERSION_3) {
        settings.securityModel = SNMP_SEC_MODEL_USM;
        settings.securityName = User.data();
        settings.securityNameLen = User.size();
        settings.securityLevel = SecurityLevel;
        settings.securityAuthProto = const_cast<oid*>(AuthProtocol);
        settings.securityAuthProtoLen = 10;
        settings.securityPrivProto = const_cast<oid*>(PrivProtocol);
        settings.securityPrivProtoLen = 10;
        std::copy(AuthKu.begin(), AuthKu.end(), settings.securityAuthKey);
        settings.securityAuthKeyLen = AuthKu.size();
        std::copy(PrivKu.begin(), PrivKu.end(), settings.securityPrivKey);
        settings.securityPrivKeyLen = PrivKu.size();
    } else {
        settings.community = reinterpret_cast<u_char*>(Community.data());
        settings.community_len = Community.size();
    }
    // Resolves the name and, for v3, asks the engine for its identity.
    Handle = snmp_sess_open(&settings);
    if (!Handle) {
        const int error = settings.s_snmp_errno;
        if (authenticationError(error)) return SORVANE_SNMP_AUTHENTICATION;
        // A probe for the engine's identity that went unanswered leaves no error here: only a
        // name or address that could not be opened does.
        if (error == SNMPERR_TIMEOUT ||
            (Version == SNMP_VERSION_3 && (error == 0 || error == SNMPERR_UNKNOWN_ENG_ID)))
            return SORVANE_SNMP_TIMEOUT;
        return SORVANE_SNMP_HOST_UNKNOWN;
    }
    if (Version == SNMP_VERSION_3) {
        const netsnmp_session& live = *snmp_sess_session(Handle);
        if (live.securityEngineIDLen == 0) {
            Shut();
            return SORVANE_SNMP_TIMEOUT;
        }
        if (!localise(AuthProtocol, live, AuthKu, AuthKul) ||
            !localise(AuthProtocol, live, PrivKu, PrivKul)) {
            Shut();
            return SORVANE_SNMP_BAD_SETTINGS;
        }
    }
    return SORVANE_SNMP_OK;
}

void SorvaneSnmpSession::Shut() {
    if (Handle) snmp_sess_close(Handle);
    Handle = nullptr;
}

// The library keeps one user per engine and name for the whole process and takes the keys of
// the first session that named it: a session opened later with another passphrase would go on
// using the old keys. Puts this session's protocols and keys back where they are not.
bool SorvaneSnmpSession::KeepUser() {
    netsnmp_session& live = *snmp_sess_session(Handle);
    usmUser* user = usm_get_user(live.securityEngineID, live.securityEngineIDLen, User.c_str());
    if (user && sameProtocol(user->authProtocol, user->authProtocolLen, AuthProtocol) &&
        sameProtocol(user->privProtocol, user->privProtocolLen, PrivProtocol) &&
        sameKey(user->authKey, user->authKeyLen, AuthKul) &&
        sameKey(user->privKey, user->privKeyLen, PrivKul))
        return true;
    if (user) {
        usm_remove_user(user);
        user->next = user->prev = nullptr; // freeing a listed user would relink its neighbours
        usm_free_user(user);
    }
    live.flags &= ~SNMP_FLAGS_USER_CREATED;
    return usm_create_user_from_session(&live) == SNMPERR_SUCCESS;
}

int SorvaneSnmpSession::Walk(std::uint32_t columns, TClock::time_point deadline,
                             std::uint32_t maxRows, std::uint32_t maxOctets, SorvaneSnmpCellFn cell,
                             void* context) {
    std::vector<TColumn> walk;
    for (std::uint32_t column = 1; column <= kColumns; ++column)
        if (columns & (1u << (column - 1))) {
            const bool octets = column == kIfInOctets || column == kIfOutOctets;
            walk.emplace_back().Start(column, octets && !NoHighCapacity);
        }

    std::unordered_set<std::uint32_t> rows; // the ifIndex values stored, at most maxRows
    int outcome = SORVANE_SNMP_OK;
    if (!Handle) outcome = Open(deadline);
    if (outcome == SORVANE_SNMP_OK && Version == SNMP_VERSION_3 && !KeepUser())
        outcome = SORVANE_SNMP_REFUSED;

    long repetitions =
        std::clamp(static_cast<long>(RowsSeen) + 1, kMinRepetitions, kMaxRepetitions);
    std::vector<TColumn*> asked;
    while (outcome == SORVANE_SNMP_OK) {
        asked.clear();
        for (TColumn& c : walk)
            if (c.Active) asked.push_back(&c);
        if (asked.empty()) break;
        const TClock::duration left = deadline - TClock::now();
        if (left <= TClock::duration::zero()) {
            outcome = SORVANE_SNMP_TIMEOUT;
            break;
        }

        netsnmp_pdu* request = snmp_pdu_create(SNMP_MSG_GETBULK);
        if (!request) {
            outcome = SORVANE_SNMP_REFUSED;
            break;
        }
        request->non_repeaters = 0;
        request->max_repetitions = repetitions;
        for (TColumn* c : asked)
            snmp_add_null_var(request, c->Last.data(), c->LastLength);
        netsnmp_session& live = *snmp_sess_session(Handle);
        fitTimeout(live, left);
        netsnmp_pdu* response = nullptr;
        const int status = snmp_sess_synch_response(Handle, request, &response);
        if (status == STAT_TIMEOUT) {
            outcome = SORVANE_SNMP_TIMEOUT;
        } else if (status != STAT_SUCCESS || !response) {
            const int error = live.s_snmp_errno;
            outcome = authenticationError(error)    ? SORVANE_SNMP_AUTHENTICATION
                      : error == SNMPERR_BAD_SENDTO ? SORVANE_SNMP_TIMEOUT
                                                    : SORVANE_SNMP_REFUSED;
        } else if (response->command == SNMP_MSG_REPORT) {
            outcome = reportError(*response);
        } else if (response->errstat == SNMP_ERR_TOOBIG && repetitions > 1) {
            repetitions /= 2; // the same request again, for fewer rows
        } else if (response->errstat == SNMP_ERR_AUTHORIZATIONERROR) {
            outcome = SORVANE_SNMP_AUTHENTICATION; // e.g. a v3 user below its required level
        } else if (response->errstat != SNMP_ERR_NOERROR) {
            outcome = SORVANE_SNMP_REFUSED;
        } else {
            // Bindings in the order asked, repetition after repetition; any beyond what was
            // asked are not looked at.
            const std::size_t width = asked.size();
            const std::size_t limit = width * static_cast<std::size_t>(repetitions);
            bool moved = false; // a column went on or came to its end
            std::size_t i = 0;
            for (const netsnmp_variable_list* v = response->variables; v && i < limit;
                 v = v->next_variable, ++i) {
                TColumn& c = *asked[i % width];
                if (!c.Active) continue;
                const bool exception = v->type == SNMP_NOSUCHOBJECT ||
                                       v->type == SNMP_NOSUCHINSTANCE ||
                                       v->type == SNMP_ENDOFMIBVIEW;
                const bool inColumn =
                    v->name_length > c.BaseLength && v->name_length <= MAX_OID_LEN &&
                    std::equal(c.Base.begin(), c.Base.begin() + c.BaseLength, v->name);
                // A name that does not move on ends the column: an agent that repeats itself
                // must not keep the walk going.
                if (exception || !inColumn ||
                    !std::lexicographical_compare(c.Last.begin(), c.Last.begin() + c.LastLength,
                                                  v->name, v->name + v->name_length) ||
                    c.Steps >= maxRows) {
                    c.Active = false;
                    moved = true;
                    continue;
                }
                std::copy(v->name, v->name + v->name_length, c.Last.begin());
                c.LastLength = v->name_length;
                ++c.Steps;
                moved = true;

                // An ifTable row is named by its ifIndex alone.
                const oid index = v->name[c.BaseLength];
                if (v->name_length != c.BaseLength + 1 || index > UINT32_MAX) continue;
                const auto row = static_cast<std::uint32_t>(index);
                if (rows.size() >= maxRows && rows.count(row) == 0) continue;
                TCell stored;
                stored.Index = row;
                if (stringColumn(c.Column)) {
                    if (v->type != ASN_OCTET_STR || (!v->val.string && v->val_len > 0)) continue;
                    stored.IsOctets = true;
                    stored.Octets.assign(reinterpret_cast<const char*>(v->val.string),
                                         std::min<std::size_t>(v->val_len, maxOctets));
                } else if (c.HighCapacity) {
                    if (v->type != ASN_COUNTER64 || !v->val.counter64) continue;
                    // The sources take differences modulo 2^32: the low word is all they need.
                    stored.Number = static_cast<std::uint32_t>(v->val.counter64->low);
                } else {
                    if ((v->type != ASN_INTEGER && v->type != ASN_COUNTER && v->type != ASN_GAUGE &&
                         v->type != ASN_TIMETICKS) ||
                        !v->val.integer)
                        continue;
                    stored.Number = static_cast<std::uint32_t>(*v->val.integer);
                }
                rows.insert(row);
                c.Cells.push_back(std::move(stored));
            }
            // Nothing usable: asking again would get the same.
            if (!moved) outcome = SORVANE_SNMP_REFUSED;
            repetitions = kMaxRepetitions;
        }
        if (response) snmp_free_pdu(response);

        // An agent without ifXTable's counters: the 32-bit columns instead, from now on.
        for (TColumn& c : walk)
            if (!c.Active && c.HighCapacity && c.Cells.empty() && outcome == SORVANE_SNMP_OK) {
                NoHighCapacity = true;
                c.Start(c.Column, false);
            }
    }

    // A refusal of the user or of its keys may come from an engine that has changed: the next
    // walk finds it anew.
    if (outcome == SORVANE_SNMP_AUTHENTICATION || outcome == SORVANE_SNMP_REFUSED) Shut();

    RowsSeen = 0;
    for (const TColumn& c : walk) {
        RowsSeen = std::max(RowsSeen, c.Steps);
        for (const TCell& stored : c.Cells) {
            static const std::uint8_t kNothing = 0;
            const auto* octets = stored.Octets.empty()
                                     ? &kNothing
                                     : reinterpret_cast<const std::uint8_t*>(stored.Octets.data());
            cell(context, c.Column, stored.Index, stored.Number, octets,
                 static_cast<std::uint32_t>(stored.Octets.size()), stored.IsOctets ? 1 : 0);
        }
    }
    return outcome;
}

namespace {

SorvaneSnmpSession* openSession(const SorvaneSnmpAgent* agent, int32_t* error) {
    auto fail = [error](int32_t code) -> SorvaneSnmpSession* {
        if (error) *error = code;
        return nullptr;
    };
    if (!agent || text(agent->host).empty()) return fail(SORVANE_SNMP_BAD_SETTINGS);
    initialiseOnce();
    auto session = std::make_unique<SorvaneSnmpSession>();
    session->Peer = text(agent->host);
    if (agent->version == 2) {
        session->Version = SNMP_VERSION_2c;
        session->Community = text(agent->community);
    } else if (agent->version == 3) {
        session->Version = SNMP_VERSION_3;
        session->User = text(agent->user);
        if (session->User.empty()) return fail(SORVANE_SNMP_BAD_SETTINGS);
        const std::string_view auth = text(agent->authProtocol);
        const std::string_view priv = text(agent->privProtocol);
        if (!auth.empty()) {
            session->AuthProtocol = authProtocol(auth);
            session->SecurityLevel = SNMP_SEC_LEVEL_AUTHNOPRIV;
        }
        if (!priv.empty()) {
            session->PrivProtocol = privProtocol(priv);
            session->SecurityLevel = SNMP_SEC_LEVEL_AUTHPRIV;
        }
        // Privacy without authentication is no level that USM has.
        if (!session->AuthProtocol || !session->PrivProtocol || (!priv.empty() && auth.empty()))
            return fail(SORVANE_SNMP_BAD_SETTINGS);
        // The keys are made once here: a million octets hashed for each passphrase.
        auto makeKu = [&](const char* passphrase, std::vector<u_char>& ku) {
            const std::string_view p = text(passphrase);
            if (p.size() < USM_LENGTH_P_MIN) return false;
            ku.resize(USM_AUTH_KU_LEN);
            size_t length = ku.size();
            if (generate_Ku(session->AuthProtocol, 10, reinterpret_cast<const u_char*>(p.data()),
                            p.size(), ku.data(), &length) != SNMPERR_SUCCESS)
                return false;
            ku.resize(length);
            return true;
        };
        if (!auth.empty() && !makeKu(agent->authPassphrase, session->AuthKu))
            return fail(SORVANE_SNMP_BAD_SETTINGS);
        if (!priv.empty() && !makeKu(agent->privPassphrase, session->PrivKu))
            return fail(SORVANE_SNMP_BAD_SETTINGS);
    } else {
        return fail(SORVANE_SNMP_BAD_SETTINGS);
    }
    if (error) *error = SORVANE_SNMP_OK;
    return session.release();
}

int32_t walkSession(SorvaneSnmpSession* session, uint32_t columns, int64_t timeoutMicroseconds,
                    uint32_t maxRows, uint32_t maxOctets, SorvaneSnmpCellFn cell, void* context) {
    if (!session || !cell) return SORVANE_SNMP_BAD_SETTINGS;
    const TClock::time_point deadline =
        TClock::now() + std::chrono::microseconds(std::max<int64_t>(timeoutMicroseconds, 0));
    std::unique_lock lock(libraryLock(), std::defer_lock);
    // Another walk holds the library past this one's time.
    if (!lock.try_lock_until(deadline)) return SORVANE_SNMP_TIMEOUT;
    return session->Walk(columns, deadline, maxRows, maxOctets, cell, context);
}

void closeSession(SorvaneSnmpSession* session) {
    const std::unique_ptr<SorvaneSnmpSession> owned(session);
    if (!owned) return;
    const std::lock_guard lock(libraryLock());
    owned->Shut();
}

constexpr SorvaneSnmpInterface kInterface{SORVANE_SNMP_ABI_VERSION, openSession, walkSession,
                                          closeSession};

} // namespace

extern "C" const SorvaneSnmpInterface* sorvane_snmp_interface(void) {
    return &kInterface;
}
