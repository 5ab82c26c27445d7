// TSignalView: the workbench's paint box. Draws the current recording from
// the batch model: selection band, waveform, zero line, delta and level
// curves, cursor, next onset, step bars and the pulse marks of the last
// pulse-digit analysis. Mouse presses and releases go to the form.
#pragma once

#include <QWidget>

class TBatchLogic;

class TSignalView : public QWidget {
    Q_OBJECT

public:
    explicit TSignalView(QWidget* Parent = nullptr);

    void SetModel(const TBatchLogic* Model) { FModel = Model; }
    bool ShowSignal = true;
    bool ShowDelta = false;
    bool ShowLevel = false;
    // Gain of the curves: the coefficient when Multiply is checked.
    float CurveGain = 1.0f;

    // x of sample Position, before truncation.
    double XOf(int Position) const;

signals:
    void MousePressed(int X, Qt::KeyboardModifiers Modifiers);
    void MouseReleased(int X, Qt::KeyboardModifiers Modifiers);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    const TBatchLogic* FModel = nullptr;
    // The line drawn at a press until the release repaints the view.
    int FPressX = -1;
};
