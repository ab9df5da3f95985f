#include "WindowFixture.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <fstream>

#include "../link/LinkFixtures.h"
#include "torq/devlib/Ini.h"
#include "torq/sim/ChipCatalog.h"
#include "widgets/Tile.h"

namespace torq::app::test {

namespace {

// One application for the whole run, ended before the program's static objects are.
class QtEnvironment final : public ::testing::Environment {
  public:
    void TearDown() override { app.reset(); }
    static inline std::unique_ptr<QApplication> app;
};
::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

QApplication& App() {
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    if (!QtEnvironment::app)
        QtEnvironment::app = std::make_unique<QApplication>(argc, argv);
    return *QtEnvironment::app;
}

void DropFiles(QWidget* target, const std::vector<std::filesystem::path>& files) {
    QMimeData data;
    QList<QUrl> urls;
    for (const auto& file : files)
        urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

QString ScriptedChooser::Next() {
    ++asked;
    if (answers.empty())
        return {};
    QString answer = answers.front();
    answers.pop_front();
    return answer;
}

void WindowTest::Open(const std::string& chip, const std::string& vendor, const std::string& type,
                      const std::vector<std::string>& parameters) {
    App();
    torq::test::CopySampleLibrary(home.Path());
    IniFile history(home / "History.ini");
    history.WriteString("Device1", "Vendor", vendor);
    history.WriteString("Device1", "Type", type);
    ASSERT_TRUE(history.Save());
    sim::ProgrammerSetup setup;
    if (const auto* spec = sim::FindChip(chip))
        setup.chip = *spec;
    auto usb = std::make_unique<sim::SimulatedProgrammer>(setup);
    simulator = usb.get();
    if (chip.empty())
        simulator->Unplug();
    window = std::make_unique<MainWindow>(
        ProgramDirectory::Portable(home.Path()), std::move(usb),
        WindowSeams{windowOperator != nullptr ? *windowOperator : op, files, &desktop});
    window->show();
    ASSERT_TRUE(window->Start(parameters));
}

void WindowTest::TearDown() {
    if (window)
        window->close();
    window.reset();
}

bool WindowTest::Shows(const char* name) const {
    const QWidget* widget = Find(name);
    return widget != nullptr && widget->isVisible();
}

void WindowTest::Activate(const char* clickLabel) {
    if (auto* label = Find<ClickLabel>(clickLabel))
        label->Activate();
}

std::vector<std::string> WindowTest::Lines() const {
    return torq::test::Messages(window->Bench().Log());
}

bool WindowTest::Logged(const std::string& line) const {
    const auto lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool WindowTest::LoggedContaining(const std::string& part) const {
    const auto lines = Lines();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

std::filesystem::path WindowTest::WriteFile(const std::string& name, std::size_t size) const {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + 3);
    return home.Write(name, bytes);
}

bool WindowTest::WaitFor(const std::function<bool()>& done, int ms) {
    return QTest::qWaitFor(done, ms);
}

}  // namespace torq::app::test
