// The main window on the simulated programmer, offscreen: a home folder with the sample library,
// scripted answers to the operator's questions and file dialogs, and helpers to find controls by
// their object names.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <deque>
#include <functional>
#include <memory>

#include "../desktop/DesktopTestSupport.h"
#include "MainWindow.h"
#include "TestSupport.h"
#include "torq/app/FileChooser.h"
#include "torq/sim/SimulatedProgrammer.h"

namespace torq::app::test {

QApplication& App();

// A drop of these files on `target`, as the desktop delivers it.
void DropFiles(QWidget* target, const std::vector<std::filesystem::path>& files);

// Answers the open and save dialogs from a list (then with nothing, as a cancel).
class ScriptedChooser final : public FileChooser {
  public:
    QString OpenFileName(QWidget*, const FileRequest&) override { return Next(); }
    QString SaveFileName(QWidget*, const FileRequest&) override { return Next(); }
    std::deque<QString> answers;
    int asked = 0;

  private:
    QString Next();
};

class WindowTest : public ::testing::Test {
  protected:
    // The window on a chip (catalog name, or empty for no programmer at all) with History.ini
    // selecting `vendor` and `type`; Start runs with `parameters`.
    void Open(const std::string& chip, const std::string& vendor, const std::string& type,
              const std::vector<std::string>& parameters = {});
    void TearDown() override;

    template <typename T = QWidget>
    T* Find(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool Shows(const char* name) const;
    // Clicks a tile or button by its click label, as the keyboard does.
    void Activate(const char* clickLabel);
    std::vector<std::string> Lines() const;
    bool Logged(const std::string& line) const;
    bool LoggedContaining(const std::string& part) const;
    std::filesystem::path WriteFile(const std::string& name, std::size_t size) const;
    // Runs the event loop until `done` or the time is up.
    static bool WaitFor(const std::function<bool()>& done, int ms = 5000);

    torq::test::TempDir home;
    torq::test::ScriptedOperator op;
    // The operator Open gives the window, when not `op` (real message boxes, say).
    Operator* windowOperator = nullptr;
    ScriptedChooser files;
    // The Options tab's desktop group on scratch folders, never on the real desktop.
    torq::test::RecordingTools desktopTools;
    DesktopSeams desktop{torq::test::ScratchFolders(home), "/opt/torq/torq-spi", desktopTools,
                         DesktopLinkOpener::Instance()};
    sim::SimulatedProgrammer* simulator = nullptr;
    std::unique_ptr<MainWindow> window;
};

}  // namespace torq::app::test
