#pragma once

// The scope's aids on the motion test page, kept to the capture on screen. The step figures:
// for the channel chosen in the scope, the figures of its sweep against what the test asked
// for, recomputed for every capture drawn. A move's velocity feedback is measured against the
// commanded speed's plateau over the whole capture; in the current-loop test a current channel
// is measured as a step to the test current. When a capture leaves the chosen channel without a
// sweep the figures go to a channel that has one, and cursors placed on a capture of another
// time span go to a third and two thirds of the new one.

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
    QString what;            // "commanded speed", "test current"
    std::size_t samples = 0; // from the first: the step's plateau, where the figures apply
};

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
    void OnWaveDrawn();
    // A shown channel with a sweep, one with a step target first; 0 for none.
    int ChannelWithSweep() const;
    std::optional<StepTarget> TargetOf(int channel, const std::vector<float>& response) const;
    // A move's figures against the commanded plateau, with `speedUnit` the feedback's unit.
    void MoveLines(const std::vector<float>& response, const QString& speedUnit,
                   QStringList& lines);

    CRunTest& page_;
    std::optional<StepFigures> last_;
    std::optional<StepTarget> target_;
    // The time span and unit of the capture the cursors were placed on.
    double cursorSpan_ = -1.0;
    QString cursorUnit_;
};

} // namespace kestova
