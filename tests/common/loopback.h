// Traffic over loopback for the tests that run the agent against the kernel, in a network
// namespace of their own (where lo starts down).
#pragma once

namespace testcommon {

// Sets lo up in this thread's network namespace; false where that is refused.
bool BringLoopbackUp();

// Sends count UDP datagrams of size payload octets to a receiver on 127.0.0.1 and reads them
// back; true only when every one went out and came in whole. Each adds 20 + 8 + size octets
// to both of lo's counters, which count no link header.
bool SendLoopback(int count, int size);

} // namespace testcommon
