// SPDX-License-Identifier: GPL-3.0-or-later
#include "window/main_window_qt.hpp"

#include <sys/timex.h>

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <clocale>
#include <ctime>
#include <iostream>
#include <optional>
#include <utility>

#include "tracking/tick.hpp"

namespace morvane {
namespace {

// The layout's boxes were sized for Windows' default dialog font; the desktop's
// own, often larger, would not fit in them.
constexpr FontSpec kWindowFont{"MS Sans Serif", 8.25, false};
// Dark text on the connection and warning colours, whatever the desktop's
// theme: a dark theme's light text on green or red is all but unreadable.
constexpr QColor kDarkText{0, 0, 0};
// Neither the connection green nor red: the clock may be wrong, not the link.
constexpr QColor kClockWarningColour{255, 191, 0};

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's colours keep red in the low byte; QColor wants it first.
QColor ToQColor(Colour colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// Faces close in width to the table's Windows faces, for where those are missing:
// Vera's heirs run as wide as Verdana, Arial's clones near MS Sans Serif.
QStringList FamiliesFor(std::string_view family) {
    QStringList families{ToQString(family)};
    if (family == "Verdana")
        families << "DejaVu Sans"
                 << "Bitstream Vera Sans";
    if (family == "MS Sans Serif") {
        families << "Microsoft Sans Serif"
                 << "Arial"
                 << "Liberation Sans"
                 << "Arimo"
                 << "Nimbus Sans";
    }
    return families;
}

// The table's font, or the nearest sans-serif face at the same size.
QFont FontFor(const FontSpec& spec, const QFont& windowFont) {
    if (spec.family.empty()) return windowFont;
    QFont font(windowFont);
    font.setFamilies(FamiliesFor(spec.family));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(spec.points);
    font.setBold(spec.bold);
    return font;
}

// A child of the window of the control's kind, with its caption or list.
QWidget* NewWidget(const ControlSpec& control, QWidget* window) {
    switch (control.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(ToQString(control.caption), window);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // captions sit at the top
            return label;
        }
        case ControlKind::TextField: {
            auto* edit = new QLineEdit(window);
            edit->setMaxLength(static_cast<int>(kLongestFieldText));
            return edit;
        }
        case ControlKind::DropDown: {
            auto* list = new QComboBox(window);
            list->setEditable(true);
            list->lineEdit()->setMaxLength(static_cast<int>(kLongestFieldText));
            // Typed text is a setting of its own, never a new entry of the list.
            list->setInsertPolicy(QComboBox::NoInsert);
            for (std::string_view entry : control.list) list->addItem(ToQString(entry));
            return list;
        }
        case ControlKind::Slider: {
            auto* slider = new QSlider(Qt::Horizontal, window);
            slider->setRange(kSliderLowest, kSliderHighest);
            return slider;
        }
    }
    return nullptr;
}

// Replaces a widget's text only when it differs, so that a user typing in
// it keeps the caret and the undo history.
void ShowText(QWidget* widget, const QString& text) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        if (edit->text() != text) edit->setText(text);
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
        if (list->currentText() != text) list->setEditText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        // A label is one line: what does not fit ends in "…", never cut off unmarked.
        const QString shown =
            label->fontMetrics().elidedText(text, Qt::ElideRight, label->contentsRect().width());
        if (label->text() != shown) label->setText(shown);
    }
}

// "local time, CET", or "UTC": which time of day the window shows. The zone
// is read afresh, so that its name follows daylight saving time.
std::string ZoneText(bool utc) {
    if (utc) return "UTC";
    tzset();
    const std::time_t now = std::time(nullptr);
    std::tm broken{};
    localtime_r(&now, &broken);
    return std::string("local time, ") + (broken.tm_zone != nullptr ? broken.tm_zone : "");
}

}  // namespace

namespace {

// One reading of the system clock, broken down by `breakDown` (localtime_r or gmtime_r).
ClockReading ReadClock(std::tm* (*breakDown)(const std::time_t*, std::tm*)) {
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm broken{};
    breakDown(&seconds, &broken);
    const auto millisecond = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return {broken.tm_hour, broken.tm_min, broken.tm_sec, static_cast<int>(millisecond)};
}

}  // namespace

// localtime_r loads the time zone once; QTime::currentTime re-checks the zone
// file on every call, which twenty readings a second turn into the idle
// program's largest single cost.
ClockReading ReadLocalClock() {
    return ReadClock(localtime_r);
}

ClockReading ReadUtcClock() {
    return ReadClock(gmtime_r);
}

// One call, no daemon and no network: the kernel keeps NTP's verdict. A call
// that fails (a sandbox that forbids it) leaves the verdict unknown, never good.
std::optional<ClockStatus> ReadKernelClockStatus() {
    timex kernel{};
    const int state = ntp_adjtime(&kernel);
    if (state == -1) return ClockStatus{false, 0, false};
    return ClockStatus{state != TIME_ERROR && (kernel.status & STA_UNSYNC) == 0, kernel.esterror};
}

MainWindow::MainWindow(WindowStart start, QWidget* parent)
    : QWidget(parent),
      utc_(start.utc),
      recorder_(std::move(start.logPath), std::move(start.mapPath)),
      timer_(new QTimer(this)),
      link_(OpenLink(std::move(start.radio))),
      follower_(std::move(start.fields), *link_,
                {std::move(start.clock), [] { return std::chrono::steady_clock::now(); },
                 std::move(start.clockStatus)},
                {QLocale().decimalPoint().toStdString(), ColourScheme::WithAmber, start.timing,
                 {LinkState::Waiting, "Not connected: opening the radio", link_->RadioName()},
                 start.radio.readMeter}) {
    setObjectName("Main");
    setWindowTitle(ToQString(kWindowCaption));
    CreateControls();
    // The time is labelled by what it is, when it is not the local time of day.
    if (utc_) static_cast<QLabel*>(Control(ControlId::Label7))->setText("UTC");
    AddProgressLine();
    AddMapButton();
    SetFocusOrder();
    FillPeriodList();
    Show(follower_.View());
    ShowTimeOfDayTip();
    // Only now: adding a list's first entry sets its text, which must not reach the record.
    PassEditsToFields();
    StartTicking();
}

// Qt gives the C library the user's locale. Hamlib 4.5 switches LC_NUMERIC to
// "C" and back while it opens a networked radio, reading the saved locale's
// name after that switch has freed it unless the name is "C" already. Qt's own
// number handling does not use the C library's locale, so the window keeps it "C".
std::unique_ptr<HamlibLink> MainWindow::OpenLink(HamlibOptions radio) {
    std::setlocale(LC_NUMERIC, "C");
    // The worker thread wakes the window; the events are taken on the window's own thread.
    return std::make_unique<HamlibLink>(std::move(radio), [this] {
        QMetaObject::invokeMethod(
            this, [this] { DeliverLinkEvents(); }, Qt::QueuedConnection);
    });
}

void MainWindow::CreateControls() {
    const int dpi = qRound(screen()->logicalDotsPerInch());
    const auto pixels = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    resize(pixels(kClientWidthTwips), pixels(kClientHeightTwips));
    setFont(FontFor(kWindowFont, font()));
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        const ControlSpec& control = kMainWindowLayout[i];
        QWidget* widget = NewWidget(control, this);
        widget->setObjectName(ToQString(control.name));
        widget->setFont(FontFor(control.font, font()));
        const Twips& box = control.twips;
        widget->setGeometry(pixels(box.left), pixels(box.top), pixels(box.width),
                            pixels(box.height));
        if (!control.visible) {
            widget->setVisible(false);
            widget->setFocusPolicy(Qt::NoFocus);
        }
        controls_[i] = widget;
    }
}

// Beneath the status line, a line of its own for how the radio keeps up and
// where the sweep is; the window grows by its height.
void MainWindow::AddProgressLine() {
    QWidget* status = Control(ControlId::status);
    progress_ = new QLabel(this);
    progress_->setObjectName("progress");
    progress_->setTextFormat(Qt::PlainText);
    progress_->setFont(status->font());
    const int height = progress_->fontMetrics().lineSpacing();
    progress_->setGeometry(status->x(), status->geometry().bottom() + 1, status->width(), height);
    resize(width(), this->height() + height);
}

// At the end of the second line, the button that opens the propagation map.
void MainWindow::AddMapButton() {
    mapButton_ = new QToolButton(this);
    mapButton_->setObjectName("mapButton");
    mapButton_->setText("Map");
    mapButton_->setFont(progress_->font());
    const QRect line = progress_->geometry();
    const int width = mapButton_->fontMetrics().horizontalAdvance("Map") + line.height();
    mapButton_->setGeometry(line.right() + 1 - width, line.top(), width, line.height());
    progress_->resize(line.width() - width - 2, line.height());
    connect(mapButton_, &QToolButton::clicked, this, [this] { recorder_.ShowMap(this); });
}

void MainWindow::SetFocusOrder() {
    for (std::size_t i = 1; i < kFocusOrder.size(); ++i) {
        setTabOrder(Control(kFocusOrder[i - 1]), Control(kFocusOrder[i]));
    }
    Control(kFocusOrder.front())->setFocus();
}

// The window's load: the period list gets its entries; its text stays as the record has it.
void MainWindow::FillPeriodList() {
    auto* periods = static_cast<QComboBox*>(Control(ControlId::Combo_period));
    for (std::string_view entry : kPeriodList) periods->addItem(ToQString(entry));
}

// Every edit reaches the record at once, so the next tick reads what the user typed.
void MainWindow::PassEditsToFields() {
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        std::string MainFields::*field = kMainWindowLayout[i].field;
        // The widget now shows something the record may not: compare afresh next time.
        const auto store = [this, field, i](const QString& text) {
            fields().*field = text.toStdString();
            shownTexts_[i].reset();
        };
        if (auto* edit = qobject_cast<QLineEdit*>(controls_[i])) {
            connect(edit, &QLineEdit::textEdited, this, store);
        } else if (auto* list = qobject_cast<QComboBox*>(controls_[i])) {
            connect(list, &QComboBox::currentTextChanged, this, store);
        }
    }
    connect(static_cast<QSlider*>(Control(ControlId::Slider1)), &QSlider::valueChanged, this,
            [this](int position) { fields().Slider1 = position; });
}

// A coarse timer may fire several milliseconds off; the precise one keeps
// each tick within a millisecond or so of where it was asked for. Single-shot:
// every tick arms the next from its own reading, so nothing drifts.
void MainWindow::StartTicking() {
    timer_->setObjectName("Timer1");
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, &MainWindow::Tick);
    timer_->start(follower_.FirstTickInMs());
}

void MainWindow::Tick() {
    const FollowerView view = follower_.Tick();
    timer_->start(view.nextTickMs);
    Show(view);
}

void MainWindow::DeliverLinkEvents() {
    link_->DeliverEvents(follower_);
    Show(follower_.View());
}

void MainWindow::Show(const FollowerView& view) {
    ShowSettingMarks(FieldMarks(view.problem, view.marks));
    if (view.clock) {
        ShowClockTrust(*view.clock);
        ShowTimeOfDayTip();
    }
    ShowFields();
    ShowLinkDetail(view);
    ShowMeter(view);
    recorder_.Record(follower_.TakeHeardSteps());
}

void MainWindow::ShowFields() {
    for (std::size_t i = 0; i < kMainWindowLayout.size(); ++i) {
        if (kMainWindowLayout[i].field == nullptr) continue;
        const std::string& text = fields().*kMainWindowLayout[i].field;
        if (shownTexts_[i] == text) continue;  // most fields stay as they are from tick to tick
        ShowText(controls_[i], QString::fromStdString(text));
        shownTexts_[i] = text;
    }
    auto* slider = static_cast<QSlider*>(Control(ControlId::Slider1));
    if (slider->value() != fields().Slider1) slider->setValue(fields().Slider1);
    ShowText2Background();
}

void MainWindow::ShowText2Background() {
    if (shownBackground_ == fields().text2Background) return;
    shownBackground_ = fields().text2Background;
    QPalette wanted = palette();  // the window's: the default background
    if (fields().text2Background) {
        wanted.setColor(QPalette::Base, ToQColor(*fields().text2Background));
        wanted.setColor(QPalette::Text, kDarkText);
    }
    Control(ControlId::text2)->setPalette(wanted);
}

// Marks the fields whose settings the tick could not use or no sounder has,
// with red text and a tooltip saying why; a mark goes with the first tick
// that finds its setting right.
void MainWindow::ShowSettingMarks(const std::vector<FieldMark>& marks) {
    if (marks == shownMarks_) return;
    for (const FieldMark& shown : shownMarks_) {
        Control(shown.control)->setToolTip({});
        Control(shown.control)->setPalette(palette());
    }
    shownMarks_ = marks;
    QPalette redText = palette();
    redText.setColor(QPalette::Text, Qt::red);
    for (const FieldMark& mark : marks) {
        Control(mark.control)->setToolTip(QString::fromStdString(mark.tip));
        Control(mark.control)->setPalette(redText);
    }
}

// The status's second line, and the tooltip of both lines: which radio is
// driven, so that nobody takes Hamlib's dummy radio for their own, how it
// fares, and the whole of a status line that did not fit. What the link says
// of itself goes to stderr too, once each time it changes.
void MainWindow::ShowLinkDetail(const FollowerView& view) {
    auto* status = static_cast<QLabel*>(Control(ControlId::status));
    ShowText(progress_, QString::fromStdString(view.progress));
    QString tip = QString::fromStdString(view.statusTip);  // the progress line whole among it
    const QString statusText = QString::fromStdString(fields().status);
    if (status->text() != statusText) tip.prepend(statusText + "\n");  // shown cut short
    for (QWidget* line : {static_cast<QWidget*>(status), static_cast<QWidget*>(progress_)}) {
        if (line->toolTip() != tip) line->setToolTip(tip);
    }
    if (view.linkDetail == shownLinkDetail_ || view.linkDetail.empty()) return;
    shownLinkDetail_ = view.linkDetail;
    std::cerr << "morvane: " << view.linkDetail << std::endl;
}

// The map button's tooltip says how the map is fed; a radio without a meter
// to read is said once on stderr too.
void MainWindow::ShowMeter(const FollowerView& view) {
    const QString tip = QString::fromStdString(view.meter.empty() ? "The propagation map"
                                                                  : "The propagation map: " + view.meter);
    if (mapButton_->toolTip() != tip) mapButton_->setToolTip(tip);
    if (!view.meterMissing || std::exchange(meterMissingSaid_, true)) return;
    std::cerr << "morvane: " << view.meter << std::endl;
}

// Everything rests on the computer's clock: at 100 kHz/s the sweep moves 100 Hz
// a millisecond. Marks the time of day, and says so once on stderr, when the
// clock cannot be trusted; the tooltip tells how far off it may be either way.
void MainWindow::ShowClockTrust(const ClockTrust& trust) {
    if (trust == shownClockTrust_) return;
    if (trust.warn && !(shownClockTrust_ && shownClockTrust_->warn)) {
        std::cerr << "morvane: " << trust.text << std::endl;
    }
    shownClockTrust_ = trust;
    QWidget* timeOfDay = Control(ControlId::Text1);
    QPalette look = palette();
    if (trust.warn) {
        look.setColor(QPalette::Base, kClockWarningColour);
        look.setColor(QPalette::Text, kDarkText);
    }
    timeOfDay->setPalette(look);
}

// The zone first, "local time, CET" or "UTC", then what the kernel says of the clock.
void MainWindow::ShowTimeOfDayTip() {
    std::string tip = ZoneText(utc_);
    if (shownClockTrust_) tip += "\n" + shownClockTrust_->text;
    QWidget* timeOfDay = Control(ControlId::Text1);
    const QString text = QString::fromStdString(tip);
    if (timeOfDay->toolTip() != text) timeOfDay->setToolTip(text);
}

}  // namespace morvane
