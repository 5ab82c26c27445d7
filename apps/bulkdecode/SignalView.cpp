#include "SignalView.h"

#include "BatchLogic.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int Mid = 160, Bottom = 320, MarkTop = 10, MarkBottom = 310, Width = 640;
constexpr double SampleScale = 0.0047;
const QColor SelectionColour(181, 167, 159);
const QColor Olive(0x80, 0x80, 0x00), Lime(0x00, 0xFF, 0x00), Silver(0xC0, 0xC0, 0xC0);

} // namespace

TSignalView::TSignalView(QWidget* Parent) : QWidget(Parent) {}

double TSignalView::XOf(int Position) const {
    return (Position - FModel->ViewStart) / static_cast<double>(FModel->SamplesPerPixel);
}

void TSignalView::mousePressEvent(QMouseEvent* Event) {
    FPressX = Event->position().toPoint().x();
    update();
    emit MousePressed(FPressX, Event->modifiers());
}

void TSignalView::mouseReleaseEvent(QMouseEvent* Event) {
    FPressX = -1;
    emit MouseReleased(Event->position().toPoint().x(), Event->modifiers());
}

void TSignalView::paintEvent(QPaintEvent*) {
    if (!FModel)
        return;
    const TBatchLogic& M = *FModel;
    QPainter P(this);
    const float Spp = M.SamplesPerPixel;
    const int Count = M.SampleCount;
    auto X = [&](int Position) { return static_cast<int>(XOf(Position)); };
    auto InView = [&](int Position) {
        int D = Position - M.ViewStart;
        return D > 1 && D < Width * Spp;
    };

    if (M.SelectionStart != -1 && M.SelectionEnd != -1) {
        int X1 = std::max(0, X(M.SelectionStart)), X2 = std::min(Width, X(M.SelectionEnd));
        if (X1 <= Width && X2 >= 0)
            P.fillRect(QRect(QPoint(X1, 0), QPoint(X2 - 1, Bottom - 1)), SelectionColour);
    }

    const int From = std::max(0, M.ViewStart), To = std::min(M.ViewEnd, Count);
    const double Amp = M.AmplitudeScale;
    if (ShowSignal) {
        P.setPen(Qt::black);
        QPoint Last(0, Mid);
        for (int N = From; N < To; ++N) {
            QPoint Next(X(N), static_cast<int>(Mid - M.Samples[N] * SampleScale * Amp));
            P.drawLine(Last, Next);
            Last = Next;
        }
    }
    P.setPen(Silver);
    P.drawLine(0, Mid, Width, Mid);
    auto Curve = [&](const QColor& Colour, auto&& YOf) {
        if (From >= To)
            return;
        P.setPen(Colour);
        QPoint Last(0, YOf(From));
        for (int N = From; N < To; ++N) {
            QPoint Next(X(N), YOf(N));
            P.drawLine(Last, Next);
            Last = Next;
        }
    };
    if (ShowDelta)
        Curve(Qt::blue, [&](int N) {
            return static_cast<int>(Bottom - M.Deltas[N] * SampleScale * CurveGain * Amp);
        });
    if (ShowLevel)
        Curve(Qt::white, [&](int N) {
            return static_cast<int>(Mid - (M.Levels[N] * CurveGain - 5) * 4.7 * Amp);
        });

    auto Mark = [&](int Position, Qt::PenStyle Style, const QColor& Colour) {
        if (!InView(Position))
            return;
        P.setPen(QPen(Colour, 1, Style));
        int At = static_cast<int>((Position - M.ViewStart) / Spp);
        P.drawLine(At, MarkTop, At, MarkBottom);
    };
    Mark(M.CursorPosition, Qt::DotLine, Qt::cyan);
    Mark(M.NextOnset, Qt::DashLine, Qt::magenta);
    for (int Position : {M.StepEnd, M.StepBegin}) {
        if (!InView(Position))
            continue;
        double D = (Position - M.ViewStart) / Spp;
        P.fillRect(
            QRect(QPoint(static_cast<int>(D - 1), 100), QPoint(static_cast<int>(D + 1) - 1, 219)),
            Qt::yellow);
    }

    for (int K = 0; K < M.PulseCount; ++K) {
        const TPulse& Pulse = *M.Pulses[K];
        const QColor Colour = Pulse.OffGrid ? QColor(Qt::red) : Lime;
        P.setPen(Colour);
        P.setBrush(Colour);
        const int R = Pulse.MarkSize;
        const double G = XOf(Pulse.GridPosition);
        QRect Box(QPoint(static_cast<int>(G - 1 - R), 159 - R),
                  QPoint(static_cast<int>(G + 1 + R) - 1, 161 + R - 1));
        if (Pulse.OnPrimary)
            P.fillRect(Box, Colour);
        else
            P.drawEllipse(Box);
        const int Row = K % 2 == 0 ? 3 : 6;
        P.fillRect(QRect(QPoint(X(Pulse.Peak), Row), QPoint(X(Pulse.End) - 1, Row + 1)), Colour);
        int Minor = X(Pulse.MinorPosition);
        P.fillRect(QRect(QPoint(Minor - 1, 140), QPoint(Minor - 1, 179)), Colour);
        int Start = X(Pulse.Start);
        P.fillRect(QRect(QPoint(Start - 1, 140), QPoint(Start - 1, 179)), Olive);
    }
    P.setBrush(Qt::NoBrush);

    if (FPressX >= 0) {
        P.setPen(Qt::black);
        P.drawLine(FPressX, MarkTop, FPressX, MarkBottom);
    }
}
