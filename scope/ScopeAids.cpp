// The scope's measuring aids: the cursors with their read-out, the step-figure column, the
// reference capture, and saving the capture and the picture.

#include "Cscope.h"

#include "Presenter.h"
#include "ScopeAidIds.h"
#include "ScopeChannels.h"
#include "ScopeExport.h"

#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>

namespace kestova {

namespace {

const QColor kCursorColours[] = {{255, 255, 0}, {0, 255, 255}};

// Room around the read-out text.
constexpr int kReadoutPad = 6;

} // namespace

bool Cscope::ReadoutShown() const {
    return cursors_.On() || stepChannel_ != 0;
}

QSize Cscope::PictureSize() const {
    const int column = ReadoutShown() ? kReadoutWidth : 0;
    return {std::max(width() - column, 1), height()};
}

void Cscope::SetCursorsOn(bool on) {
    if (on == cursors_.On()) {
        return;
    }
    const bool hadColumn = ReadoutShown();
    if (on) {
        // The plot narrows for the read-out first, so that the cursors start inside it.
        cursors_.SwitchOn(state_, view_);
    } else {
        cursors_.SwitchOff();
    }
    if (hadColumn != ReadoutShown()) {
        Redraw();
    } else {
        update();
    }
}

void Cscope::PlaceCursor(int cursor, double time) {
    if (cursor != 1 && cursor != 2) {
        return;
    }
    const int i = ScopeCursors::SampleAt(state_, time);
    cursors_.SetTime(cursor, i < 0 ? time : i * static_cast<double>(state_.axis.timePerSample));
    update();
}

void Cscope::SetStepChannel(int channel) {
    if (channel < 0 || channel > kScopeChannels || channel == stepChannel_) {
        return;
    }
    const bool hadColumn = ReadoutShown();
    stepChannel_ = channel;
    if (channel == 0) {
        stepLines_.clear();
    }
    if (hadColumn != ReadoutShown()) {
        Redraw();
    } else {
        update();
    }
    emit stepChannelChanged(channel);
}

void Cscope::SetStepFigures(const QStringList& lines) {
    stepLines_ = lines;
    update();
}

QStringList Cscope::ReadoutText() const {
    if (!cursors_.On()) {
        return {};
    }
    return ReadoutLines(cursors_.Read(state_), state_);
}

bool Cscope::KeepReference() {
    if (!state_.KeepReference()) {
        return false;
    }
    Redraw();
    return true;
}

void Cscope::ClearReference() {
    if (state_.reference.Held()) {
        state_.ClearReference();
        Redraw();
    }
}

void Cscope::AddAidCommands(QMenu& menu) {
    if (!aidsOffered_) {
        return;
    }
    menu.addSeparator();
    QAction* cursors = menu.addAction(QStringLiteral("Cursors"));
    cursors->setData(ID_SCOPE_CURSORS);
    cursors->setCheckable(true);
    cursors->setChecked(cursors_.On());

    QMenu* step = menu.addMenu(QStringLiteral("Step figures"));
    QAction* off = step->addAction(QStringLiteral("Off"));
    off->setData(ID_SCOPE_STEP_OFF);
    off->setCheckable(true);
    off->setChecked(stepChannel_ == 0);
    for (int ch = 1; ch <= kScopeChannels; ++ch) {
        const ScopeChannel& c = state_.Channel(ch);
        if (!c.Shown()) {
            continue;
        }
        QAction* a = step->addAction(QStringLiteral("Channel %1: %2").arg(ch).arg(c.title));
        a->setData(ID_SCOPE_STEP_CH1 + ch - 1);
        a->setCheckable(true);
        a->setChecked(stepChannel_ == ch);
    }

    menu.addAction(QStringLiteral("Keep as reference"))->setData(ID_SCOPE_KEEP_REFERENCE);
    QAction* clear = menu.addAction(QStringLiteral("Clear reference"));
    clear->setData(ID_SCOPE_CLEAR_REFERENCE);
    clear->setEnabled(state_.reference.Held());
    menu.addAction(QStringLiteral("Save capture as CSV"))->setData(ID_SCOPE_SAVE_CSV);
    menu.addAction(QStringLiteral("Save picture as PNG"))->setData(ID_SCOPE_SAVE_PNG);
}

bool Cscope::OnAidCommand(int id) {
    switch (id) {
    case ID_SCOPE_CURSORS:
        SetCursorsOn(!cursors_.On());
        return true;
    case ID_SCOPE_KEEP_REFERENCE:
        KeepReference();
        return true;
    case ID_SCOPE_CLEAR_REFERENCE:
        ClearReference();
        return true;
    case ID_SCOPE_SAVE_CSV:
        SaveCaptureCsv();
        return true;
    case ID_SCOPE_SAVE_PNG:
        SavePicturePng();
        return true;
    default:
        break;
    }
    if (id >= ID_SCOPE_STEP_OFF && id <= ID_SCOPE_STEP_CH4) {
        SetStepChannel(id - ID_SCOPE_STEP_OFF);
        return true;
    }
    return false;
}

bool Cscope::PressHandle(QPoint p) {
    const int cursor = cursors_.HandleAt(view_, p);
    if (cursor == 0) {
        return false;
    }
    cursors_.Grab(cursor);
    return true;
}

void Cscope::PaintAids(QPainter& p) {
    if (cursors_.On()) {
        PaintCursors(p);
    }
    if (ReadoutShown()) {
        PaintReadout(p);
    }
}

void Cscope::PaintCursors(QPainter& p) {
    const ScopeRect& plot = view_.plot;
    p.setFont(renderer_.LabelFont());
    for (int cursor = 1; cursor <= 2; ++cursor) {
        const std::optional<int> x = ScopeCursors::XOfTime(view_, cursors_.Time(cursor));
        if (!x) {
            continue;
        }
        const QColor& colour = kCursorColours[cursor - 1];
        p.setPen(QPen(colour, 1, Qt::DashLine));
        p.drawLine(*x, plot.top, *x, plot.bottom - 1);
        const QRect handle = ScopeCursors::HandleRect(view_, *x);
        p.fillRect(handle, colour);
        p.setPen(Qt::black);
        p.drawText(handle, Qt::AlignCenter, QString::number(cursor));
    }
}

void Cscope::PaintReadout(QPainter& p) {
    const QRect column(PictureSize().width(), 0, width() - PictureSize().width(), height());
    p.fillRect(column, ScopeRenderer::MarginColour());
    p.setPen(ScopeRenderer::MajorGridColour());
    p.drawLine(column.left(), 0, column.left(), height() - 1);
    p.setFont(renderer_.LabelFont());
    const QFontMetrics fm(renderer_.LabelFont());
    int y = kReadoutPad + fm.ascent();
    const int x = column.left() + kReadoutPad;
    const auto line = [&](const QString& text, const QColor& colour) {
        p.setPen(colour);
        for (const QString& part : WrapToWidth(text, fm, column.width() - 2 * kReadoutPad)) {
            p.drawText(x, y, part);
            y += fm.height();
        }
    };
    // Channel lines in the channel's colour, the rest in black.
    const auto colourOf = [&](const QString& text) {
        const QString t = text.trimmed();
        for (int ch = 1; ch <= kScopeChannels; ++ch) {
            if (t.startsWith(QStringLiteral("Ch%1 ").arg(ch)) ||
                t.startsWith(QStringLiteral("dCh%1 ").arg(ch))) {
                return state_.Channel(ch).colour;
            }
        }
        return QColor(Qt::black);
    };
    for (const QString& text : ReadoutText()) {
        line(text, colourOf(text));
    }
    if (stepChannel_ != 0) {
        if (cursors_.On()) {
            y += fm.height() / 2;
        }
        for (const QString& text : stepLines_) {
            line(text, Qt::black);
        }
    }
}

QString Cscope::AskSavePath(const QString& title, const QString& filter, const QString& suffix) {
    FileDialogRequest request;
    request.title = title;
    request.filters = {filter, QStringLiteral("All Files(*.*)")};
    request.defaultSuffix = suffix;
    return presenter_.SaveFileName(this, request);
}

bool Cscope::SaveFailed(const QString& path) {
    presenter_.Message(this, QStringLiteral("Cannot write %1.").arg(path), QString(),
                       MsgIcon::Exclamation);
    return false;
}

bool Cscope::SaveCaptureCsv() {
    QPointer<Cscope> self(this);
    const QString path = AskSavePath(QStringLiteral("Save capture as CSV"),
                                     QStringLiteral("CSV Files(*.csv)"), QStringLiteral("csv"));
    if (!self || path.isEmpty()) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) ||
        file.write(CaptureCsv(state_).toUtf8()) < 0 || !file.commit()) {
        return SaveFailed(path);
    }
    return true;
}

bool Cscope::SavePicturePng() {
    QPointer<Cscope> self(this);
    const QString path = AskSavePath(QStringLiteral("Save picture as PNG"),
                                     QStringLiteral("PNG Files(*.png)"), QStringLiteral("png"));
    if (!self || path.isEmpty()) {
        return false;
    }
    if (!grab().save(path, "PNG")) {
        return SaveFailed(path);
    }
    return true;
}

} // namespace kestova
