// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <memory>

class QWidget;

namespace morvane {

// The Qt application; or, when Qt finds no display to open the window on, one
// line on stderr that says so and an exit with status 1, where Qt itself would
// abort with a text that sends the user to reinstall the program.
std::unique_ptr<QApplication> StartApplication(int& argc, char* argv[]);

// SIGTERM, SIGINT and SIGHUP close `window` as its close button does, so that
// the radio is closed and the program ends with status 0. Once per program.
void CloseOnTerminationSignals(QWidget& window);

}  // namespace morvane
