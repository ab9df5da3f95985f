#include "SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>

namespace torq::app {

namespace {

constexpr char kEnd = '\0';  // ends the handed-over text
constexpr char kAcknowledge = '\x06';
constexpr int kConnectMs = 1000;
// A hand-over longer than this is not one of ours.
constexpr qint64 kLargestText = 64 * 1024;

}  // namespace

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
    // In the user's runtime folder when there is one (only the user can reach it), else the
    // temporary folder with the user's id in the name.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString inRuntime = QDir(runtime).filePath(file);
    // A socket path must fit the address of a local socket (108 bytes with its end).
    if (!runtime.isEmpty() && QDir(runtime).exists() && inRuntime.toLocal8Bit().size() < 100)
        return inRuntime;
    return file;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr)
        server_->close();
}

SingleInstance::Role SingleInstance::Claim(QString* problem) {
    // Two starts at the same moment must not both decide to be first.
    const QString lockPath = (QDir::isAbsolutePath(name_) ? name_ : QDir::temp().filePath(name_)) +
                             QStringLiteral(".lock");
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
    // One text per connection: what follows it is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
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
