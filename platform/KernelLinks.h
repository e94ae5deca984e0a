// The agent's only contact with the kernel: one rtnetlink link dump, and the ethtool speed of a
// link. Both act on the network namespace of the calling thread.
#pragma once

#include "IfTableSnapshot.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sorvane::agent {

// One RTM_GETLINK dump of every link; none when the kernel cannot be read. A dump that raced with
// a change of the links is taken again, a few times at most.
std::optional<std::vector<LinkInfo>> readLinkDump();

// Asks the unprivileged ethtool link-settings query (the older one where the driver lacks it).
class LinkSpeedQuery {
public:
    LinkSpeedQuery();
    ~LinkSpeedQuery();
    LinkSpeedQuery(const LinkSpeedQuery&) = delete;
    LinkSpeedQuery& operator=(const LinkSpeedQuery&) = delete;

    // Speed in Mb/s as the driver reports it; 0 when the query fails.
    std::uint32_t speedMbps(std::string_view name) const;

private:
    int FSocket;
};

} // namespace sorvane::agent
