#include "ConsoleDisplay.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

TConsoleDisplay::TConsoleDisplay() : FShowProgress(::isatty(STDERR_FILENO) == 1) {}

void TConsoleDisplay::AddLine(const std::string& Line) {
    if (FShowProgress)
        std::fputs("\r\033[K", stderr);
    std::fputs(Line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TConsoleDisplay::SetScrollPosition(int Position) {
    FScroll = std::clamp(Position, 0, std::max(0, FScrollMax));
}

void TConsoleDisplay::ShowMessage(const std::string& Text) {
    if (FShowProgress)
        std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s\n", Text.c_str());
}

void TConsoleDisplay::FileStarted(int Index, int Count, const std::string& FileName) {
    if (FShowProgress && Count > 1)
        std::fprintf(stderr, "\r\033[K[%d/%d] %s", Index + 1, Count, FileName.c_str());
}
