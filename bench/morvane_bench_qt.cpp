// SPDX-License-Identifier: GPL-3.0-or-later
// morvane for benchmarks: the same MainWindow as the shipped program, with the
// tick timing chosen here and every tick's arrival written to a log.
//
//   morvane_bench [--clock-locked] [--tick-log FILE] -- [morvane's options]
//
// A termination signal closes the window, as in the program; then the S-meter's
// read counts go to stderr ("meter: steps 21 reads 63 delayed retunes 0").
//
// The tick log has one line per tick: local milliseconds since midnight, to
// the microsecond, taken as the timer's event reaches the window's timer.
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "radiolink/command_line_hamlib.hpp"
#include "window/application_qt.hpp"
#include "window/main_window_qt.hpp"

namespace {

using namespace morvane;

struct BenchOptions {
    TickTiming timing = TickTiming::SweepLocked;
    std::string tickLog;
    std::vector<std::string> programArguments;
};

BenchOptions ParseBenchOptions(int argc, char* argv[]) {
    BenchOptions options;
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string name = argv[i];
        if (name == "--clock-locked") options.timing = TickTiming::ClockLocked;
        if (name == "--tick-log" && i + 1 < argc) options.tickLog = argv[++i];
    }
    for (++i; i < argc; ++i) options.programArguments.emplace_back(argv[i]);
    return options;
}

double LocalMsOfDay() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const long secondOfDay = (local.tm_hour * 60L + local.tm_min) * 60L + local.tm_sec;
    return static_cast<double>(secondOfDay) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Notes each timer event of the window's tick timer before the tick runs.
class TickLogger : public QObject {
  public:
    explicit TickLogger(const std::string& path) : log_(std::fopen(path.c_str(), "w")) {}
    ~TickLogger() override {
        if (log_ != nullptr) std::fclose(log_);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Timer && log_ != nullptr) {
            std::fprintf(log_, "%.3f\n", LocalMsOfDay());
            std::fflush(log_);
        }
        return false;
    }

  private:
    std::FILE* log_;
};

}  // namespace

int main(int argc, char* argv[]) {
    const BenchOptions bench = ParseBenchOptions(argc, argv);
    const CommandLine command = ParseCommandLine(bench.programArguments);
    if (command.action != CommandAction::OpenWindow) return CarryOut(command, std::cout, std::cerr);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    MainWindow window({command.options, command.fields,
                       command.utc ? ReadUtcClock : ReadLocalClock, ReadKernelClockStatus,
                       bench.timing, command.utc, command.logPath, command.mapPath});
    std::unique_ptr<TickLogger> logger;
    if (!bench.tickLog.empty()) {
        logger = std::make_unique<TickLogger>(bench.tickLog);
        window.findChild<QTimer*>("Timer1", Qt::FindDirectChildrenOnly)
            ->installEventFilter(logger.get());
    }
    CloseOnTerminationSignals(window);
    window.show();
    const int status = QApplication::exec();
    // Read by scripts/bench-map-linux.sh: a read must never hold up a retune.
    const MeterStats meter = window.MeterReadStats();
    std::cerr << "meter: steps " << meter.steps << " reads " << meter.reads << " delayed retunes "
              << meter.delayedRetunes << std::endl;
    return status;
}
