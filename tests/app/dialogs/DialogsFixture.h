// The dialogs and pages offscreen on a workbench over the simulated programmer: controls are
// found by their object names, the operator's answers and file choices are scripted.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <deque>
#include <memory>

#include "TestSupport.h"
#include "torq/app/DesktopSeams.h"
#include "torq/app/FileChooser.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/ChipCatalog.h"
#include "torq/sim/SimulatedProgrammer.h"
#include "torq/workflow/Workbench.h"

namespace torq::app::test {

using torq::test::ScriptedOperator;
using torq::test::TempDir;

// One application for the whole run, ended before the program's static objects are.
class QtEnvironment final : public ::testing::Environment {
  public:
    void TearDown() override { app.reset(); }
    static inline std::unique_ptr<QApplication> app;
};

inline ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "app_dialogs_tests";
    static char* argv[] = {name, nullptr};
    if (!QtEnvironment::app) {
        QtEnvironment::app = std::make_unique<QApplication>(argc, argv);
        QApplication::setStyle(QStringLiteral("Fusion"));
    }
    return *QtEnvironment::app;
}

template <typename T>
T* Find(const QObject& root, const char* name) {
    T* found = root.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Answers file dialogs from a script and remembers what was asked.
class ScriptedFileChooser final : public FileChooser {
  public:
    QString OpenFileName(QWidget*, const FileRequest& request) override { return Next(request); }
    QString SaveFileName(QWidget*, const FileRequest& request) override { return Next(request); }
    std::deque<QString> answers;
    std::vector<FileRequest> requests;

  private:
    QString Next(const FileRequest& request) {
        requests.push_back(request);
        if (answers.empty())
            return {};
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Records the web addresses given to the desktop instead of opening them.
class RecordingLinks final : public LinkOpener {
  public:
    bool Open(const QUrl& address) override {
        opened.push_back(address);
        return opens;
    }
    std::vector<QUrl> opened;
    bool opens = true;
};

struct RecordingHost final : WorkbenchHost {
    void SelectTab(int tab) override { tabs.push_back(tab); }
    std::vector<int> tabs;
};

// A workbench started on the shipped library with unit 1 on the Winbond W25X10 and that chip in
// the simulated programmer.
class WorkbenchFixture : public ::testing::Test {
  protected:
    WorkbenchFixture() {
        App();
        torq::test::CopySampleLibrary(home.Path());
        IniFile history(home / "History.ini");
        history.WriteString("Device1", "Vendor", "Winbond");
        history.WriteString("Device1", "Type", "W25X10");
        EXPECT_TRUE(history.Save());
        sim::ProgrammerSetup setup;
        setup.chip = *sim::FindChip("W25X10");
        auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
        simulator = usb.get();
        bench = std::make_unique<Workbench>(
            ProgramDirectory::Portable(home.Path()),
            WorkbenchSeams{op, pump, clock, watchTimer, flashTimer, std::move(usb)}, host);
        bench->StartUp({});
    }
    std::filesystem::path WriteBytes(const std::string& name, std::size_t size) const {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(i * 7 + 3);
        return home.Write(name, bytes);
    }

    TempDir home;
    ScriptedOperator op;
    Pump pump;
    torq::test::FixedClock clock;
    ManualTimer watchTimer, flashTimer;
    RecordingHost host;
    ScriptedFileChooser files;
    sim::SimulatedProgrammer* simulator = nullptr;
    std::unique_ptr<Workbench> bench;
};

}  // namespace torq::app::test
