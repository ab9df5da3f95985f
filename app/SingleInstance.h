// One window per user and home folder. The first start listens on a local socket whose name is
// built from the user and the home folder; a second start connects, hands over its parameter
// text (its last parameter and one blank) and waits for the first to acknowledge it, then ends
// without a window. A socket left behind by a crashed instance is taken over, not obeyed.
//
// The socket and its start-up lock live in a folder only the user can reach (the runtime folder,
// or a private folder in the temporary folder), and each end checks that the other is the same
// user before anything is handed over: another user cannot take the file names or stop the
// window from opening.
#pragma once

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace torq::app {

// The socket path for a home folder (the writable folder), per user: in the user's runtime folder
// when it is private to the user, else in the private folder "torq-spi-<uid>" of the temporary
// folder (made by Claim).
QString InstanceName(const QString& dataFolder);

// Makes `folder` (mode 0700) when it is missing; a folder of the user's that others could reach is
// closed to them. False, with `problem`, for a link, a file or a folder of another user.
bool EnsurePrivateFolder(const QString& folder, QString* problem = nullptr);

// The user at the other end of a connected local socket; nothing when it cannot be told.
std::optional<uid_t> PeerUser(qintptr socketDescriptor);
// Only the same user may hand over, and only to the same user. False, with `problem`, otherwise
// (an unknown peer included).
bool SameUserPeer(std::optional<uid_t> peer, uid_t ownUser, QString* problem = nullptr);

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role { First, Second, Failed };
    // Becomes the first instance, or finds the running one. Failed (with `problem`) when the
    // socket's folder is not private or the socket can be neither reached nor listened on.
    Role Claim(QString* problem = nullptr);

    // Second instance: sends `text` and waits for the first instance's acknowledgement. Nothing is
    // sent to a listener of another user.
    bool HandOver(const QString& text, int timeoutMs, QString* problem = nullptr);

    // First instance: a text arrived. The receiver processes it and then calls `done`, which
    // acknowledges it to the sender (the receiver may defer the work and call `done` later).
    using Receiver = std::function<void(const QString& text, std::function<void()> done)>;
    void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
    // First instance: a connection that has not sent a whole text within this time is closed.
    void SetReadTimeout(int ms) { readTimeoutMs_ = ms; }

    const QString& Name() const { return name_; }

  private:
    void Accept();
    void Read(QLocalSocket* socket);

    QString name_;
    QLocalServer* server_ = nullptr;
    Receiver receiver_;
    int readTimeoutMs_;
};

}  // namespace torq::app
