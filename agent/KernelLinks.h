// The agent's only contact with the kernel: rtnetlink link dumps and the ethtool speed of a link,
// through one netlink socket that is kept between reads (making one costs as much as the dump).
#pragma once

#include "IfTableSnapshot.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sorvane::agent {

class LinkReader {
public:
    LinkReader() = default;
    ~LinkReader();
    LinkReader(const LinkReader&) = delete;
    LinkReader& operator=(const LinkReader&) = delete;

    // The socket serves the network namespace of the thread that opened it: this drops it, and
    // the next read opens one in the namespace of the calling thread.
    void reopen();

    // One RTM_GETLINK dump of every link; none when the kernel cannot be read. A dump that raced
    // with a change of the links is taken again, a few times at most.
    std::optional<std::vector<LinkInfo>> dump();

    // The unprivileged ethtool link-settings query (the older one where the driver lacks it):
    // the speed in Mb/s as the driver reports it, 0 when the query fails.
    std::uint32_t speedMbps(std::string_view name);

private:
    enum class Result { Complete, Interrupted, Failed };
    bool open();
    Result dumpOnce(std::vector<LinkInfo>& links);

    int FSocket = -1;
    std::uint32_t FSequence = 0;
    std::vector<std::uint8_t> FBuffer;
};

} // namespace sorvane::agent
