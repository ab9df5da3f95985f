// The main window's benchmarks.
//   torq-app-bench startup --program PATH --home DIR [--runs N] [--simulate SPEC]
//       process start to the first painted window, and to the window ready (programmer found,
//       chip detected), each over N starts of the real program.
//   torq-app-bench latency --home DIR [--simulate SPEC]
//       Execute All on the simulated programmer in real-time mode with a whole-chip image, then
//       Read and Detect IC: the longest interval in which the window processed no events (a
//       1 ms timer measures it), and the step during which it happened. With SPEC naming several
//       programmers (CHIP*4), every unit takes part (a gang run). The process's peak memory at the
//       end.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <vector>

#include "MainWindow.h"
#include "torq/app/FileChooser.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/SimulateOption.h"
#include "torq/workflow/Sequencer.h"
#include "widgets/Tile.h"

namespace {

using namespace torq;

QString Option(const QStringList& args, const QString& name, const QString& fallback = {}) {
    const auto at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int StartUp(const QStringList& args) {
    const QString program = Option(args, QStringLiteral("--program"));
    const QString home = Option(args, QStringLiteral("--home"));
    const int runs = Option(args, QStringLiteral("--runs"), QStringLiteral("10")).toInt();
    const QString simulate = Option(args, QStringLiteral("--simulate"), QStringLiteral("W25Q64FV"));
    std::vector<double> paint, ready;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TORQ_SPI_BENCH_STARTUP"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        const long long start = NowNs();
        process.start(program,
                      {QStringLiteral("--home"), home, QStringLiteral("--simulate"), simulate});
        if (!process.waitForFinished(60000)) {
            std::cerr << "torq-app-bench: the window did not end\n";
            return 1;
        }
        long long painted = 0, readyAt = 0;
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            if (line.startsWith("first-paint "))
                painted = line.mid(12).toLongLong();
            else if (line.startsWith("ready "))
                readyAt = line.mid(6).toLongLong();
        }
        if (painted == 0 || readyAt == 0) {
            std::cerr << "torq-app-bench: no timing from the window: "
                      << process.readAllStandardError().toStdString() << "\n";
            return 1;
        }
        paint.push_back((painted - start) / 1e6);
        ready.push_back((readyAt - start) / 1e6);
    }
    std::printf("  start to first paint   median %7.1f ms   max %7.1f ms   (%d starts)\n",
                Median(paint), *std::max_element(paint.begin(), paint.end()), runs);
    std::printf("  start to window ready  median %7.1f ms   max %7.1f ms\n", Median(ready),
                *std::max_element(ready.begin(), ready.end()));
    return 0;
}

class QuietChooser final : public app::FileChooser {
  public:
    QString OpenFileName(QWidget*, const app::FileRequest&) override { return {}; }
    QString SaveFileName(QWidget*, const app::FileRequest&) override { return {}; }
};

int Latency(const QStringList& args) {
    const std::string home = Option(args, QStringLiteral("--home")).toStdString();
    const std::string simulate =
        Option(args, QStringLiteral("--simulate"), QStringLiteral("W25Q128FV,realtime=1"))
            .toStdString();
    sim::SimulateParse parsed = sim::ParseSimulateOptions({simulate});
    if (!parsed.programmer) {
        std::cerr << "torq-app-bench: " << parsed.error << "\n";
        return 2;
    }
    const std::string chip = simulate.substr(0, simulate.find_first_of(",*"));
    IniFile history(std::filesystem::path(home) / "History.ini");
    history.WriteString("Device1", "Vendor", "Winbond");
    history.WriteString("Device1", "Type", chip);
    history.Save();
    // A whole-chip image of random bytes.
    const std::uint64_t size =
        parsed.programmer->Chip() != nullptr ? parsed.programmer->Chip()->Spec().size : 0;
    if (size == 0) {
        std::cerr << "torq-app-bench: the simulated socket holds no chip\n";
        return 2;
    }
    const auto image = std::filesystem::path(home) / "image.bin";
    {
        std::ofstream out(image, std::ios::binary);
        std::mt19937 random(7);
        std::vector<char> block(65536);
        for (std::uint64_t done = 0; done < size; done += block.size()) {
            for (char& c : block)
                c = static_cast<char>(random());
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    FixedOperator op(Answer::Cancel);
    QuietChooser files;
    std::unique_ptr<UsbDevice> usb = std::move(parsed.programmer);
    app::MainWindow window(ProgramDirectory::Portable(home), std::move(usb),
                           app::WindowSeams{op, files});
    window.show();
    QApplication::processEvents();
    if (!window.Start({image.string()}))
        return 1;
    for (int unit = 2; unit <= window.Bench().ProgrammerCount(); ++unit)
        window.Bench().SetSocketEnabled(unit, 1, true);

    // The longest gap between two ticks of a 1 ms timer while the device work is under way, and
    // the last log line written before it began (the step that held the window).
    const auto measure = [&](const QString& function, const char* title) {
        QElapsedTimer clock;
        clock.start();
        qint64 last = -1, longest = 0;
        std::string during = "the start of the work";
        std::string lineAtLastTick = during;
        std::vector<qint64> gaps;
        QTimer ticker;
        ticker.setInterval(1);
        ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (window.Bench().Busy()) {
                const qint64 gap = now - last;
                gaps.push_back(gap);
                if (gap > longest) {
                    longest = gap;
                    during = lineAtLastTick;
                }
            }
            const auto& lines = window.Bench().Log().Lines();
            if (!lines.empty())
                lineAtLastTick = lines.back();
            last = now;
        });
        ticker.start();
        const qint64 started = clock.elapsed();
        last = clock.nsecsElapsed() / 1000;  // a freeze right at the start counts too
        // How a run ended, as the sequencer tells its observers (detection is no run).
        struct EndOfRun final : SequencerObserver {
            void RunEnded(const RunResult& ended) override {
                result = ended;
                ran = true;
            }
            RunResult result;
            bool ran = false;
        } ended;
        window.Bench().Runs().AddObserver(&ended);
        window
            .findChild<app::ClickLabel*>(QStringLiteral("Function_") + function +
                                         QStringLiteral("MouseACTFilter_Label"))
            ->Activate();
        window.Bench().Runs().RemoveObserver(&ended);
        const qint64 took = clock.elapsed() - started;
        ticker.stop();
        const qint64 tail = clock.nsecsElapsed() / 1000 - last;  // from the last tick to the end
        gaps.push_back(tail);
        if (tail > longest) {
            longest = tail;
            during = lineAtLastTick;
        }
        std::sort(gaps.begin(), gaps.end());
        const auto percentile = [&](double p) {
            return gaps.empty() ? 0.0
                                : gaps[static_cast<std::size_t>(p * (gaps.size() - 1))] / 1000.0;
        };
        const bool pass = !ended.ran || ended.result.Pass();
        std::printf("  %s on %s (%llu MiB): %s in %.1f s\n", title, simulate.c_str(),
                    static_cast<unsigned long long>(size >> 20),
                    !ended.ran ? "done"
                    : pass     ? "Pass"
                               : "FAIL",
                    took / 1000.0);
        std::printf(
            "    event-loop gaps: longest %.1f ms, 99.9%% %.1f ms, 99%% %.1f ms, median %.2f ms "
            "(%zu ticks)\n",
            longest / 1000.0, percentile(0.999), percentile(0.99), percentile(0.5), gaps.size());
        std::printf("    the longest began after: %s\n", during.c_str());
        return pass;
    };
    bool pass = measure(QStringLiteral("ExecuteAll"), "Execute All");
    if (window.Bench().ProgrammerCount() == 1) {
        // Read and Detect IC stay on unit 1.
        pass = measure(QStringLiteral("Read"), "Read") && pass;
        pass = measure(QStringLiteral("LookIC"), "Detect IC") && pass;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            std::printf("  peak memory: %s\n", line.substr(6).c_str());
    }
    window.close();
    return pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.size() > 1 ? args[1] : QString();
    if (mode == QStringLiteral("startup"))
        return StartUp(args);
    if (mode == QStringLiteral("latency"))
        return Latency(args);
    std::cerr << "usage: torq-app-bench startup --program PATH --home DIR [--runs N]\n"
                 "       torq-app-bench latency --home DIR [--simulate SPEC]\n";
    return 2;
}
