// The figures of the traffic a window shows, as plain functions over the sources' histories:
// the hover readout's numbers and text, and the full scale of "Auto scale".
#pragma once

#include "ZPerformanceSource.h"

#include <QString>

#include <cstdint>
#include <optional>

// One line's figures over the first columns slots of its history (slot 0: the newest tick).
struct TZSeriesFigures {
    std::optional<std::int64_t> Now; // the newest sample, if there is one
    std::int64_t Average = 0;        // of the valid samples, truncated
    std::int64_t Peak = 0;           // the largest valid sample (0 without any)
};
TZSeriesFigures SeriesFigures(const TZPerformanceSource& source, std::int32_t columns);

enum class TZLinkState { Up, Down, Absent };

// Everything the readout says; rates in bytes per second.
struct TZReadout {
    QString Interface; // empty: unknown
    TZLinkState Link = TZLinkState::Absent;
    bool Offline = false; // no route to follow (the automatic interface)
    // The link's speed in bits per second as the table gives it (0: the link reports none);
    // nothing while the interface has no row.
    std::optional<std::uint32_t> LinkBits;
    // The automatic interface after a switch: the one before, and seconds since the switch.
    QString Before;
    std::int32_t Since = -1;
    std::int32_t Age = -1; // seconds ago of the column under the pointer; -1: none
    std::optional<std::int64_t> ColumnIn, ColumnOut; // as drawn there
    TZSeriesFigures In, Out;
    std::int64_t FullScale = 0;
    std::int32_t Unit = 1;
};

// Lines of plain text: the interface and its state, its link's speed, since when it is followed
// and the one before, the column under the pointer, now,
// average, peak and the full scale, each rate in the unit with "(above full scale)" where
// the graph clips it.
QString ReadoutText(const TZReadout& r);

// "Auto scale": the peak rounded up to a 1-2-5 step of the unit (at least 1 k of it), in bytes
// per second, within 1 ... 2^31 - 1.
std::int32_t AutoScaleMax(std::int64_t peakBytes, std::int32_t unit);
