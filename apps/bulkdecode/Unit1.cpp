#include "Unit1.h"

#include "ui_Unit1.h"

#include "qt/Application.h"
#include "qt/MessageBox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include <cmath>
#include <cstdio>

TBulkDecodeForm* BulkDecodeForm = nullptr;

namespace {

// The 12 x 12 glyphs of the speed buttons.
enum class TGlyph { OpenFolder, StopSquare, MagnifierShaded, MagnifierEmpty };

QIcon GlyphIcon(TGlyph Glyph) {
    QPixmap Map(12, 12);
    Map.fill(Qt::transparent);
    QPainter P(&Map);
    P.setRenderHint(QPainter::Antialiasing);
    switch (Glyph) {
    case TGlyph::OpenFolder: {
        P.setPen(QColor(96, 64, 0));
        P.setBrush(QColor(255, 208, 64));
        P.drawRect(0, 4, 10, 7);
        P.drawRect(0, 3, 4, 1);
        QPainterPath Arrow;
        Arrow.moveTo(4, 3);
        Arrow.quadTo(7, -1, 10, 2);
        P.setBrush(Qt::NoBrush);
        P.setPen(QPen(Qt::darkGreen, 1.2));
        P.drawPath(Arrow);
        P.drawLine(10, 2, 8, 1);
        P.drawLine(10, 2, 10, 4);
        break;
    }
    case TGlyph::StopSquare:
        P.fillRect(2, 2, 8, 8, Qt::black);
        break;
    case TGlyph::MagnifierShaded:
    case TGlyph::MagnifierEmpty:
        P.setPen(QPen(Qt::black, 1.2));
        P.setBrush(Glyph == TGlyph::MagnifierShaded ? QColor(128, 160, 255) : QColor(Qt::white));
        P.drawEllipse(1, 1, 7, 7);
        P.setPen(QPen(Qt::black, 2));
        P.drawLine(7, 7, 11, 11);
        break;
    }
    return QIcon(Map);
}

// The class library's general float format: 15 significant digits, no
// trailing zeros.
QString GeneralFloat(double Value) {
    char Text[64];
    std::snprintf(Text, sizeof Text, "%.15g", Value);
    return QString::fromLatin1(Text);
}

std::string InitialRecordsFolder() {
    for (const QString& Base : {QDir::homePath() + "/Desktop", QDir::homePath()}) {
        QString Folder = Base + "/Records/Pulse_Test";
        if (QDir(Folder).exists())
            return Folder.toStdString();
    }
    return QDir::homePath().toStdString();
}

} // namespace

TBulkDecodeForm::TBulkDecodeForm(QWidget* Parent)
    : QWidget(Parent), Form(new Ui::TBulkDecodeForm), OpenDialog1(this) {
    Form->setupUi(this);
    setFixedSize(737, 517);
    addAction(Form->Help1);

    auto* StatusLayout = new QHBoxLayout(Form->StatusBar1);
    StatusLayout->setContentsMargins(0, 0, 0, 0);
    StatusLayout->setSpacing(2);
    for (QLabel*& Panel : StatusPanels) {
        Panel = new QLabel(Form->StatusBar1);
        Panel->setFixedWidth(120);
        Panel->setFrameShape(QFrame::Panel);
        Panel->setFrameShadow(QFrame::Sunken);
        StatusLayout->addWidget(Panel);
    }
    StatusLayout->addStretch();

    Form->BTOpen->setIcon(GlyphIcon(TGlyph::OpenFolder));
    Form->BTStop->setIcon(GlyphIcon(TGlyph::StopSquare));
    Form->SpeedButton9->setIcon(GlyphIcon(TGlyph::MagnifierShaded));
    Form->SpeedButton10->setIcon(GlyphIcon(TGlyph::MagnifierEmpty));
    Form->SpeedButton11->setIcon(GlyphIcon(TGlyph::MagnifierShaded));
    Form->SpeedButton12->setIcon(GlyphIcon(TGlyph::MagnifierEmpty));
    QPalette Highlight = Form->Label3->palette();
    Highlight.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    for (QLabel* Label : {Form->Label3, Form->Label4, Form->Label5})
        Label->setPalette(Highlight);

    OpenDialog1.DefaultExt = "*.raw";
    OpenDialog1.Filter = "raw files|*.raw";
    OpenDialog1.InitialDir = InitialRecordsFolder();
    OpenDialog1.AllowMultiSelect = true;

    // The scales come first, then the view range, then the priority shown,
    // then the arrays (in the logic).
    Logic = new TBatchLogic(nullptr, this);
    Form->PaintBox1->SetModel(Logic);
    UpdateViewRange();
    Form->ComboBox1->setCurrentIndex(Logic->DigitDetector1->GetPriority());

    connect(Form->BTOpen, &QToolButton::clicked, this, &TBulkDecodeForm::Button25Click);
    connect(Form->BTStop, &QToolButton::clicked, this, &TBulkDecodeForm::Button30Click);
    connect(Form->CheckBox1, &QCheckBox::clicked, this, &TBulkDecodeForm::CheckBox1Click);
    connect(Form->ComboBox1, &QComboBox::activated, this, &TBulkDecodeForm::ComboBox1Change);
    connect(Form->Help1, &QAction::triggered, this, &TBulkDecodeForm::Help1Click);
    connect(Form->ScrollBar1, &QScrollBar::valueChanged, this, &TBulkDecodeForm::ScrollBar1Change);
    for (QCheckBox* Box :
         {Form->CBSignal, Form->CBSignalDiff, Form->CBSignalLevel, Form->CBNormalized})
        connect(Box, &QCheckBox::clicked, this, &TBulkDecodeForm::CheckBoxClick);
    connect(Form->SpeedButton9, &QToolButton::clicked, this, &TBulkDecodeForm::SpeedButton9Click);
    connect(Form->SpeedButton10, &QToolButton::clicked, this, &TBulkDecodeForm::SpeedButton10Click);
    connect(Form->SpeedButton11, &QToolButton::clicked, this, &TBulkDecodeForm::SpeedButton11Click);
    connect(Form->SpeedButton12, &QToolButton::clicked, this, &TBulkDecodeForm::SpeedButton12Click);
    connect(Form->PaintBox1, &TSignalView::MousePressed, this,
            &TBulkDecodeForm::PaintBox1MouseDown);
    connect(Form->PaintBox1, &TSignalView::MouseReleased, this, &TBulkDecodeForm::PaintBox1MouseUp);
    connect(Form->Button28, &QPushButton::clicked, this, &TBulkDecodeForm::Button28Click);
    connect(Form->Button26, &QPushButton::clicked, this, &TBulkDecodeForm::Button26Click);
    connect(Form->Button27, &QPushButton::clicked, this, &TBulkDecodeForm::Button27Click);
    connect(Form->Button29, &QPushButton::clicked, this, &TBulkDecodeForm::Button29Click);
    connect(Form->Button16, &QPushButton::clicked, this, &TBulkDecodeForm::Button16Click);
    connect(Form->Button24, &QPushButton::clicked, this, &TBulkDecodeForm::Button24Click);
    connect(Form->Button23, &QPushButton::clicked, this, &TBulkDecodeForm::Button23Click);
    connect(Form->EDCoef, &QLineEdit::textEdited, this, &TBulkDecodeForm::EDCoefChange);
    Repaint();
}

TBulkDecodeForm::~TBulkDecodeForm() {
    // The logic stops and destroys the detector before its arrays go.
    delete Logic;
    delete Form;
}

// --- Run controls --------------------------------------------------------

void TBulkDecodeForm::Button25Click() {
    Form->Memo1->clear();
    Logic->CursorPosition = 0;
    Form->ScrollBar1->setValue(0);
    Repaint();
    if (!OpenDialog1.Execute())
        return;
    OpenFiles(OpenDialog1.Files);
}

void TBulkDecodeForm::OpenFiles(const std::vector<std::string>& Files) {
    Logic->RunBatch(Files);
}

void TBulkDecodeForm::Button30Click() {
    Logic->Stop();
}

void TBulkDecodeForm::CheckBox1Click() {
    Logic->SetBlocking(Form->CheckBox1->isChecked());
    bool Blocking = Logic->DigitDetector1->GetBlocking();
    Form->CheckBox1->setChecked(Blocking);
    Form->ComboBox1->setEnabled(!Blocking);
}

void TBulkDecodeForm::ComboBox1Change() {
    Logic->SetPriority(static_cast<TThreadPriority>(Form->ComboBox1->currentIndex()));
    Form->ComboBox1->setCurrentIndex(Logic->DigitDetector1->GetPriority());
}

void TBulkDecodeForm::Help1Click() {
    TApplication::Instance().HelpCommand(TApplication::HELP_CONTENTS, 0, this);
}

// --- Signal view -----------------------------------------------------------

void TBulkDecodeForm::ScrollBar1Change() {
    Repaint();
    Logic->ViewMoved = true;
}

void TBulkDecodeForm::CheckBoxClick() {
    Repaint();
}

void TBulkDecodeForm::SpeedButton9Click() {
    Logic->AmplitudeScale *= 2;
    Repaint();
}

void TBulkDecodeForm::SpeedButton10Click() {
    Logic->AmplitudeScale *= 0.5f;
    Repaint();
}

void TBulkDecodeForm::SpeedButton11Click() {
    Logic->SamplesPerPixel *= 0.5f;
    UpdateViewRange();
}

void TBulkDecodeForm::SpeedButton12Click() {
    Logic->SamplesPerPixel *= 2;
    UpdateViewRange();
}

void TBulkDecodeForm::PaintBox1MouseDown(int X, Qt::KeyboardModifiers Shift) {
    Logic->CursorPosition = Logic->ViewStart + static_cast<int>(X * Logic->SamplesPerPixel);
    if (Shift & Qt::ControlModifier) {
        Logic->SelectionStart = Logic->CursorPosition;
        Logic->SelectionEnd = -1;
    }
}

void TBulkDecodeForm::PaintBox1MouseUp(int X, Qt::KeyboardModifiers Shift) {
    if (Form->ScrollBar1->isEnabled())
        Form->ScrollBar1->setFocus();
    int Position = Logic->ViewStart + static_cast<int>(X * Logic->SamplesPerPixel);
    if ((Shift & Qt::ControlModifier) && Logic->SelectionStart != -1) {
        if (Position == Logic->SelectionStart) {
            Logic->SelectionStart = Logic->SelectionEnd = -1;
        } else {
            Logic->SelectionEnd = Position;
            if (Logic->SelectionStart > Logic->SelectionEnd)
                std::swap(Logic->SelectionStart, Logic->SelectionEnd);
            Logic->ViewMoved = true;
        }
    } else {
        Logic->CursorPosition = Position;
    }
    Repaint();
}

void TBulkDecodeForm::UpdateViewRange() {
    QScrollBar* Bar = Form->ScrollBar1;
    const float Spp = Logic->SamplesPerPixel;
    if (ScrollMax > 640 * Spp) {
        Bar->setEnabled(true);
        int PageSize = std::max(static_cast<int>(640 * Spp),
                                style()->pixelMetric(QStyle::PM_ScrollBarSliderMin));
        // Positions run from 0 to Max - PageSize + 1, as the page covers the rest.
        Bar->setMaximum(std::max(0, ScrollMax - PageSize + 1));
        Bar->setPageStep(static_cast<int>(80 * Spp));
        Bar->setSingleStep(8);
        int Position = Bar->value();
        const int Cursor = Logic->CursorPosition;
        if (Logic->ViewStart < Cursor && Cursor < Logic->ViewEnd)
            Position = Cursor + (Position - Cursor) / 2;
        else
            Position = Cursor - 80;
        Bar->setValue(Position);
        Repaint();
        Bar->setFocus();
    } else {
        Bar->setValue(0);
        Bar->setEnabled(false);
    }
}

void TBulkDecodeForm::UpdateStatus() {
    const TBatchLogic& M = *Logic;
    const int C = M.CursorPosition;
    const bool Readable = C >= 0 && C < M.SampleCount;
    StatusPanels[1]->setText("Sample = " + QString::number(C));
    StatusPanels[2]->setText("Amplitude = " +
                             (Readable ? QString::number(M.Samples[C]) : QString()));
    StatusPanels[0]->setText(
        M.SelectionStart > 0 ? "Selection = " + QString::number(M.SelectionEnd - M.SelectionStart)
                             : QString());
    const bool Multiply = Form->CBNormalized->isChecked();
    if (Readable) {
        double Level = Multiply ? M.Levels[C] * M.AmplitudeCoef : M.Levels[C];
        int Delta = Multiply ? static_cast<int>(M.Deltas[C] * M.AmplitudeCoef) : M.Deltas[C];
        StatusPanels[4]->setText("Level = " + GeneralFloat(Level));
        StatusPanels[3]->setText("Delta = " + QString::number(Delta));
    } else {
        StatusPanels[4]->setText("Level = ");
        StatusPanels[3]->setText("Delta = ");
    }
}

void TBulkDecodeForm::ShowCurves(bool Delta, bool Level) {
    Form->CBSignalDiff->setChecked(Delta);
    Form->CBSignalLevel->setChecked(Level);
    CheckBoxClick();
}

QString TBulkDecodeForm::StatusText(int Panel) const {
    return StatusPanels[Panel]->text();
}

void TBulkDecodeForm::Repaint() {
    TBatchLogic& M = *Logic;
    M.Multiply = Form->CBNormalized->isChecked();
    UpdateStatus();
    M.ViewStart = Form->ScrollBar1->value();
    M.ViewEnd = std::min(static_cast<int>(M.ViewStart + 640 * M.SamplesPerPixel), M.SampleCount);
    Form->Label8->setText(QString::number(M.ViewStart / 8));
    TSignalView* View = Form->PaintBox1;
    View->ShowSignal = Form->CBSignal->isChecked();
    View->ShowDelta = Form->CBSignalDiff->isChecked();
    View->ShowLevel = Form->CBSignalLevel->isChecked();
    View->CurveGain = M.Multiply ? M.AmplitudeCoef : 1.0f;
    View->update();
}

// --- Stepping --------------------------------------------------------------

void TBulkDecodeForm::Button28Click() {
    Logic->StepPulse(TBatchLogic::FirstPulse);
}
void TBulkDecodeForm::Button26Click() {
    Logic->StepPulse(TBatchLogic::NextPulse);
}
void TBulkDecodeForm::Button27Click() {
    Logic->StepPulse(TBatchLogic::NextMinor);
}
void TBulkDecodeForm::Button29Click() {
    Logic->StepPulse(TBatchLogic::LastPulse);
}
void TBulkDecodeForm::Button16Click() {
    Logic->NextDigit();
}
void TBulkDecodeForm::Button24Click() {
    Logic->AllPulseDigits();
}
void TBulkDecodeForm::Button23Click() {
    Logic->AllToneDigits();
}

void TBulkDecodeForm::EDCoefChange() {
    std::string Error;
    if (!Logic->SetCoefficientText(Form->EDCoef->text().toStdString(), Error))
        TMessageBox::Show(this, Error);
    Repaint();
}

// --- TBatchDisplay -------------------------------------------------------

void TBulkDecodeForm::AddLine(const std::string& Line) {
    Form->Memo1->appendPlainText(QString::fromStdString(Line));
}
void TBulkDecodeForm::ClearLog() {
    Form->Memo1->clear();
}
void TBulkDecodeForm::SetDialed(const std::string& Digits) {
    Form->Label1->setText(QString::fromStdString(Digits));
}
void TBulkDecodeForm::SetDetected(const std::string& Digits) {
    Form->Label13->setText(QString::fromStdString(Digits));
}

void TBulkDecodeForm::ShowDigit(const std::string& Digit, const std::string& Time,
                                const std::string& Type) {
    Form->Label3->setText(QString::fromStdString(Digit));
    Form->Label4->setText(QString::fromStdString(Time));
    Form->Label5->setText(QString::fromStdString(Type));
}

int TBulkDecodeForm::GetScrollPosition() {
    return Form->ScrollBar1->value();
}
void TBulkDecodeForm::SetScrollPosition(int Position) {
    Form->ScrollBar1->setValue(Position);
}
void TBulkDecodeForm::SetScrollMax(int Max) {
    ScrollMax = Max;
}
void TBulkDecodeForm::ProcessDisplay() {
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
void TBulkDecodeForm::Beep() {
    QApplication::beep();
}
void TBulkDecodeForm::ShowMessage(const std::string& Text) {
    TMessageBox::Show(this, Text);
}
bool TBulkDecodeForm::Confirm(const std::string& Text, const std::string& Caption) {
    return TMessageBox::Confirm(this, Text, Caption);
}

void TBulkDecodeForm::SetControls(bool OpenEnabled, bool StopEnabled, bool StepsEnabled) {
    Form->BTOpen->setEnabled(OpenEnabled);
    Form->BTStop->setEnabled(StopEnabled);
    Form->GroupBox1->setEnabled(StepsEnabled);
}

bool TBulkDecodeForm::ConfirmEachStep() {
    return Form->CBConfirm->isChecked();
}
