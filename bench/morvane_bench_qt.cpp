// morvane for benchmarks: the same MainWindow as the shipped program, with the
// tick timing chosen here, settings typed into the window's fields before the
// first tick, and every tick's arrival written to a log.
//
//   morvane_bench [--clock-locked] [--tick-log FILE] [--period S] [--chirp S]
//                 [--rate KHZ] [--step KHZ] -- [morvane's options]
//
// The tick log has one line per tick: local milliseconds since midnight, to
// the microsecond, taken as the timer's event reaches the window's timer.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "radiolink/command_line_hamlib.hpp"
#include "window/main_window_qt.hpp"

namespace {

using namespace morvane;

struct BenchOptions {
    TickTiming timing = TickTiming::SweepLocked;
    std::string tickLog;
    std::vector<std::pair<const char*, std::string>> typed;  // field name, text
    std::vector<std::string> programArguments;
};

BenchOptions ParseBenchOptions(int argc, char* argv[]) {
    BenchOptions options;
    const std::pair<const char*, const char*> fields[] = {{"--period", "Combo_period"},
                                                          {"--chirp", "chirptime"},
                                                          {"--rate", "Combo_rate"},
                                                          {"--step", "Combo_step"}};
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string name = argv[i];
        if (name == "--clock-locked") options.timing = TickTiming::ClockLocked;
        if (name == "--tick-log" && i + 1 < argc) options.tickLog = argv[++i];
        for (const auto& [option, field] : fields) {
            if (name == option && i + 1 < argc) options.typed.emplace_back(field, argv[++i]);
        }
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

// Selects what the field holds and types over it, as a user does.
void TypeInto(QWidget& window, const char* field, const std::string& text) {
    QWidget* control = window.findChild<QWidget*>(field, Qt::FindDirectChildrenOnly);
    auto* list = qobject_cast<QComboBox*>(control);
    QLineEdit* edit = list != nullptr ? list->lineEdit() : qobject_cast<QLineEdit*>(control);
    if (edit == nullptr) return;
    edit->selectAll();
    edit->insert(QString::fromStdString(text));
}

}  // namespace

int main(int argc, char* argv[]) {
    const BenchOptions bench = ParseBenchOptions(argc, argv);
    const CommandLine command = ParseCommandLine(bench.programArguments);
    if (command.action != CommandAction::OpenWindow) return CarryOut(command, std::cout, std::cerr);
    int qtArgc = 1;
    QApplication application(qtArgc, argv);
    MainWindow window({command.options, command.fields, ReadLocalClock, ReadKernelClockStatus,
                       bench.timing});
    std::unique_ptr<TickLogger> logger;
    if (!bench.tickLog.empty()) {
        logger = std::make_unique<TickLogger>(bench.tickLog);
        window.findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly)
            ->installEventFilter(logger.get());
    }
    for (const auto& [field, text] : bench.typed) TypeInto(window, field, text);
    window.show();
    return QApplication::exec();
}
