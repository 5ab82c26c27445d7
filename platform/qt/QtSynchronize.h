// TQtSynchronize: lets the Qt event loop run the Synchronize calls that
// worker threads queue for the main thread. Install once, after the
// QApplication exists; from then on every queued call wakes the loop, which
// runs CheckSynchronize.
#pragma once

class TQtSynchronize {
public:
    static void Install();
    static void Uninstall();
};
