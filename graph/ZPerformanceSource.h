// One data series of the traffic graph: a line of one colour with its sample history.
//
// A source does not know where its numbers come from: the graph calls Sample once per tick and
// the source hands one value back. The base class hands over pseudo-random numbers; subclasses
// feed real ones. This header needs no widget, so that feeders need none either.
#pragma once

#include "ZColor.h"

#include <QObject>

#include <cstdint>
#include <random>
#include <vector>

class TZPerformanceGraph;

class TZPerformanceSource : public QObject {
    Q_OBJECT
public:
    explicit TZPerformanceSource(QObject* owner);
    ~TZPerformanceSource() override;

    // Attaching: leaves the current graph (also when it is the same one), then
    // joins the end of the new graph's list. Once the graph has been destroyed
    // this source may only be destroyed.
    TZPerformanceGraph* Graph() const { return FGraph; }
    void SetGraph(TZPerformanceGraph* graph);

    TColor Color() const { return FColor; }
    void SetColor(TColor colour) { FColor = colour; }

    std::int32_t Count() const { return static_cast<std::int32_t>(FValues.size()); }
    void SetCount(std::int32_t n);
    std::int32_t GetValue(std::int32_t i) const;
    void SetValue(std::int32_t i, std::int32_t v);
    bool IsValid(std::int32_t i) const;
    void SetValid(std::int32_t i, bool b);
    // Mean of the Delay valid slots before i (i + 1 ... i + Delay), truncated toward zero.
    std::int32_t GetAverage(std::int32_t i) const;
    void Shift();
    void Clear();

    // Produces the next value and hands it to the graph with AddValue, once.
    virtual void Sample();

protected:
    // The graph's AddValue for this source (nothing without a graph).
    void AddToGraph(std::int32_t value);

public:
    // Written by the graph's AddSource / RemoveSource / destruction only.
    bool Registered = false;
    std::int32_t Max = 100;
    std::int32_t Min = 0;
    std::int32_t Delay = 1;
    std::int32_t LastPos = 0;
    std::int32_t LastValue = 0;
    bool HasLast = false;

private:
    TZPerformanceGraph* FGraph = nullptr;
    std::vector<std::int32_t> FValues;
    std::vector<std::uint8_t> FValid;
    TColor FColor = 0x00FF00;
    std::minstd_rand FRandom;
};
