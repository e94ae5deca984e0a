#include "ZTrafficFigures.h"

#include "ZSettings.h"
#include "ZTextForms.h"

#include <QStringList>

#include <algorithm>
#include <limits>

TZSeriesFigures SeriesFigures(const TZPerformanceSource& source, std::int32_t columns) {
    TZSeriesFigures f;
    const std::int32_t n = std::min(columns, source.Count());
    std::int64_t sum = 0;
    std::int64_t valid = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        if (!source.IsValid(i)) continue;
        const std::int64_t v = source.GetValue(i);
        if (valid == 0 || v > f.Peak) f.Peak = v;
        if (i == 0) f.Now = v;
        sum += v;
        ++valid;
    }
    f.Average = valid > 0 ? sum / valid : 0;
    f.Peak = std::max<std::int64_t>(f.Peak, 0);
    return f;
}

namespace {

QString Rate(std::int64_t v, const TZReadout& r) {
    QString text = RateText(v, r.Unit);
    if (v > r.FullScale) text += QStringLiteral(" (above full scale)");
    return text;
}

QString Pair(const QString& what, std::int64_t in, std::int64_t out, const TZReadout& r) {
    return what + QStringLiteral(": received ") + Rate(in, r) + QStringLiteral(", sent ") +
           Rate(out, r);
}

} // namespace

QString ReadoutText(const TZReadout& r) {
    QStringList lines;
    const QString name =
        r.Interface.isEmpty() ? QStringLiteral("(unknown interface)") : r.Interface;
    if (r.Offline)
        lines << QStringLiteral("offline");
    else
        lines << name + QStringLiteral(" — ") +
                     (r.Link == TZLinkState::Up     ? QStringLiteral("up")
                      : r.Link == TZLinkState::Down ? QStringLiteral("down")
                                                    : QStringLiteral("absent"));
    if (!r.Offline && r.LinkBits) {
        QString speed =
            *r.LinkBits == 0 ? QStringLiteral("unknown") : RateText(*r.LinkBits / 8, r.Unit);
        // The most the table's column holds: a faster link says no more.
        if (*r.LinkBits == std::numeric_limits<std::uint32_t>::max())
            speed += QStringLiteral(" or more");
        lines << QStringLiteral("link: ") + speed;
    }
    if (!r.Before.isEmpty() && r.Since >= 0)
        lines << QStringLiteral("%1 since %2 s, before: %3")
                     .arg(r.Offline ? QStringLiteral("offline") : name)
                     .arg(r.Since)
                     .arg(r.Before);
    if (r.Age >= 0) {
        const QString when = QString::number(r.Age) + QStringLiteral(" s ago");
        if (r.ColumnIn && r.ColumnOut)
            lines << Pair(when, *r.ColumnIn, *r.ColumnOut, r);
        else
            lines << when + QStringLiteral(": no reading");
    }
    if (r.In.Now && r.Out.Now) lines << Pair(QStringLiteral("now"), *r.In.Now, *r.Out.Now, r);
    lines << Pair(QStringLiteral("average"), r.In.Average, r.Out.Average, r);
    lines << Pair(QStringLiteral("peak"), r.In.Peak, r.Out.Peak, r);
    lines << QStringLiteral("full scale: ") + RateText(r.FullScale, r.Unit);
    return lines.join(QLatin1Char('\n'));
}

std::int32_t AutoScaleMax(std::int64_t peakBytes, std::int32_t unit) {
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
    // In the unit, where the steps are round: 1, 2, 5 times a power of ten, from 1000 up.
    const std::int64_t bytes0 = std::clamp<std::int64_t>(peakBytes, 0, kLimit);
    const std::int64_t peak = unit == kScaleUnitByte ? bytes0 : bytes0 * 8;
    std::int64_t step = 1000;
    for (std::int64_t decade = 1000; step < peak; decade *= 10) {
        for (const std::int64_t m : {1, 2, 5}) {
            step = m * decade;
            if (step >= peak) break;
        }
    }
    // Back to bytes, rounded up so that the peak is never clipped.
    const std::int64_t bytes = unit == kScaleUnitByte ? step : (step + 7) / 8;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(bytes, 1, kLimit));
}
