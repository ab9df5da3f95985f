#include "SingleInstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace torq::app {

namespace {

constexpr char kEnd = '\0';  // ends the handed-over text
constexpr char kAcknowledge = '\x06';
constexpr int kConnectMs = 1000;
// A hand-over longer than this is not one of ours.
constexpr qint64 kLargestText = 64 * 1024;
// A connection that sends no whole text in this time is not a second start waiting for us.
constexpr int kReadTimeoutMs = 5000;
constexpr char kDeadlineName[] = "torqHandOverDeadline";

// A socket path must fit the address of a local socket (108 bytes with its end).
bool FitsSocketAddress(const QString& path) {
    return QFile::encodeName(path).size() < 100;
}

// The folder exists, is no link, belongs to this user and nobody else may enter it.
bool IsPrivateFolder(const QString& folder) {
    struct stat info {};
    return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

bool EnsurePrivateFolder(const QString& folder, QString* problem) {
    const auto fail = [&](const QString& text) {
        if (problem != nullptr)
            *problem = text;
        return false;
    };
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return fail(
            QStringLiteral("cannot create the folder %1: %2").arg(folder, SystemError(errno)));
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0)
        return fail(
            QStringLiteral("cannot reach the folder %1: %2").arg(folder, SystemError(errno)));
    if (S_ISLNK(info.st_mode))
        return fail(QStringLiteral("the folder %1 is a link; it is not used").arg(folder));
    if (!S_ISDIR(info.st_mode))
        return fail(QStringLiteral("%1 is not a folder").arg(folder));
    if (info.st_uid != ::geteuid()) {
        return fail(QStringLiteral("the folder %1 belongs to another user (uid %2); it is not used")
                        .arg(folder)
                        .arg(info.st_uid));
    }
    // The folder is ours (in a sticky temporary folder nobody else can rename it): closing it is
    // safe, and whatever another user left in it is cleared by Claim.
    if ((info.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot close the folder %1 to other users: %2")
                        .arg(folder, SystemError(errno)));
    return true;
}

std::optional<uid_t> PeerUser(qintptr socketDescriptor) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0 ||
        ::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials,
                     &size) != 0 ||
        size != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

bool SameUserPeer(std::optional<uid_t> peer, uid_t ownUser, QString* problem) {
    if (peer == ownUser)
        return true;
    if (problem != nullptr) {
        *problem = peer ? QStringLiteral(
                              "the other end of the instance socket is another user "
                              "(uid %1), not this one (uid %2)")
                              .arg(*peer)
                              .arg(ownUser)
                        : QStringLiteral(
                              "the user at the other end of the instance socket "
                              "cannot be told");
    }
    return false;
}

QString InstanceName(const QString& dataFolder) {
    const QString canonical = QDir(dataFolder).canonicalPath();
    const QByteArray hash =
        QCryptographicHash::hash(
            (canonical.isEmpty() ? QDir::cleanPath(dataFolder) : canonical).toUtf8(),
            QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    const QString file =
        QStringLiteral("torq-spi-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
    // In the user's runtime folder when it is the user's alone (after su it may still name the
    // other user's), else in a private folder of the temporary folder; never under a shared name.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString inRuntime = QDir(runtime).filePath(file);
    if (IsPrivateFolder(runtime) && FitsSocketAddress(inRuntime))
        return inRuntime;
    const QString privateFolder = QStringLiteral("torq-spi-%1").arg(::geteuid());
    const QString inTemp = QDir(QDir(QDir::tempPath()).filePath(privateFolder)).filePath(file);
    if (FitsSocketAddress(inTemp))
        return inTemp;
    return QDir(QStringLiteral("/tmp/") + privateFolder).filePath(file);
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)), readTimeoutMs_(kReadTimeoutMs) {}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr)
        server_->close();
}

SingleInstance::Role SingleInstance::Claim(QString* problem) {
    const QString folder = QFileInfo(name_).absolutePath();
    if (!EnsurePrivateFolder(folder, problem))
        return Role::Failed;
    const QString lockPath = name_ + QStringLiteral(".lock");
    // What another user put in our folder (while it was open to them) is not ours to obey.
    for (const QString& entry : {name_, lockPath}) {
        struct stat info {};
        const QByteArray path = QFile::encodeName(entry);
        if (::lstat(path.constData(), &info) == 0 && info.st_uid != ::geteuid())
            ::unlink(path.constData());
    }
    // Two starts at the same moment must not both decide to be first.
    QLockFile lock(lockPath);
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(5000) && problem != nullptr)
        *problem = QStringLiteral("the start-up lock %1 is held").arg(lockPath);

    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(kConnectMs)) {
            probe.disconnectFromServer();
            return Role::Second;
        }
    }
    // Nobody answers: whatever socket file is there was left by an instance that ended.
    QLocalServer::removeServer(name_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        if (problem != nullptr)
            *problem = server_->errorString();
        delete server_;
        server_ = nullptr;
        return Role::Failed;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    return Role::First;
}

bool SingleInstance::HandOver(const QString& text, int timeoutMs, QString* problem) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(kConnectMs)) {
        if (problem != nullptr)
            *problem = QStringLiteral("the running window cannot be reached: %1")
                           .arg(socket.errorString());
        return false;
    }
    // Nothing goes to a listener of another user.
    QString refusal;
    if (!SameUserPeer(PeerUser(socket.socketDescriptor()), ::geteuid(), &refusal)) {
        socket.abort();
        if (problem != nullptr)
            *problem = refusal + QStringLiteral("; nothing was handed over");
        return false;
    }
    QByteArray data = text.toUtf8();
    data.append(kEnd);
    socket.write(data);
    if (!socket.waitForBytesWritten(kConnectMs)) {
        if (problem != nullptr)
            *problem = QStringLiteral("the running window did not take the hand-over");
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() > 0 ||
            socket.waitForReadyRead(static_cast<int>(timeoutMs - waited.elapsed()))) {
            if (socket.read(1) == QByteArray(1, kAcknowledge))
                return true;
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            break;
    }
    if (problem != nullptr)
        *problem = QStringLiteral("the running window did not acknowledge the hand-over");
    return false;
}

void SingleInstance::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        if (!SameUserPeer(PeerUser(socket->socketDescriptor()), ::geteuid())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A connection that stops half way is dropped, so such connections cannot pile up.
        auto* deadline = new QTimer(socket);
        deadline->setObjectName(QString::fromLatin1(kDeadlineName));
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        deadline->start(readTimeoutMs_);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0)
            Read(socket);
    }
}

void SingleInstance::Read(QLocalSocket* socket) {
    QByteArray pending = socket->property("torqPending").toByteArray();
    pending += socket->readAll();
    const auto end = pending.indexOf(kEnd);
    if (end < 0) {
        if (pending.size() > kLargestText)
            socket->abort();
        else
            socket->setProperty("torqPending", pending);
        return;
    }
    // One text per connection: what follows it is not read. The receiver may take its time.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (auto* deadline = socket->findChild<QTimer*>(QString::fromLatin1(kDeadlineName),
                                                    Qt::FindDirectChildrenOnly)) {
        deadline->stop();
    }
    socket->setProperty("torqPending", QVariant());
    const QString text = QString::fromUtf8(pending.left(end));
    const QPointer<QLocalSocket> guard(socket);
    auto done = [guard] {
        if (!guard)
            return;
        guard->write(&kAcknowledge, 1);
        guard->flush();
        guard->disconnectFromServer();
    };
    if (receiver_)
        receiver_(text, done);
    else
        done();
}

}  // namespace torq::app
