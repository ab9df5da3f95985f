// One window per user and home folder: a second start (a real second process) hands its last
// parameter over and ends; a socket left by a crashed instance does not block the next start.
// And the program's own command line.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLineEdit>
#include <QProcess>
#include <cstdlib>
#include <cstring>

#include "AppArguments.h"
#include "SingleInstance.h"
#include "WindowFixture.h"

namespace torq::app::test {
namespace {

// A private runtime folder for the instance sockets of one test; short, as socket paths must be.
class RuntimeFolder {
  public:
    RuntimeFolder() : previous_(qgetenv("XDG_RUNTIME_DIR")) {
        char pattern[] = "/tmp/torq-run-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            path_ = pattern;
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path_.string()));
    }
    ~RuntimeFolder() {
        if (previous_.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", previous_);
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
    QByteArray previous_;
};

class HandOverTest : public WindowTest {
  protected:
    // Starts torq-spi as a second instance on the same home folder and waits for it to end.
    int SecondStart(const QStringList& arguments, const std::filesystem::path& folder) {
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                           QString::fromStdString(runtime.Path().string()));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(QString::fromStdString(folder.string()));
        second.start(
            QStringLiteral(TORQ_SPI_PATH),
            QStringList{QStringLiteral("--home"), QString::fromStdString(home.Path().string())} +
                arguments);
        // The first instance (this process) answers from its event loop meanwhile.
        EXPECT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }, 20000));
        if (second.exitCode() != 0)
            ADD_FAILURE() << second.readAllStandardError().toStdString();
        return second.exitCode();
    }
    RuntimeFolder runtime;
};

TEST_F(HandOverTest, ASecondStartHandsOverItsLastFileAndEnds) {
    Open("W25X10", "Winbond", "W25X10");
    SingleInstance first(InstanceName(QString::fromStdString(home.Path().string())));
    ASSERT_EQ(first.Claim(), SingleInstance::Role::First);
    first.SetReceiver([this](const QString& text, std::function<void()> done) {
        window->ReceiveHandOver(text, std::move(done));
    });
    WriteFile("a.bin", 256);
    // A name relative to the second start's own folder reaches the window as an absolute path.
    const auto folder = home / "work";
    std::filesystem::create_directories(folder);
    const auto b = folder / "b.bin";
    std::filesystem::copy_file(WriteFile("b-source.bin", 512), b);

    EXPECT_EQ(
        SecondStart({QString::fromStdString((home / "a.bin").string()), QStringLiteral("b.bin")},
                    folder),
        0);
    EXPECT_EQ(Find<QLineEdit>("Unit1_WorkFile1_Edit")->text().toStdString(), b.string());
    EXPECT_FALSE(LoggedContaining("a.bin"));

    // Options handed over are tested as they are: "-b" from a second start is a bad option.
    EXPECT_EQ(SecondStart({QStringLiteral("-b")}, folder), 0);
    EXPECT_TRUE(LoggedContaining("Bad option : -b "));
    EXPECT_TRUE(LoggedContaining("Error : Bad option was specified"));
}

TEST_F(HandOverTest, ASocketLeftByACrashedInstanceDoesNotBlockTheNextStart) {
    const QString name = InstanceName(QString::fromStdString(home.Path().string()));
    ASSERT_TRUE(QDir::isAbsolutePath(name)) << name.toStdString();
    // A bound socket file nobody listens on any more.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, name.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(name));

    App();
    SingleInstance next(name);
    QString problem;
    EXPECT_EQ(next.Claim(&problem), SingleInstance::Role::First) << problem.toStdString();
    // And a start after it finds it running.
    SingleInstance later(name);
    EXPECT_EQ(later.Claim(), SingleInstance::Role::Second);
}

TEST_F(HandOverTest, TheProgramEndsOnSigtermWithTheClosingSaves) {
    App();
    torq::test::CopySampleLibrary(home.Path());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                       QString::fromStdString(runtime.Path().string()));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TORQ_SPI_PATH),
                  {QStringLiteral("--home"), QString::fromStdString(home.Path().string()),
                   QStringLiteral("--simulate"), QStringLiteral("W25X10")});
    // Started: the buffer has the detected chip's size.
    const auto buffer = home / "output.tmp";
    ASSERT_TRUE(WaitFor(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(buffer, error) == 131072u;
        },
        20000));
    program.terminate();
    ASSERT_TRUE(WaitFor([&] { return program.state() == QProcess::NotRunning; }, 20000))
        << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(std::filesystem::file_size(buffer), 0u);
    EXPECT_TRUE(std::filesystem::exists(home / "History.ini"));
}

TEST(AppArgumentsTest, OwnOptionsAreTakenAndFileNamesCompleted) {
    torq::test::TempDir folder;
    folder.Write("here.bin", "x");
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> parameters;
        std::string home, simulate, error;
    };
    const std::string here = (folder.Path() / "here.bin").string();
    const Case cases[] = {
        {{"here.bin"}, {here}, "", "", ""},
        // A name that is not there stays as written: the workbench reports it.
        {{"missing.bin", "-h"}, {"missing.bin", "-h"}, "", "", ""},
        {{"--home", "/h", "--simulate=W25X10,realtime=1", "-b", "here.bin"},
         {"-b", here},
         "/h",
         "W25X10,realtime=1",
         ""},
        {{"--", "--home"}, {"--home"}, "", "", ""},
        {{"--bogus"}, {"--bogus"}, "", "", ""},
        {{"--home"}, {}, "", "", "--home needs a value"},
    };
    for (const Case& c : cases) {
        const AppArguments parsed = ParseAppArguments(c.arguments, folder.Path());
        EXPECT_EQ(parsed.parameters, c.parameters) << c.arguments.front();
        EXPECT_EQ(parsed.home.value_or("").string(), c.home) << c.arguments.front();
        EXPECT_EQ(parsed.simulate, c.simulate) << c.arguments.front();
        EXPECT_EQ(parsed.error, c.error) << c.arguments.front();
    }
}

}  // namespace
}  // namespace torq::app::test
