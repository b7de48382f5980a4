#include "ScopeChannels.h"

namespace kestova {

QString ChannelName(std::uint32_t source) {
    switch (source) {
    case SRC_POSITION_ERROR:
        return QStringLiteral("Position Error (P)");
    case SRC_VELOCITY_FEEDBACK:
        return QStringLiteral("Velocity Feedback (RPM)");
    case SRC_POSITION_FEEDBACK:
        return QStringLiteral("Position Feedback (P)");
    case SRC_VELOCITY_TARGET:
        return QStringLiteral("Velocity Targeted  (RPM)");
    case SRC_POSITION_TARGET:
        return QStringLiteral("Position Targeted (P)");
    case SRC_Q_AXIS_CURRENT:
        return QStringLiteral("Q Axis Current (mA)");
    case SRC_SYNTHETIC_CURRENT:
        return QStringLiteral("Synthetic Current (mA)");
    case SRC_BUS_VOLTAGE:
        return QStringLiteral("Bus Voltage (0.1V)");
    case SRC_ACCELERATION_TARGET:
        return QStringLiteral("Acceleration Targeted (R/S^2)");
    case SRC_ACCELERATION_FEEDBACK:
        return QStringLiteral("Acceleration Feedback (R/S^2)");
    case SRC_A_PHASE_CURRENT:
        return QStringLiteral("A Phase Current (mA)");
    case SRC_B_PHASE_CURRENT:
        return QStringLiteral("B Phase Current (mA)");
    default:
        return QStringLiteral("<--Select--");
    }
}

QString ChannelUnit(std::uint32_t source) {
    const QString name = ChannelName(source);
    const qsizetype open = name.lastIndexOf(QLatin1Char('('));
    const qsizetype close = name.lastIndexOf(QLatin1Char(')'));
    if (source == SRC_NONE || open < 0 || close < open) {
        return {};
    }
    return name.mid(open + 1, close - open - 1);
}

} // namespace kestova
