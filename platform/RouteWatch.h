// Which interface the kernel routes internet traffic through, and word of when that may change.
//
// The answer is the kernel's own routing decision for a public destination (the question
// `ip route get` asks; no packet is sent), so metrics, policy rules and VPNs that take the
// default route count as the kernel counts them. Notifications of route, rule and link changes
// arrive on a netlink socket the caller watches; the lookup is made again only after one.
#pragma once
#include <cstdint>
#include <string>

class TRouteWatch {
public:
    TRouteWatch() = default;
    ~TRouteWatch();
    TRouteWatch(const TRouteWatch&) = delete;
    TRouteWatch& operator=(const TRouteWatch&) = delete;

    // Subscribes to the notifications; false (and Fd() -1) when the kernel refuses.
    bool Open();
    // Readable when notifications are pending.
    int Fd() const { return FNotify; }
    // Reads every pending notification without blocking; true when any arrived, or when some
    // were lost to an overrun. A flood is read in bounded portions.
    bool Drain();
    // The interface a public IPv4 destination is routed through, else (no IPv4 route) that of a
    // public IPv6 destination; empty when neither has a route.
    std::string LookUp();
    std::uint64_t LookUps() const { return FLookUps; }

private:
    int FNotify = -1;
    std::uint32_t FSequence = 0;
    std::uint64_t FLookUps = 0;
};

// Decides per tick whether to ask again: at the first tick and after a notification only.
class TUplinkFollower {
public:
    // True when the uplink's name differs from the tick before (or this is the first tick);
    // `before`, where given, then takes the name it had.
    template <typename Watch>
    bool Tick(Watch& watch, bool notified, std::string* before = nullptr) {
        if (FKnown && !notified) return false;
        std::string now = watch.LookUp();
        const bool changed = !FKnown || now != FName;
        FKnown = true;
        if (changed && before) *before = std::move(FName);
        FName = std::move(now);
        return changed;
    }
    const std::string& Name() const { return FName; }

private:
    bool FKnown = false;
    std::string FName;
};
