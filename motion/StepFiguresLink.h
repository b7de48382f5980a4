#pragma once

// The step figures of the motion test page: for the channel chosen in the scope, the figures
// of its sweep against what the test asked for, recomputed for every capture drawn. A move's
// velocity feedback is measured against the velocity target when that is captured, else the
// commanded speed; in the current-loop test a current channel against the test current.

#include "StepFigures.h"

#include <QObject>
#include <QStringList>

#include <optional>
#include <vector>

namespace kestova {

class CRunTest;

// What a channel's sweep is measured against, and over which samples.
struct StepTarget {
    double value = 0.0;
    QString what;            // "velocity target", "commanded speed", "test current"
    std::size_t samples = 0; // from the first: the step's plateau, where the figures apply
};

// The part of a sweep that belongs to the step: up to the last sample of the target's plateau
// (within 2 % of its extreme), or without a target sweep up to the last sample of the response
// within 10 % of the step's height of the target.
std::size_t PlateauEnd(const std::vector<float>& response, double target,
                       const std::vector<float>& targetSweep);

class StepFiguresLink : public QObject {
    Q_OBJECT
public:
    explicit StepFiguresLink(CRunTest& page);

    // The figures last shown; none while off, or when the channel has no target or sweep.
    const std::optional<StepFigures>& Last() const { return last_; }
    const std::optional<StepTarget>& LastTarget() const { return target_; }

    // Recomputes for the scope's chosen channel and shows the result in the scope.
    void Update();

private:
    std::optional<StepTarget> TargetOf(int channel, const std::vector<float>& response) const;

    CRunTest& page_;
    std::optional<StepFigures> last_;
    std::optional<StepTarget> target_;
};

} // namespace kestova
