// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/application_qt.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QIcon>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The icon's resource lives in a static library, whose linker would drop it
// unless the program asks for it by name; that must be done outside any namespace.
static void LoadIconResource() {
    Q_INIT_RESOURCE(morvane_icon);
}

namespace morvane {
namespace {

// A message Qt gave while it started, with the static texts of its context.
struct HeldMessage {
    QtMsgType type;
    const char* file;
    int line;
    const char* function;
    const char* category;
    QString text;
};
std::vector<HeldMessage> heldMessages;

// Qt's warnings on the way to a failed start ("could not connect to display")
// would only bury the one line that matters, so they are held until Qt has started.
void HoldOrExit(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        std::fputs(
            "morvane: no display to open the window on; "
            "QT_QPA_PLATFORM=offscreen runs it without one\n",
            stderr);
        std::_Exit(1);
    }
    heldMessages.push_back(
        {type, context.file, context.line, context.function, context.category, text});
}

// The termination signals, written by the handler and read in the event loop.
int signalPipe[2] = {-1, -1};

// All a signal handler can safely do: note the signal where the event loop sees it.
void NoteSignal(int signal) {
    const int savedErrno = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
    errno = savedErrno;
}

// How the desktop knows the window: under X11 its class is the program's
// name, which the desktop entry's StartupWMClass names; under Wayland its app
// id is the desktop entry's own name. The icon travels with the window.
void IntroduceToTheDesktop() {
    QApplication::setApplicationName("morvane");
    QGuiApplication::setDesktopFileName("org.morvane.Morvane");
    LoadIconResource();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QString(":/icon/morvane-%1.png").arg(size));
    QApplication::setWindowIcon(icon);
}

}  // namespace

std::unique_ptr<QApplication> StartApplication(int& argc, char* argv[]) {
    const QtMessageHandler qtOwn = qInstallMessageHandler(HoldOrExit);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(qtOwn);
    IntroduceToTheDesktop();
    for (const HeldMessage& held : heldMessages) {
        const QMessageLogContext context(held.file, held.line, held.function, held.category);
        qtOwn(held.type, context, held.text);
    }
    heldMessages.clear();
    return application;
}

void CloseOnTerminationSignals(QWidget& window) {
    // Without the pipe the signals keep their default: the program ends at once.
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char number = 0;
        while (read(signalPipe[0], &number, 1) > 0) {
        }
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace morvane
