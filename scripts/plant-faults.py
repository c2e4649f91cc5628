#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Plants small faults in the tracking core, the hand-off and the follower, one at a time,
and runs the tests that guard them, to show which faults the tests catch.

    scripts/plant-faults.py [FAULT-NUMBER ...]     default: every fault

A fault may name the tests that guard it, when only a run of the whole
program against a real peer can tell it: the meter's reads are timed on the
link's worker thread.

Each fault is a flipped comparison, a constant off by one, a swapped branch or
a dropped check, made by replacing one piece of text in one file. The build
is its own (build/faults, the ci preset's settings); every fault is taken out
again before the next, and the source is restored even if the run is stopped.
Results, one line a fault, go to build/faults/results.txt and stdout.
"""
import pathlib
import signal
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "faults"
TARGETS = ["tracking_tests", "radiolink_tests", "reliability_tests", "morvane", "tst_propagation"]
# The tests that run in seconds and use the core; the link against a real
# rigctld and the windows do not add to what guards these files.
LABELS = "^(tracking_tests|radiolink_tests|reliability_tests)$"

# (file, text as it stands, text with the fault[, the tests that guard it])
FAULTS = [
    ("tracking/number_text.cpp", "return c == ' ' || c == '\\t';", "return c == ' ';"),
    ("tracking/number_text.cpp", "if (text.front() == '-') out.push_back('-');", ""),
    ("tracking/number_text.cpp", "if (!belowOne) throw", "if (belowOne) throw"),
    ("tracking/number_text.cpp", "if (fraction > 0.5 ||", "if (fraction >= 0.5 ||"),
    ("tracking/number_text.cpp", "std::fmod(rounded, 2.0) != 0.0", "std::fmod(rounded, 2.0) == 0.0"),
    ("tracking/number_text.cpp",
     "rounded > static_cast<double>(std::numeric_limits<std::int32_t>::max())", "false"),
    ("tracking/number_text.cpp", "value > std::numeric_limits<std::int16_t>::max()",
     "value > std::numeric_limits<std::int16_t>::max() + 1"),
    ("tracking/number_text.cpp", "(ms + 50) / 100 : -((-ms + 50) / 100)",
     "(ms + 49) / 100 : -((-ms + 49) / 100)"),
    ("tracking/number_text.cpp", 'std::string text = ms < 0 ? "-" : "";',
     'std::string text = tenths < 0 ? "-" : "";'),
    ("tracking/number_text.cpp", "text += separator;", 'text += ".";'),
    ("tracking/sweep_position.cpp", "std::int64_t{sliderPosition} * kOffsetPerSliderStepMs",
     "std::int64_t{sliderPosition} * (kOffsetPerSliderStepMs + 1)"),
    ("tracking/sweep_position.cpp", "milliseconds + kLeadMs;", "milliseconds;"),
    ("tracking/sweep_position.cpp", "std::int64_t{clock.minute} * 60", "std::int64_t{clock.minute} * 59"),
    ("tracking/sweep_position.cpp",
     'if (period == 0) throw TickFailure(SettingField::Period, "rounds to 0 ms");', ""),
    ("tracking/sweep_position.cpp", "RoundToInt32(seconds * 1000.0", "RoundToInt32(seconds * 100.0"),
    ("tracking/sweep_position.cpp", "if (chirp > ctime1) {", "if (chirp >= ctime1) {"),
    ("tracking/sweep_position.cpp",
     "Finite(NumberFromText(periodText, separator, SettingField::Period) * 1000.0,",
     "std::round(NumberFromText(periodText, separator, SettingField::Period) * 1000.0) + Finite(0,"),
    ("tracking/sweep_position.cpp", "RoundToInt32(periodMs + (ctime1 - chirp)",
     "RoundToInt32(periodMs - (ctime1 - chirp)"),
    ("tracking/sweep_position.cpp", "std::int64_t{since} + offset", "std::int64_t{since} - offset"),
    ("tracking/sweep_position.cpp", "DecimalText(clock.second)", "DecimalText(clock.minute)"),
    ("tracking/sweep_frequency.cpp", "if (frequency < kBandBottomHz) frequency = kBandBottomHz;", ""),
    ("tracking/sweep_frequency.cpp", "if (frequency > row->upperLimitHz)", "if (frequency >= row->upperLimitHz)"),
    ("tracking/sweep_frequency.cpp", "if (frequency > row->upperLimitHz) frequency = kBandBottomHz;",
     "if (frequency > row->upperLimitHz) frequency = row->upperLimitHz;"),
    ("tracking/sweep_frequency.cpp", "if (rateText == row.text) return &row;",
     "if (rateText.starts_with(row.text)) return &row;"),
    ("tracking/sweep_frequency.cpp", "RoundToInt32(rate * ctime,", "RoundToInt32(rate * (ctime + 1),"),
    ("tracking/step_candidate.cpp", "if (kHz == row.kHz) return &row;", "if (kHz >= row.kHz) return &row;"),
    ("tracking/step_candidate.cpp", "if (row == nullptr || frequency <= 0) return {};",
     "if (row == nullptr || frequency < 0) return {};"),
    ("tracking/step_candidate.cpp", "frequency >= kWideFromHz", "frequency > kWideFromHz"),
    ("tracking/step_candidate.cpp", "return digit == '0' || digit == '5' ?", "return digit == '0' ?"),
    ("tracking/step_candidate.cpp", "i < count && i < digits.size()", "i <= count && i < digits.size()"),
    ("tracking/tick.cpp", "fields.Text5 = ReadoutText(ctime1, separator);",
     "fields.Text5 = ReadoutText(ctime, separator);"),
    ("tracking/tick.cpp", "if (FindRate(fields.Combo_rate) == nullptr) {", "if (false) {"),
    ("tracking/tick.cpp", "} catch (const std::exception&) {", "} catch (const TickFailure&) {"),
    ("tracking/tick.cpp", "outcome.ctime = ctime;", ""),
    ("tracking/tick_schedule.cpp", "if (untilMark <= kTickMarginMs) return untilMark + kTickIntervalMs;", ""),
    ("tracking/tick_schedule.cpp", "std::clamp(untilMark, shortest,", "std::clamp(untilMark, 1,"),
    ("tracking/tick_schedule.cpp", "if (timing == TickTiming::SweepLocked && ctime)", "if (ctime)"),
    ("tracking/tick_schedule.cpp", "kQuietAfterTickMs - sinceTickMs - atLeastMs",
     "kQuietAfterTickMs + sinceTickMs - atLeastMs"),
    ("tracking/clock_trust.cpp", "status.estimatedErrorUs > kTrustedClockErrorUs",
     "status.estimatedErrorUs >= kTrustedClockErrorUs"),
    ("tracking/clock_trust.cpp", "if (!status.synchronised) {", "if (false) {"),
    ("radiolink/hand_off.cpp", "if (!linkUp_ || fields.Text4.empty()) {", "if (fields.Text4.empty()) {"),
    ("radiolink/hand_off.cpp", "if (!linkUp_ || fields.Text4.empty()) {", "if (!linkUp_) {"),
    ("radiolink/hand_off.cpp", "fields.Text6 = kLinkDownMark;", ""),
    ("radiolink/hand_off.cpp", "if (candidate.empty() || candidate == fields.Text6) return;",
     "if (candidate.empty()) return;"),
    ("radiolink/hand_off.cpp", "(item == LinkItem::Display ? fields.text2 : fields.Text4)",
     "(item == LinkItem::Display ? fields.Text4 : fields.text2)"),
    # The position's own 32-bit check, the clock's health, the next tick's delay.
    ("tracking/sweep_position.cpp", "value > std::numeric_limits<std::int32_t>::max()) {", "false) {"),
    ("tracking/sweep_position.cpp", "value < std::numeric_limits<std::int32_t>::min() ||",
     "value < std::numeric_limits<std::int32_t>::min() + 1 ||"),
    ("tracking/clock_trust.cpp", "microseconds >= 10'000'000", "microseconds >= 100'000"),
    ("tracking/tick_schedule.cpp", "PhaseOf(sweepMs - kTickMarginMs)", "PhaseOf(sweepMs + kTickMarginMs)"),
    ("tracking/tick_schedule.cpp", "kTickIntervalMs - previousGapMs", "kTickIntervalMs + previousGapMs"),
    ("tracking/tick_schedule.cpp", "std::clamp(kTickIntervalMs - previousGapMs, 1, kShortestTickGapMs)",
     "std::clamp(kTickIntervalMs - previousGapMs, kShortestTickGapMs, kShortestTickGapMs)"),
    # A late tick, a lost link, the on-time rule.
    ("tracking/tick.cpp", "late->armedCtime >= ctime ||", "late->armedCtime <= ctime ||"),
    ("radiolink/follower.cpp", "kLeadMs - static_cast<int>(answer.count())", "kLeadMs + 50"),
    ("radiolink/follower.cpp",
     "if (report_.state != LinkState::Connected) fields_.Text6 = kLinkDownMark;", ""),
    ("radiolink/follower.cpp", "untilUs += std::int64_t{point.periodMs} * 1000;",
     "untilUs += std::int64_t{point.periodMs} * 0;"),
    ("radiolink/step_record.cpp", "next->sentAt < heardUntil",
     "next->sentAt + std::chrono::milliseconds(5) < heardUntil"),
    ("radiolink/step_record.cpp", "retune.answer->at > heardFrom",
     "retune.answer->at > heardFrom + std::chrono::seconds(1)"),
    ("radiolink/step_record.cpp", "if (retune.answer && !retune.answer->accepted)", "if (false)"),
    ("radiolink/follower.cpp", "if (!answer.answered) return;", "if (false) return;"),
    # The time of day written after the conversions that can fail, as it once was.
    ("tracking/tick.cpp", "    fields.Text1 = TimeOfDayText(clock);\n    try {\n",
     "    try {\n        PositionInPeriod(Day(clock), fields.Combo_period, separator);\n"
     "        TimeSinceSweepBegan(0, fields.chirptime, fields.Combo_period, 0, separator);\n"
     "        fields.Text1 = TimeOfDayText(clock);\n"),
    # Where the sweep is, and what the tooltip says of a radio the status calls not connected.
    ("radiolink/follower.cpp", "(untilMs + 999) / 1000", "untilMs / 1000"),
    ("radiolink/follower.cpp", "Countdown(point.periodMs - sinceBegan + bottomAt)",
     "Countdown(bottomAt - sinceBegan)"),
    ("radiolink/follower.cpp", '"not connected: " + why', "report_.detail"),
    ("radiolink/follower.cpp", 'view.statusTip += "\\n" + *notFollowing;', 'view.statusTip += "";'),
    ("radiolink/follower.cpp", "hertz < kBandBottomHz) return", "hertz < 0) return"),
    # A kernel that could not be asked.
    ("tracking/clock_trust.cpp", "if (!status.known) {", "if (false) {"),
    # The top step, whose passband lies past the top of the band, counted as missed.
    ("radiolink/step_record.cpp", "std::min<std::int64_t>(sweepHz, point.upperLimitHz) - span_.highHz",
     "std::min<std::int64_t>(sweepHz - span_.highHz, point.upperLimitHz)"),
    # The meter's peak read as soon as the floor is, before the chirp can have come.
    ("radiolink/radio_link_hamlib.cpp", "return floorDone_ ? plan_.peakFrom :",
     "return floorDone_ ? Clock::time_point{} :", "^tst_propagation$"),
    # The peak planned for when the sweep reaches the step, not for when its chirp has passed.
    ("tracking/listening.cpp", "reachedAt + SweepTime(span.highHz, rateKHz) + kLongestPathDelay",
     "reachedAt + SweepTime(span.lowHz, rateKHz)"),
    # Every retune judged by the USB rule, whatever the radio's mode.
    ("radiolink/step_record.cpp", "rateKHz, span_, std::nullopt", "rateKHz, SpanForMode(\"USB\", 0), std::nullopt"),
    # Levels kept for a step the radio was not on in time.
    ("radiolink/heard_steps.cpp", "if (!first.step.onTime) first.step.floorDb", "if (false) first.step.floorDb"),
]


def run(command, **kwargs):
    return subprocess.run(command, cwd=ROOT, capture_output=True, text=True, **kwargs)


def build():
    return run(["cmake", "--build", str(BUILD), "--target", *TARGETS]).returncode == 0


def failing_tests(tests=None):
    """The tests that failed, or why none could run."""
    chosen = ["-R", tests] if tests else ["-L", LABELS, "-E", "HamlibLink", "-j2"]
    result = run(["ctest", "--test-dir", str(BUILD), *chosen, "--timeout", "300"])
    failed = [line.split(" - ")[1].split(" (")[0] for line in result.stdout.splitlines()
              if " - " in line and line.strip()[0].isdigit()]
    return failed if result.returncode != 0 else []


def main():
    # A stop by a signal goes through the finally below, which takes the fault out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("plant-faults: stopped"))
    chosen = [int(n) for n in sys.argv[1:]] or range(1, len(FAULTS) + 1)
    if run(["cmake", "--preset", "ci", "-B", str(BUILD)]).returncode != 0 or not build():
        sys.exit("plant-faults: the build without faults fails")
    if failing_tests():
        sys.exit("plant-faults: the tests fail without a fault")
    lines = []
    for number in chosen:
        path, original, planted, *tests = FAULTS[number - 1]
        source = ROOT / path
        text = source.read_text()
        if text.count(original) != 1:
            sys.exit(f"plant-faults: fault {number}: the text to replace is not in {path} once")
        try:
            source.write_text(text.replace(original, planted))
            if not build():
                verdict = "caught: does not build"
            else:
                failed = failing_tests(*tests)
                verdict = f"caught by {', '.join(failed[:3])}" if failed else "NOT CAUGHT"
        finally:
            source.write_text(text)
        line = f"{number:2} {path}: {original!r} -> {planted!r}: {verdict}"
        print(line, flush=True)
        lines.append(line)
    build()
    caught = sum("NOT CAUGHT" not in line for line in lines)
    summary = f"caught {caught} of {len(lines)} planted faults"
    print(summary)
    BUILD.mkdir(parents=True, exist_ok=True)
    (BUILD / "results.txt").write_text("\n".join(lines + [summary]) + "\n")


if __name__ == "__main__":
    main()
