#include "QtSynchronize.h"

#include "rtl/Thread.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

// The worker only signals an eventfd; the event loop, woken by it, runs the
// queue. No memory passes between the threads through Qt, only through the
// runtime's own locked queue.
namespace {
int WakeFd = -1;
QSocketNotifier* Notifier = nullptr;
} // namespace

void TQtSynchronize::Install() {
    if (WakeFd >= 0)
        return;
    WakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (WakeFd < 0)
        return;
    Notifier = new QSocketNotifier(WakeFd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(Notifier, &QSocketNotifier::activated, Notifier, [] {
        std::uint64_t Count = 0;
        while (::read(WakeFd, &Count, sizeof Count) == static_cast<ssize_t>(sizeof Count)) {
        }
        CheckSynchronize();
    });
    const int Fd = WakeFd;
    SetWakeMainThread([Fd] {
        std::uint64_t One = 1;
        [[maybe_unused]] ssize_t Written = ::write(Fd, &One, sizeof One);
    });
}

void TQtSynchronize::Uninstall() {
    SetWakeMainThread(nullptr);
    delete Notifier;
    Notifier = nullptr;
    if (WakeFd >= 0)
        ::close(WakeFd);
    WakeFd = -1;
}
