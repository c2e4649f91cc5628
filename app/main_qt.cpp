// SPDX-License-Identifier: GPL-3.0-or-later
#include <QLocale>
#include <iostream>
#include <utility>

#include "radiolink/command_line_hamlib.hpp"
#include "window/application_qt.hpp"
#include "window/main_window_qt.hpp"

int main(int argc, char* argv[]) {
    using namespace morvane;
    // QLocale reads the locale from the environment; no display is needed for it.
    const CommandLine command = ParseCommandLine(ArgumentsAfterProgramName(argc, argv),
                                                 QLocale().decimalPoint().toStdString());
    if (command.action != CommandAction::OpenWindow) return CarryOut(command, std::cout, std::cerr);
    int qtArgc = 1;  // the options are the radio's; Qt must not read them as its own
    const auto application = StartApplication(qtArgc, argv);
    WindowStart start{command.options, command.fields, command.utc ? ReadUtcClock : ReadLocalClock};
    start.utc = command.utc;
    start.logPath = command.logPath;
    start.mapPath = command.mapPath;
    MainWindow window(std::move(start));
    CloseOnTerminationSignals(window);
    window.show();
    return QApplication::exec();
}
