// The information views with the largest line limit (99999 lines): appending line by line to two
// mirrored views (the docked panel shown, the Information window hidden, as usual), the shown
// view redrawn as the window would between lines, then a trim that re-sets both views.
//
//   QT_QPA_PLATFORM=offscreen torq-information-bench [LINES]
#include <QApplication>
#include <QPlainTextEdit>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "torq/app/FileChooser.h"
#include "torq/app/InformationView.h"

namespace {

using namespace torq;
using Steady = std::chrono::steady_clock;

double MillisecondsSince(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

// A run's lines: the start and end of each step, its verdict, now and then a failure.
std::string LineText(int i) {
    switch (i % 4) {
        case 0:
            return "Start [Program]";
        case 1:
            return i % 40 == 1 ? "Verify : Fail" : "Program : Pass";
        case 2:
            return "IC checksum=0x01FDE210";
        default:
            return "End [Program]";
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, std::atoi(argv[1])) : 99999;

    InformationLog log;
    app::DialogFileChooser files;
    FixedOperator op;
    app::InformationView docked(log, files, op, app::InformationPlace::Docked);
    app::InformationView separate(log, files, op, app::InformationPlace::Separate);
    docked.resize(1248, 240);
    separate.resize(760, 420);
    docked.show();
    QApplication::processEvents();

    double worst = 0;
    const auto start = Steady::now();
    for (int i = 0; i < lines; ++i) {
        const auto lineStart = Steady::now();
        log.WriteInfoLine(LineText(i));
        // The window repaints when the operation lets it (every few lines during a run).
        if (i % 50 == 0)
            QApplication::processEvents();
        worst = std::max(worst, MillisecondsSince(lineStart));
    }
    const double total = MillisecondsSince(start);
    std::printf("append %d lines to two views: %.0f ms, %.1f us per line, worst line %.2f ms\n",
                lines, total, total * 1000 / lines, worst);

    const auto trimStart = Steady::now();
    log.ApplyLineLimit(5000, LimitAction::ClearContents, {});
    QApplication::processEvents();
    std::printf("trim to the newest %d lines, both views re-set: %.0f ms\n", docked.LineCount() - 1,
                MillisecondsSince(trimStart));

    const auto clearStart = Steady::now();
    log.Clear();
    QApplication::processEvents();
    std::printf("clear: %.1f ms\n", MillisecondsSince(clearStart));
    return docked.LineCount() == 0 && separate.LineCount() == 0 ? 0 : 1;
}
