// Editor benchmarks on a large buffer file: page refresh and scroll step (model and paint), map
// refresh, fill, byte swap, OK's checksum, find (a pattern that is not there, so the whole buffer
// is searched), copy and paste of 1 MiB and the sum of a 16 MiB selection. Run by
// bench/run-editor.sh, which compares the whole-file jobs with dd and cat on the same file and
// records the peak memory of each run.
//
//   torq-editor-bench page|paint|map|fill|fill-random|swap|ok|find|find-wild|find-text|
//                     copy-paste|selection-sum BUFFER_FILE [SWAP_BLOCK]
#include <sys/resource.h>
#include <QApplication>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "torq/buffer/BufferFile.h"
#include "torq/editor/EditorSession.h"
#include "torq/editor/qt/HexEditorDialog.h"
#include "torq/editor/qt/HexPageView.h"

namespace {

using namespace torq;
using namespace torq::editor;
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Times `step` `count` times and prints the mean and the worst in milliseconds.
void Report(const char* what, int count, const std::function<void(int)>& step) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        step(i);
        times.push_back(MillisecondsSince(start));
    }
    double sum = 0, worst = 0;
    for (const double t : times) {
        sum += t;
        worst = std::max(worst, t);
    }
    std::printf("  %-40s mean %8.3f ms   worst %8.3f ms   (%d runs)\n", what, sum / count, worst,
                count);
}

void Throughput(const char* what, std::uint64_t bytes, const std::function<bool()> job) {
    const auto start = Clock::now();
    const bool ok = job();
    const double ms = MillisecondsSince(start);
    std::printf("  %-40s %8.3f s   %8.1f MiB/s%s\n", what, ms / 1000,
                bytes / 1048576.0 / (ms / 1000), ok ? "" : "   FAILED");
}

// The CPU time this process has used, user and system, in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A search over the whole buffer for a pattern that is not there. Beside the wall time, the CPU
// time it took: on a busy machine the wall time also counts the waits for a core.
int FindAbsent(EditorSession& session, std::uint64_t size, const char* what, const char* pattern,
               PatternKind kind, bool matchCase) {
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    const FindOutcome outcome = session.Find(pattern, kind, matchCase, SearchDirection::Forward);
    const double seconds = MillisecondsSince(start) / 1000;
    const double cpu = CpuSeconds() - cpuStart;
    std::printf("  %-38s %6.3f s %6.2f GB/s   CPU %6.3f s %6.2f GB/s   %s\n", what, seconds,
                size / seconds / 1e9, cpu, size / cpu / 1e9, outcome.note.c_str());
    return outcome.status == FindOutcome::Status::NotFound ? 0 : 1;
}

class NullHost final : public EditorHost {
  public:
    void ApplyEditedImage(const SocketFields& fields) override { checksum = fields.checksumText; }
    std::string checksum;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr,
                     "usage: %s page|paint|map|fill|fill-random|swap|ok|find|find-wild|find-text|"
                     "copy-paste|selection-sum BUFFER_FILE [SWAP_BLOCK]\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const std::filesystem::path path = argv[2];
    const auto length = BufferFile(path).Length();
    if (!length || *length == 0) {
        std::fprintf(stderr, "%s: no buffer file %s\n", argv[0], path.c_str());
        return 2;
    }
    const std::uint64_t size = *length;
    FixedOperator op(Answer::Yes);
    EditorSession session(path, op);
    session.Show(size);
    std::mt19937_64 random(7);

    if (mode == "page") {
        HexView& view = session.View();
        Report("page refresh at a random address", 2000, [&](int) {
            view.SetScrollPosition(random() % (view.ScrollLimit() + 1));
            session.RefreshView();
        });
        view.SetScrollPosition(view.ScrollLimit() / 2);
        Report("scroll step (one row down, refresh)", 2000, [&](int) {
            view.SetScrollPosition(view.ScrollPosition() + 1);
            session.RefreshView();
        });
        Report("typed byte (write, refresh)", 2000, [&](int) { session.TypeHexDigit('A'); });
        return 0;
    }
    if (mode == "paint") {
        // The window's hex view, painted offscreen: the scroll step as the operator sees it.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        NullHost host;
        qt::HexEditorDialog form(path, op, host);
        form.PrepareForShow(size);
        form.show();
        QApplication::processEvents();
        QScrollBar* bar = form.findChild<QScrollBar*>(QStringLiteral("ScrollBar"));
        bar->setValue(bar->maximum() / 2);
        Report("scroll step and paint of the page", 1000, [&](int) {
            bar->setValue(bar->value() + 1);
            form.PageView()->viewport()->grab();
        });
        form.SelectTab(1);
        Report("16-bit scroll step and paint", 1000, [&](int) {
            bar->setValue(bar->value() + 1);
            form.PageView()->viewport()->grab();
        });
        return 0;
    }
    if (mode == "map") {
        ByteMap& map = session.Map();
        map.FullDevice();
        Report("map refresh at Full Device", 50, [&](int) { session.RefreshMap(); });
        map.Detail();
        Report("map refresh at Detail", 200, [&](int) {
            map.SetTopRow(random() % (map.ScrollLimit() + 1));
            session.RefreshMap();
        });
        // Zoomed out to cells of 4096 bytes: each visible cell is read whole, the most a
        // refresh reads while scrolling.
        while (map.CellBytes() < 4096 && map.Rows() > kMapPageRows)
            map.ZoomOut();
        const std::string label =
            "map refresh at " + std::to_string(map.CellBytes()) + "-byte cells";
        Report(label.c_str(), 100, [&](int) {
            map.SetTopRow(random() % (map.ScrollLimit() + 1));
            session.RefreshMap();
        });
        return 0;
    }
    if (mode == "fill") {
        FillSpec zeros;
        zeros.pattern = FillPattern::AllBit0;
        Throughput("fill, All Bit 0", size,
                   [&] { return FillRange(session.Document(), 0, size - 1, zeros).ok; });
        return 0;
    }
    if (mode == "fill-random") {
        FillSpec random;
        random.seed = 1;
        Throughput("fill, Random Data", size,
                   [&] { return FillRange(session.Document(), 0, size - 1, random).ok; });
        return 0;
    }
    if (mode == "swap") {
        const std::size_t block = argc > 3 ? std::stoul(argv[3]) : kSwapBlockSize;
        const std::string what =
            "Byte Swap in place, " + std::to_string(block / 1024) + " KiB blocks";
        Throughput(what.c_str(), size, [&] {
            return SwapWholeFile(session.Document(), SwapKind::Byte, nullptr, block).ok;
        });
        return 0;
    }
    if (mode == "ok") {
        NullHost host;
        session.View().PlaceCursor(0, 0, CursorSide::Hex);
        session.TypeHexDigit('0');
        session.TypeHexDigit('0');
        Throughput("OK checksum", size, [&] { return session.Ok(host) == OkOutcome::Applied; });
        std::printf("  checksum %s\n", host.checksum.c_str());
        return 0;
    }
    // Sixteen bytes that a random buffer almost surely lacks (the run says if it found them).
    if (mode == "find")
        return FindAbsent(session, size, "find 16 fixed bytes, absent",
                          "5A 3C 96 E1 0F 7B C2 48 D3 19 A6 64 F0 2E 8B 57", PatternKind::Hex,
                          true);
    if (mode == "find-wild")
        return FindAbsent(session, size, "find 16 bytes with wildcards, absent",
                          "5A 3C ?? E1 0F ?? C2 4? D3 19 ?? 64 F0 2E 8B 57", PatternKind::Hex,
                          true);
    if (mode == "find-text")
        return FindAbsent(session, size, "find a 16-letter text, any case", "BootLoaderVersio",
                          PatternKind::Text, false);
    if (mode == "copy-paste") {
        constexpr std::uint64_t kMiB = 1 << 20;
        HexView& view = session.View();
        view.SelectBytes(0, kMiB - 1);
        std::optional<std::string> text;
        Report("copy 1 MiB as hex text", 20, [&](int) { text = session.Copy(ByteForm::Hex); });
        Report("copy 1 MiB as characters", 20, [&](int) { session.Copy(ByteForm::Text); });
        Report("paste 1 MiB of hex text (undoable)", 20, [&](int i) {
            view.ClearSelection();
            view.GoTo(kMiB * static_cast<std::uint64_t>(1 + i % 8));
            session.Paste(*text, ByteForm::Hex);
        });
        Report("undo of a 1 MiB paste", 20, [&](int) { session.Undo(); });
        return 0;
    }
    if (mode == "selection-sum") {
        constexpr std::uint64_t kSelection = std::uint64_t{16} << 20;
        HexView& view = session.View();
        // Each a selection of its own, so nothing kept from the one before helps.
        const std::uint64_t ranges = std::max<std::uint64_t>(size / kSelection, 1);
        Report("sum of a new 16 MiB selection", 20, [&](int i) {
            const std::uint64_t first = static_cast<std::uint64_t>(i) % ranges * kSelection;
            view.ClearSelection();
            view.SelectBytes(first, first + kSelection - 1);
            session.SelectionSum();
        });
        view.SelectBytes(0, kSelection - 1);
        session.SelectionSum();
        Report("Shift+Down on a 16 MiB selection", 1000, [&](int) {
            view.Move(CursorMove::Down, true);
            session.SelectionSum();
        });
        return 0;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
