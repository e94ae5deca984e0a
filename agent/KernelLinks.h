// The agent's only contact with the kernel: rtnetlink link dumps and the ethtool speed of a link,
// through one netlink socket that is kept between reads (making one costs as much as the dump).
#pragma once

#include "IfTableSnapshot.h"

#include <cstdint>
#include <memory>
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

    // One RTM_GETSTATS dump of the 64-bit counters of every link, into `links`; false when the
    // kernel cannot give it or the dump raced with a change of the links.
    bool counters(std::vector<LinkCountersAt>& links);
    // The 64-bit counters of the link of this index alone, into `links` (one entry); false
    // when the kernel cannot give them.
    bool countersOf(std::uint32_t index, std::vector<LinkCountersAt>& links);

    // Whether the kernel announced a change of any link (added, removed, renamed, its flags,
    // address, MTU or type) since the last call; true too when that cannot be known (first
    // call, no watch, a lost announcement). Listens from the first call on.
    bool linksChanged();

    // The unprivileged ethtool link-settings query (the older one where the driver lacks it):
    // the speed in Mb/s as the driver reports it, 0 when the query fails.
    std::uint32_t speedMbps(std::string_view name);

private:
    enum class Result { Complete, Interrupted, Failed };
    bool open();
    bool send(std::uint16_t type, const void* body, std::size_t size, bool dump = true);
    template <typename Parser> Result receive(Parser& parser);
    Result dumpOnce(std::vector<LinkInfo>& links);

    int FSocket = -1;
    int FWatch = -1;
    std::uint32_t FSequence = 0;
    // Left uninitialised: only the pages an answer fills become resident.
    std::unique_ptr<std::uint8_t[]> FBuffer;
    static constexpr std::size_t kBufferSize = 64 * 1024;
};

} // namespace sorvane::agent
