// torq-spi: the main window. One window per user and home folder; a second start hands its file
// over to the running window and ends.
//
//   torq-spi [--home DIR] [--simulate CHIP[,option=value...]] [-h|-?] [-b] [FILE]
#include <QApplication>
#include <QDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>

#include "AppArguments.h"
#include "MainWindow.h"
#include "SignalEnding.h"
#include "SingleInstance.h"
#include "torq/app/FileChooser.h"
#include "torq/app/seams/MessageBoxOperator.h"
#include "torq/link/LibusbDevice.h"
#include "torq/sim/SimulateOption.h"
#include "torq/workflow/CommandLine.h"
#include "widgets/Theme.h"

namespace {

using namespace torq;

// How long a second start waits for the running window to take its file.
constexpr int kHandOverTimeoutMs = 60000;

long long EpochNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::unique_ptr<UsbDevice> MakeUsb(const std::vector<std::string>& simulate, std::string& error) {
    if (!simulate.empty()) {
        sim::SimulateParse parsed = sim::ParseSimulateOptions(simulate);
        if (!parsed.programmer)
            error = "--simulate: " + parsed.error;
        return std::move(parsed.programmer);
    }
    std::unique_ptr<LibusbApi> api = CreateSystemLibusb();
    if (!api)
        std::cerr << "torq-spi: libusb cannot be initialised; no programmer can be found\n";
    return std::make_unique<LibusbDevice>(std::move(api));
}

int Run(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("TORQ-SPI"));
    QApplication::setApplicationVersion(QStringLiteral(TORQ_VERSION));
    // The installed desktop entry's name: Wayland compositors take the window's icon from it.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.torqspi.TorqSpi"));
    app::theme::ApplyApplicationLook(app);

    std::vector<std::string> arguments;
    const QStringList qtArguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < qtArguments.size(); ++i)
        arguments.push_back(qtArguments[i].toStdString());
    const app::AppArguments parsed =
        app::ParseAppArguments(arguments, QDir::currentPath().toStdString());
    if (!parsed.error.empty()) {
        std::cerr << "torq-spi: " << parsed.error << "\n" << app::AppUsage();
        return 2;
    }
    if (parsed.version) {
        std::cout << "torq-spi " << TORQ_VERSION << "\n";
        return 0;
    }
    if (parsed.help) {
        std::cout << app::AppUsage();
        return 0;
    }

    const ProgramDirectory dirs = ProgramDirectory::Locate(parsed.home, ExecutableFolder());
    if (!dirs.EnsureDataFolder()) {
        std::cerr << "torq-spi: cannot create " << dirs.DataFolder() << "\n";
        return 1;
    }

    app::SingleInstance instance(
        app::InstanceName(QString::fromStdString(dirs.DataFolder().string())));
    QString problem;
    switch (instance.Claim(&problem)) {
        case app::SingleInstance::Role::Second: {
            // The window runs already: it takes the last parameter and comes to the front.
            const std::string text = HandOverText(parsed.parameters);
            if (!instance.HandOver(QString::fromStdString(text), kHandOverTimeoutMs, &problem)) {
                std::cerr << "torq-spi: " << problem.toStdString() << "\n";
                return 1;
            }
            return 0;
        }
        case app::SingleInstance::Role::Failed:
            std::cerr << "torq-spi: a second start cannot hand over to this window: "
                      << problem.toStdString() << "\n";
            break;
        case app::SingleInstance::Role::First:
            break;
    }

    std::string usbError;
    std::unique_ptr<UsbDevice> usb = MakeUsb(parsed.simulate, usbError);
    if (!usb) {
        std::cerr << "torq-spi: " << usbError << "\n";
        return 2;
    }

    app::MessageBoxOperator op;
    app::DialogFileChooser files;
    // A transfer the programmer holds lets the window run (the link's wait hook pumps).
    app::MainWindow window(dirs, std::move(usb), app::WindowSeams{op, files});
    op.SetParent(&window);
    std::string lockProblem;
    if (!window.LockHome(&lockProblem)) {
        std::cerr << "torq-spi: " << lockProblem << "\n";
        return 1;
    }
    // SIGTERM and SIGINT: as closing the window, with an open question answered by its cancel.
    app::SignalEnding ending([&window] { window.ShutDown(); });
    instance.SetReceiver([&window](const QString& text, std::function<void()> done) {
        window.ReceiveHandOver(text, std::move(done));
    });

    // The start-up benchmark: the times of the first paint and of the window being ready.
    const bool benchStartUp = qEnvironmentVariableIsSet("TORQ_SPI_BENCH_STARTUP");
    const std::vector<std::string> parameters = parsed.parameters;
    QObject::connect(&window, &app::MainWindow::FirstPainted, &window, [&] {
        if (benchStartUp)
            std::printf("first-paint %lld\n", EpochNanoseconds());
        const bool running = window.Start(parameters);
        if (benchStartUp) {
            std::printf("ready %lld\n", EpochNanoseconds());
            std::fflush(stdout);
            if (running)
                window.close();
        }
    });
    window.show();
    const int code = app.exec();
    return window.EndRequested() ? 1 : code;
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing is meant to throw; whatever does still ends the program with its reason.
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "torq-spi: " << error.what() << "\n";
    } catch (...) {
        std::cerr << "torq-spi: an unknown error ended the program\n";
    }
    return 2;
}
