// One window per user and home folder: a second start (a real second process) hands its last
// parameter over and ends; a socket left by a crashed instance does not block the next start.
// And the program's own command line.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLineEdit>
#include <QLocalSocket>
#include <QProcess>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>

#include "AppArguments.h"
#include "SingleInstance.h"
#include "WindowFixture.h"

namespace torq::app::test {
namespace {

// A folder of the test's own with a short path, as socket paths must be short.
class ShortFolder {
  public:
    ShortFolder() {
        char pattern[] = "/tmp/torq-run-XXXXXX";
        if (::mkdtemp(pattern) != nullptr)
            path_ = pattern;
    }
    ~ShortFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A private runtime folder for the instance sockets of one test.
class RuntimeFolder {
  public:
    RuntimeFolder() : previous_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder_.Path().string()));
    }
    ~RuntimeFolder() {
        if (previous_.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", previous_);
    }
    const std::filesystem::path& Path() const { return folder_.Path(); }

  private:
    ShortFolder folder_;
    QByteArray previous_;
};

// An environment variable set (or unset, with nothing) for one test.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, const std::optional<std::string>& value)
        : name_(name), previous_(qgetenv(name)), wasSet_(qEnvironmentVariableIsSet(name)) {
        if (value)
            qputenv(name, QByteArray::fromStdString(*value));
        else
            qunsetenv(name);
    }
    ~ScopedVariable() {
        if (wasSet_)
            qputenv(name_, previous_);
        else
            qunsetenv(name_);
    }

  private:
    const char* name_;
    QByteArray previous_;
    bool wasSet_;
};

unsigned Mode(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// Without a runtime folder of the user's own (su, cron, some ssh logins) the socket and its lock
// go to a private folder of the temporary folder, never to a name other users could take first.
TEST(InstanceFolderTest, WithoutAPrivateRuntimeFolderTheSocketGoesToAPrivateTemporaryFolder) {
    App();
    ShortFolder temporary;  // standing in for /tmp
    const ScopedVariable tmpdir("TMPDIR", temporary.Path().string());
    const auto privateFolder = temporary.Path() / ("torq-spi-" + std::to_string(::geteuid()));
    const QString home = QStringLiteral("/home/someone/bench");

    // A runtime folder others may enter (XDG_RUNTIME_DIR=/tmp in some scripts) is no better than
    // none.
    const auto shared = temporary.Path() / "shared";
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 0777);
    for (const std::optional<std::string>& runtime :
         {std::optional<std::string>(), std::optional<std::string>(shared.string())}) {
        const ScopedVariable xdg("XDG_RUNTIME_DIR", runtime);
        const QString name = InstanceName(home);
        EXPECT_EQ(std::filesystem::path(name.toStdString()).parent_path(), privateFolder)
            << name.toStdString();
    }

    const ScopedVariable xdg("XDG_RUNTIME_DIR", std::nullopt);
    SingleInstance first(InstanceName(home));
    QString problem;
    ASSERT_EQ(first.Claim(&problem), SingleInstance::Role::First) << problem.toStdString();
    EXPECT_EQ(Mode(privateFolder), 0700u);
    // The start-up lock too: nothing lands in the shared folder itself.
    for (const auto& entry : std::filesystem::directory_iterator(temporary.Path()))
        EXPECT_TRUE(entry.path() == privateFolder || entry.path() == shared) << entry.path();
    SingleInstance second(InstanceName(home));
    EXPECT_EQ(second.Claim(), SingleInstance::Role::Second);
}

TEST(InstanceFolderTest, AFolderOthersCouldEnterIsClosedAndOneNotTheUsersIsRefused) {
    App();
    ShortFolder scratch;
    const auto open = scratch.Path() / "open";
    std::filesystem::create_directory(open);
    ::chmod(open.c_str(), 01777);
    QString problem;
    EXPECT_TRUE(EnsurePrivateFolder(QString::fromStdString(open.string()), &problem))
        << problem.toStdString();
    EXPECT_EQ(Mode(open), 0700u);

    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> make;
        const char* says;
    };
    const auto mine = scratch.Path() / "mine";
    std::filesystem::create_directory(mine);
    ::chmod(mine.c_str(), 0700);
    std::vector<Case> refused = {
        {"link", [&](const auto& path) { std::filesystem::create_directory_symlink(mine, path); },
         "is a link"},
        {"file", [](const auto& path) { std::ofstream(path) << "x"; }, "is not a folder"},
    };
    // Only a privileged test can give a folder to another user.
    if (::geteuid() == 0) {
        refused.push_back({"theirs",
                           [](const auto& path) {
                               std::filesystem::create_directory(path);
                               ::chmod(path.c_str(), 0700);
                               ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
                           },
                           "belongs to another user (uid 65534)"});
    }
    for (const Case& c : refused) {
        const auto folder = scratch.Path() / c.name;
        c.make(folder);
        problem.clear();
        EXPECT_FALSE(EnsurePrivateFolder(QString::fromStdString(folder.string()), &problem))
            << c.name;
        EXPECT_TRUE(problem.contains(QString::fromLatin1(c.says))) << problem.toStdString();
        SingleInstance instance(QString::fromStdString((folder / "torq-spi-socket").string()));
        EXPECT_EQ(instance.Claim(), SingleInstance::Role::Failed) << c.name;
    }
}

TEST(InstanceFolderTest, OnlyTheSameUserIsAPeer) {
    QString problem;
    EXPECT_TRUE(SameUserPeer(1000u, 1000u, &problem));
    EXPECT_FALSE(SameUserPeer(1001u, 1000u, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("another user (uid 1001)")))
        << problem.toStdString();
    EXPECT_FALSE(SameUserPeer(std::nullopt, 1000u, &problem));
    EXPECT_FALSE(problem.isEmpty());

    // The credentials come from the kernel for a connected socket.
    int pair[2] = {-1, -1};
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_EQ(PeerUser(pair[0]), ::geteuid());
    ::close(pair[0]);
    ::close(pair[1]);
    EXPECT_EQ(PeerUser(-1), std::nullopt);
}

// Another user listening where a second start looks receives nothing: the second start checks
// who listens before it sends.
TEST(InstanceFolderTest, NothingIsHandedOverToAListenerOfAnotherUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only a privileged test can listen as another user";
    App();
    ShortFolder scratch;
    ::chmod(scratch.Path().c_str(), 0755);
    const auto theirs = scratch.Path() / "theirs";
    std::filesystem::create_directory(theirs);
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
    const auto socketPath = theirs / "torq-spi-socket";
    int received[2] = {-1, -1};
    ASSERT_EQ(::pipe(received), 0);
    // The socket file appears at bind, before the listen: the child says when it listens.
    int listening[2] = {-1, -1};
    ASSERT_EQ(::pipe(listening), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other user: listens, and reports how many bytes came (-1 for none in time).
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(1);
        const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::listen(listener, 1) != 0) {
            ::_exit(1);
        }
        [[maybe_unused]] const auto ready = ::write(listening[1], "L", 1);
        // Nobody connecting must not leave the test waiting for ever.
        pollfd incoming{listener, POLLIN, 0};
        if (::poll(&incoming, 1, 10000) != 1) {
            const int none = -1;
            [[maybe_unused]] const auto told = ::write(received[1], &none, sizeof none);
            ::_exit(0);
        }
        const int peer = ::accept(listener, nullptr, nullptr);
        timeval wait{2, 0};
        ::setsockopt(peer, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char bytes[256];
        const int count = static_cast<int>(::read(peer, bytes, sizeof bytes));
        [[maybe_unused]] const auto written = ::write(received[1], &count, sizeof count);
        ::_exit(0);
    }
    ::close(received[1]);
    ::close(listening[1]);
    pollfd ready{listening[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 10000), 1);
    ::close(listening[0]);

    SingleInstance second(QString::fromStdString(socketPath.string()));
    QString problem;
    EXPECT_FALSE(second.HandOver(QStringLiteral("/home/victim/secret.bin "), 2000, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("another user (uid 65534)")))
        << problem.toStdString();
    int count = 1;
    EXPECT_EQ(::read(received[0], &count, sizeof count), static_cast<ssize_t>(sizeof count));
    EXPECT_LE(count, 0);
    ::close(received[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
}

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

// A connection that sends half a text and then nothing is closed after the time-out; one that
// sent its whole text waits for the window however long it takes.
TEST_F(HandOverTest, AHalfSentHandOverIsDroppedAfterItsTimeOut) {
    App();
    SingleInstance first(InstanceName(QString::fromStdString(home.Path().string())));
    ASSERT_EQ(first.Claim(), SingleInstance::Role::First);
    first.SetReadTimeout(200);
    std::function<void()> acknowledge;
    first.SetReceiver(
        [&](const QString&, std::function<void()> done) { acknowledge = std::move(done); });

    QLocalSocket half;
    half.connectToServer(first.Name());
    ASSERT_TRUE(half.waitForConnected(1000));
    half.write("a-half-sent-na");
    half.flush();
    QLocalSocket whole;
    whole.connectToServer(first.Name());
    ASSERT_TRUE(whole.waitForConnected(1000));
    whole.write(QByteArray("b.bin ", 7));  // with its end
    whole.flush();

    EXPECT_TRUE(WaitFor([&] { return half.state() == QLocalSocket::UnconnectedState; }, 3000));
    ASSERT_TRUE(WaitFor([&] { return static_cast<bool>(acknowledge); }));
    WaitFor([] { return false; }, 400);  // past the time-out
    EXPECT_EQ(whole.state(), QLocalSocket::ConnectedState);
    acknowledge();
    EXPECT_TRUE(WaitFor([&] { return whole.bytesAvailable() > 0; }));
    EXPECT_EQ(whole.read(1), QByteArray(1, '\x06'));
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
        std::string home;
        std::vector<std::string> simulate;
        std::string error;
    };
    const std::string here = (folder.Path() / "here.bin").string();
    const Case cases[] = {
        {{"here.bin"}, {here}, "", {}, ""},
        // A name that is not there stays as written: the workbench reports it.
        {{"missing.bin", "-h"}, {"missing.bin", "-h"}, "", {}, ""},
        {{"--home", "/h", "--simulate=W25X10,realtime=1", "-b", "here.bin"},
         {"-b", here},
         "/h",
         {"W25X10,realtime=1"},
         ""},
        // One simulated programmer per --simulate, in the order given.
        {{"--simulate", "W25X10", "--simulate=W25Q64FV*2"}, {}, "", {"W25X10", "W25Q64FV*2"}, ""},
        {{"--", "--home"}, {"--home"}, "", {}, ""},
        {{"--bogus"}, {"--bogus"}, "", {}, ""},
        {{"--home"}, {}, "", {}, "--home needs a value"},
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
