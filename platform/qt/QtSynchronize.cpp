#include "QtSynchronize.h"

#include "rtl/Thread.h"

#include <QCoreApplication>
#include <QMetaObject>

void TQtSynchronize::Install() {
    SetWakeMainThread([] {
        if (QCoreApplication* App = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                App, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

void TQtSynchronize::Uninstall() {
    SetWakeMainThread(nullptr);
}
