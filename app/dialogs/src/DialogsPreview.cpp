// torq-dialogs-preview: the Load File dialog, the progress window, the information views, the
// Options page and the Premium sheets on a simulated programmer, without the main window. For
// manual checks and for scripts/screenshots.
//
//   torq-dialogs-preview [--simulate CHIP[,opts]] [--home DIR] [--screenshot DIR]
//
// Without --home the program works in a scratch folder holding a copy of the sample library
// found beside the executable.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>

#include "torq/app/DesktopSeams.h"
#include "torq/app/DialogWidgets.h"
#include "torq/app/FileChooser.h"
#include "torq/app/InformationView.h"
#include "torq/app/LoadFileDialog.h"
#include "torq/app/OptionsPage.h"
#include "torq/app/PremiumPages.h"
#include "torq/app/ProgressWindow.h"
#include "torq/desktop/FileAssociations.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/SimulateOption.h"
#include "torq/workflow/Sequencer.h"
#include "torq/workflow/Tabs.h"
#include "torq/workflow/Workbench.h"

namespace {

namespace fs = std::filesystem;
using namespace torq;
using namespace torq::app;

int Fail(const std::string& message) {
    std::cerr << "torq-dialogs-preview: " << message << std::endl;
    return 2;
}

// Questions as message boxes; in screenshot runs every question is answered without a box.
class PreviewOperator final : public Operator {
  public:
    bool quiet = false;
    Answer Respond(const OperatorMessage& message) override {
        if (quiet)
            return message.buttons == Buttons::Ok ? Answer::Ok : Answer::No;
        const QString text = ToQString(message.text);
        switch (message.buttons) {
            case Buttons::Ok:
                QMessageBox::warning(nullptr, QStringLiteral("TORQ-SPI"), text);
                return Answer::Ok;
            case Buttons::OkCancel:
                return QMessageBox::question(nullptr, QStringLiteral("TORQ-SPI"), text,
                                             QMessageBox::Ok | QMessageBox::Cancel) ==
                               QMessageBox::Ok
                           ? Answer::Ok
                           : Answer::Cancel;
            case Buttons::YesNo:
            case Buttons::YesRetryCancel:
                return QMessageBox::question(nullptr, QStringLiteral("TORQ-SPI"), text) ==
                               QMessageBox::Yes
                           ? Answer::Yes
                           : Answer::No;
        }
        return Answer::Cancel;
    }
};

class EventPump final : public Pump {
  public:
    void ProcessPendingMessages() override {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
};

// What the main window would do when the workbench says something changed.
class PreviewHost final : public WorkbenchHost {
  public:
    void OptionsChanged() override {
        if (options)
            options->SyncFromModel();
        if (limit)
            limit->Sync();
    }
    void LabelsChanged() override {
        if (options)
            options->RefreshAboutLabels();
    }
    void PagesBuilt() override {
        if (premium)
            premium->Rebuild();
    }
    OptionsPage* options = nullptr;
    PremiumPages* premium = nullptr;
    LineLimitTimer* limit = nullptr;
};

// The library beside the executable, copied into the program folder when it has none.
bool PrepareHome(const fs::path& home, const fs::path& library) {
    std::error_code error;
    if (fs::exists(home / "Select.ini", error))
        return true;
    for (const char* item : {"Select.ini", "Ini", "Drv", "Menu", "Sector"}) {
        fs::copy(library / item, home / item,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing, error);
        if (error)
            return false;
    }
    // Unit 1 starts on the Winbond W25X10, a part with parameter pages.
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Vendor", "Winbond");
    history.WriteString("Device1", "Type", "W25X10");
    return history.Save();
}

// A small Intel HEX file and a binary image to load.
void WriteSamples(const fs::path& home) {
    std::ofstream hex(home / "firmware.hex", std::ios::binary);
    hex << ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
           ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
           ":00000001FF\r\n";
    std::ofstream bin(home / "image.bin", std::ios::binary);
    for (int i = 0; i < 24576; ++i)
        bin.put(static_cast<char>(i * 7 + 3));
}

void Settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool Save(QWidget& widget, const QDir& folder, const QString& name) {
    Settle();
    const QString path = folder.filePath(name);
    if (!widget.grab().save(path)) {
        std::cerr << "torq-dialogs-preview: cannot write " << path.toStdString() << std::endl;
        return false;
    }
    std::cout << path.toStdString() << std::endl;
    return true;
}

// The size of the main window's tab area at 1280x800 on the Options and Premium tabs.
constexpr QSize kTabArea(1248, 440);

int Run(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("torq-dialogs-preview"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The TORQ-SPI dialogs and pages on a simulated programmer."));
    parser.addHelpOption();
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("The simulated chip (default W25X10)."),
                                      QStringLiteral("CHIP"), QStringLiteral("W25X10"));
    const QCommandLineOption homeOption(QStringLiteral("home"),
                                        QStringLiteral("Program folder (default: a scratch one)."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a PNG of each piece into DIR, then exit."), QStringLiteral("DIR"));
    parser.addOptions({simulate, homeOption, screenshot});
    parser.process(app);

    QTemporaryDir scratch;
    const fs::path home = parser.isSet(homeOption)
                              ? fs::path(parser.value(homeOption).toStdString())
                              : fs::path(scratch.path().toStdString());
    const fs::path library = QCoreApplication::applicationDirPath().toStdString();
    if (!PrepareHome(home, library))
        return Fail("cannot prepare " + home.string() + " from the library in " + library.string());
    WriteSamples(home);

    sim::SimulateParse usb = sim::ParseSimulateOption(parser.value(simulate).toStdString());
    if (!usb.programmer)
        return Fail("--simulate: " + usb.error);

    PreviewOperator op;
    op.quiet = parser.isSet(screenshot);
    EventPump pump;
    ManualTimer watchTimer, flashTimer;
    PreviewHost host;
    Workbench bench(ProgramDirectory::Portable(home),
                    WorkbenchSeams{op, pump, SystemClock::Instance(), watchTimer, flashTimer,
                                   std::move(usb.programmer)},
                    host);
    std::string problem;
    if (!bench.LockHome("torq-dialogs-preview", &problem))
        return Fail(problem);

    // The desktop group works in the program folder, never on the user's desktop; in screenshot
    // runs it does not see the system's file types either, and shows one association.
    XdgFolders folders;
    folders.dataHome = home / "desktop" / "data";
    folders.configHome = home / "desktop" / "config";
    if (!parser.isSet(screenshot))
        folders.dataDirs = XdgFolders::FromEnvironment().dataDirs;
    const DesktopSeams desktop{folders, QCoreApplication::applicationFilePath().toStdString(),
                               SystemDesktopTools::Instance(), DesktopLinkOpener::Instance()};
    if (parser.isSet(screenshot))
        FileAssociations(folders, desktop.program, desktop.tools).Add("hex", "Intel HEX file", op);

    DialogFileChooser files;
    ProgressWindow progress;
    LoadFileDialog load(bench, &progress);
    OptionsPage options(bench, files, desktop);
    PremiumPages premium(bench);
    InformationWindow informationWindow(bench, files);
    InformationView docked(bench.Log(), files, op, InformationPlace::Docked);
    LineLimitTimer limit(bench);
    host.options = &options;
    host.premium = &premium;
    host.limit = &limit;
    QObject::connect(&docked, &InformationView::modeClicked, &informationWindow,
                     &InformationWindow::ShowSeparately);

    bench.StartUp({});
    bench.LoadIntoUnit1(home / "firmware.hex");
    bench.ExecuteAll();

    if (parser.isSet(screenshot)) {
        const QDir folder(parser.value(screenshot));
        if (!folder.exists() && !QDir().mkpath(folder.path()))
            return Fail("cannot create " + folder.path().toStdString());
        bool ok = true;

        bench.PrepareLoad(1, 1, home / "image.bin");
        load.SyncFromState();
        load.show();
        ok = Save(load, folder, QStringLiteral("load-file-dialog.png")) && ok;
        load.hide();

        progress.Begin(100);
        progress.Progress(62, 100);
        ok = Save(progress, folder, QStringLiteral("progress-window.png")) && ok;
        progress.hide();

        bench.ChangeTab(kOptionsTabIndex);
        options.resize(kTabArea);
        options.show();
        ok = Save(options, folder, QStringLiteral("options-tab.png")) && ok;
        options.hide();

        bench.ChangeTab(kPremiumTabIndex);
        premium.resize(kTabArea);
        premium.show();
        ok = Save(premium, folder, QStringLiteral("premium-tab.png")) && ok;
        if (bench.SelectDevice(1, "Macronix", "MX25U1635F")) {
            bench.ChangeTab(kProgrammerTabIndex);
            bench.ChangeTab(kPremiumTabIndex);
            ok = Save(premium, folder, QStringLiteral("premium-tab-values.png")) && ok;
        }
        premium.hide();
        bench.ChangeTab(kProgrammerTabIndex);

        // A run on the wrong device, so the log holds a failure as well.
        bench.SelectDevice(1, "Winbond", "W25X20");
        bench.LoadIntoUnit1(home / "image.bin");
        bench.ExecuteAll();
        docked.resize(kTabArea.width(), 240);
        docked.show();
        ok = Save(docked, folder, QStringLiteral("information-panel.png")) && ok;
        docked.hide();
        informationWindow.ShowSeparately();
        ok = Save(informationWindow, folder, QStringLiteral("information-window.png")) && ok;
        informationWindow.ReturnInside();
        return ok ? 0 : 1;
    }

    // Interactive: the pages in tabs, the dialogs behind buttons.
    QWidget window;
    window.setWindowTitle(QStringLiteral("TORQ-SPI dialogs preview"));
    auto* tabs = new QTabWidget(&window);
    tabs->addTab(&options, QStringLiteral("Options"));
    tabs->addTab(&premium, QStringLiteral("Premium"));
    tabs->addTab(&docked, QStringLiteral("Information"));
    auto* loadButton = new QPushButton(QStringLiteral("Load File..."), &window);
    QObject::connect(loadButton, &QPushButton::clicked, &window, [&] {
        const QString file = files.OpenFileName(&window, {QStringLiteral("Open"), {}, {}, {}});
        if (!file.isEmpty())
            load.Open(1, 1, file.toStdString());
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(loadButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(tabs, 1);
    layout->addLayout(buttons);
    QObject::connect(tabs, &QTabWidget::currentChanged, &window, [&](int index) {
        const int wanted = index == 0   ? kOptionsTabIndex
                           : index == 1 ? kPremiumTabIndex
                                        : kProgrammerTabIndex;
        bench.ChangeTab(wanted);
    });
    bench.ChangeTab(kOptionsTabIndex);
    window.resize(1280, 720);
    window.show();
    const int code = app.exec();
    bench.Close();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing is meant to throw; whatever does still ends the preview with its reason.
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "torq-dialogs-preview: " << error.what() << std::endl;
    } catch (...) {
        std::cerr << "torq-dialogs-preview: an unknown error ended the program" << std::endl;
    }
    return 2;
}
