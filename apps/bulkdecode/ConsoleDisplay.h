// TConsoleDisplay: the batch workbench without a window. Log lines go to
// standard output, messages to standard error, and a long batch shows its
// progress on standard error when that is a terminal.
#pragma once

#include "BatchLogic.h"

class TConsoleDisplay : public TBatchDisplay {
public:
    TConsoleDisplay();

    void AddLine(const std::string& Line) override;
    void ClearLog() override {}
    void SetDialed(const std::string&) override {}
    void SetDetected(const std::string&) override {}
    void ShowDigit(const std::string&, const std::string&, const std::string&) override {}
    int GetScrollPosition() override { return FScroll; }
    void SetScrollPosition(int Position) override;
    void SetScrollMax(int Max) override { FScrollMax = Max; }
    void UpdateViewRange() override {}
    void Repaint() override {}
    void Beep() override {}
    void ShowMessage(const std::string& Text) override;
    bool Confirm(const std::string&, const std::string&) override { return true; }
    void SetControls(bool, bool, bool) override {}
    bool ConfirmEachStep() override { return false; }
    void FileStarted(int Index, int Count, const std::string& FileName) override;

private:
    int FScroll = 0;
    int FScrollMax = 3000;
    bool FShowProgress;
};
