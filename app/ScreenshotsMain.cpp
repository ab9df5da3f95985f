// torq-spi-screenshots: the main window on the simulated programmer, driven through its tabs and
// runs, saved as PNGs (scripts/screenshots runs it under a virtual display). A developer tool.
//
//   torq-spi-screenshots --home DIR --out DIR [--dark]
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPalette>
#include <QPushButton>
#include <QTabBar>
#include <QThread>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "MainWindow.h"
#include "controllers/ActionGate.h"
#include "torq/app/FileChooser.h"
#include "torq/app/InformationView.h"
#include "torq/desktop/FileAssociations.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Tabs.h"
#include "widgets/ProductionPanel.h"
#include "widgets/Theme.h"
#include "widgets/Tile.h"

namespace {

using namespace torq;

// Answers every file dialog with one file.
class FixedChooser final : public app::FileChooser {
  public:
    QString file;
    QString OpenFileName(QWidget*, const app::FileRequest&) override { return file; }
    QString SaveFileName(QWidget*, const app::FileRequest&) override { return {}; }
};

// Cancel to every question, except Yes to the identity question while `yesToIdentity` is set.
class ShotOperator final : public Operator {
  public:
    bool yesToIdentity = false;
    Answer Respond(const OperatorMessage& message) override {
        return yesToIdentity && message.text == kConfirmDeviceIdQuestion ? Answer::Yes
                                                                         : Answer::Cancel;
    }
};

void Settle() {
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    Settle();
    const QString path = folder.filePath(name);
    if (!widget.grab().save(path)) {
        std::cerr << "torq-spi-screenshots: cannot write " << path.toStdString() << "\n";
        return false;
    }
    std::cout << path.toStdString() << "\n";
    return true;
}

void Click(QWidget& window, const char* label) {
    if (auto* tile = window.findChild<app::ClickLabel*>(QString::fromLatin1(label)))
        tile->Activate();
}

// A small program image: text, counting bytes and a little random-looking data.
std::filesystem::path WriteImage(const std::filesystem::path& folder) {
    const auto path = folder / "firmware-v1.4.bin";
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 65536; ++i)
        out.put(static_cast<char>((i * 37 + (i >> 8)) & 0xFF));
    return path;
}

// A gang of four: every unit takes part, one shot while they program, one when all passed, one
// where unit 3's chip is locked by its board's WP# pin and unit 3 alone fails.
bool GangShots(app::MainWindow& window, sim::SimulatedProgrammer& simulator, const QDir& out) {
    Workbench& bench = window.Bench();
    for (int unit = 2; unit <= 4; ++unit)
        bench.SetSocketEnabled(unit, 1, true);
    // The records name a lot and count serials within it.
    bench.EditOptions([](Options& o) {
        o.lot = "LOT-2612A";
        o.serial = "SN-{n}";
    });
    window.findChild<app::ProductionPanel*>()->Refresh();
    Settle();
    bool ok = Save(window, out, QStringLiteral("gang-ready.png"));
    bool caught = false;
    QTimer catcher;
    catcher.setInterval(5);
    QObject::connect(&catcher, &QTimer::timeout, [&] {
        if (caught || !bench.Runs().Busy() || bench.Board().Progress(4) < 45)
            return;
        caught = true;
        ok = Save(window, out, QStringLiteral("gang-run-under-way.png")) && ok;
    });
    catcher.start();
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    catcher.stop();
    ok = Save(window, out, QStringLiteral("gang-run-passed.png")) && ok;
    if (auto* chip = dynamic_cast<sim::SerialFlashChip*>(simulator.Chip(2))) {
        chip->LockStatusRegister();
        chip->HoldWriteProtect(true);
        Click(window, "Function_ExecuteAllMouseACTFilter_Label");
        ok = Save(window, out, QStringLiteral("gang-run-one-failed.png")) && ok;
    }
    // The counters after the runs, and the records of those runs in the production log.
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    ok = Save(window, out, QStringLiteral("gang-production-counters.png")) && ok;
    if (auto* open = window.findChild<QPushButton*>(QStringLiteral("Production_Log_Button"))) {
        open->click();
        if (auto* log = window.findChild<QWidget*>(QStringLiteral("ProductionLog_Window")))
            ok = Save(*log, out, QStringLiteral("production-log.png")) && ok;
    }
    window.close();
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.contains(QStringLiteral("--dark"))) {
        // A dark desktop palette, to see that the window reads on one too.
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2b, 0x2d, 0x31));
        dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
        dark.setColor(QPalette::AlternateBase, QColor(0x2b, 0x2d, 0x31));
        dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3b));
        dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Mid, QColor(0x55, 0x58, 0x5e));
        dark.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
        dark.setColor(QPalette::ToolTipBase, QColor(0x35, 0x37, 0x3b));
        dark.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
        dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
        dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
        QApplication::setPalette(dark);
    }
    app::theme::ApplyApplicationLook(app);
    const auto value = [&](const QString& name) {
        const auto at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
    };
    const QString home = value(QStringLiteral("--home"));
    const QDir out(value(QStringLiteral("--out")));
    if (home.isEmpty() || out.path().isEmpty()) {
        std::cerr << "usage: torq-spi-screenshots --home DIR --out DIR\n";
        return 2;
    }
    QDir().mkpath(out.path());

    sim::ProgrammerSetup setup;
    setup.chip = *sim::FindChip("W25Q64FV");
    auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
    sim::SimulatedProgrammer* simulator = usb.get();
    // --gang: four programmers on the bus, each with its own chip.
    const bool gang = args.contains(QStringLiteral("--gang"));
    if (gang) {
        for (int unit = 2; unit <= 4; ++unit)
            usb->AddProgrammer(setup);
    }
    ShotOperator op;
    FixedChooser files;
    const auto image = WriteImage(home.toStdString());
    files.file = QString::fromStdString(image.string());

    // The Options tab's desktop group works in the home folder, never on the user's desktop, and
    // shows one association.
    XdgFolders folders;
    folders.dataHome = home.toStdString() + "/desktop/data";
    folders.configHome = home.toStdString() + "/desktop/config";
    const app::DesktopSeams desktop{folders, QCoreApplication::applicationFilePath().toStdString(),
                                    SystemDesktopTools::Instance(),
                                    app::DesktopLinkOpener::Instance()};
    FileAssociations(folders, desktop.program, desktop.tools).Add("hex", "Intel HEX file", op);

    app::MainWindow window(ProgramDirectory::Portable(home.toStdString()), std::move(usb),
                           app::WindowSeams{op, files, &desktop});
    window.show();
    Settle();
    window.Start({image.string()});
    bool ok = true;
    const auto tab = [&](int index) {
        window.findChild<QTabBar*>(QStringLiteral("Menu_TabBar"))->setCurrentIndex(index);
        Settle();
    };

    tab(kProgrammerTabIndex);
    if (gang)
        return GangShots(window, *simulator, out) ? 0 : 1;
    ok = Save(window, out, QStringLiteral("programmer-tab.png")) && ok;

    // A run caught while it programs: the lit tile, the bar and the status word.
    bool caught = false;
    QTimer catcher;
    catcher.setInterval(5);
    QObject::connect(&catcher, &QTimer::timeout, [&] {
        if (caught || !window.Bench().Runs().Busy() || window.Bench().Board().Progress(1) < 50)
            return;
        caught = true;
        ok = Save(window, out, QStringLiteral("run-under-way.png")) && ok;
    });
    catcher.start();
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    catcher.stop();
    ok = Save(window, out, QStringLiteral("run-passed.png")) && ok;

    // Without Erase the programmed chip is not blank: the run stops at Blank Check with Fail.
    auto* erase = window.findChild<QCheckBox*>(QStringLiteral("Programmer_Erase_CheckBox"));
    erase->click();
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    ok = Save(window, out, QStringLiteral("run-failed.png")) && ok;
    erase->click();

    tab(kEmulatorTabIndex);
    ok = Save(window, out, QStringLiteral("emulator-tab.png")) && ok;
    tab(kPremiumTabIndex);
    ok = Save(window, out, QStringLiteral("premium-tab.png")) && ok;
    tab(kOptionsTabIndex);
    ok = Save(window, out, QStringLiteral("options-tab.png")) && ok;
    tab(kProgrammerTabIndex);

    // The Load File dialog, as Browse opens it.
    QTimer::singleShot(200, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            ok = Save(*dialog, out, QStringLiteral("load-file-dialog.png")) && ok;
            dialog->close();
        }
    });
    if (auto* browse = window.findChild<QPushButton*>(QStringLiteral("Unit1_Browse1_Button")))
        browse->click();

    // The information log in its own window.
    if (auto* view = window.findChild<app::InformationView*>()) {
        emit view->modeClicked();
        Settle();
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QStringLiteral("TInfoMessageForm") && top->isVisible())
                ok = Save(*top, out, QStringLiteral("information-window.png")) && ok;
        }
        ok = Save(window, out, QStringLiteral("information-outside.png")) && ok;
        if (auto* separate = window.findChild<app::InformationWindow*>())
            separate->ReturnInside();
    }

    // A protected chip: the board holds the WP# pin low on a locked status register, so the erase
    // leaves the programmed chip as it was and the failed blank check says why in the log.
    if (auto* chip = dynamic_cast<sim::SerialFlashChip*>(simulator->Chip())) {
        chip->LockStatusRegister();
        chip->HoldWriteProtect(true);
        Click(window, "Function_ExecuteAllMouseACTFilter_Label");
        ok = Save(window, out, QStringLiteral("protected-chip.png")) && ok;
        chip->HoldWriteProtect(false);  // the next run's Unprotect clears the register
    }

    // A cancelled run: the chip in the socket is not the selected device, and the operator
    // answers Cancel at the identity question (the fixed answer here): STOPPED, nothing done.
    window.Bench().SelectDevice(1, "Winbond", "W25Q128FV");
    Settle();
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    ok = Save(window, out, QStringLiteral("run-cancelled.png")) && ok;

    // Another device chosen by hand and no file for it: Yes at the identity question selects the
    // chip's device, finds nothing to load again, and the run stops before Erase with FAIL.
    window.Bench().SelectDevice(1, "Winbond", "W25X10");
    window.Bench().SetSocketEnabled(1, 1, true);
    op.yesToIdentity = true;
    Click(window, "Function_ExecuteAllMouseACTFilter_Label");
    op.yesToIdentity = false;
    ok = Save(window, out, QStringLiteral("run-stopped-after-yes-no-file.png")) && ok;

    // No programmer: the window as it starts without hardware.
    simulator->Unplug();
    Settle();
    QTimer::singleShot(0, [] {});
    for (int i = 0; i < 30 && window.Bench().ProgrammerCount() != 0; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    ok = Save(window, out, QStringLiteral("offline.png")) && ok;
    window.close();
    return ok ? 0 : 1;
}
