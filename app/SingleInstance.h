// One window per user and home folder. The first start listens on a local socket whose name is
// built from the user and the home folder; a second start connects, hands over its parameter
// text (its last parameter and one blank) and waits for the first to acknowledge it, then ends
// without a window. A socket left behind by a crashed instance is taken over, not obeyed.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace torq::app {

// The socket name for a home folder (the writable folder), per user.
QString InstanceName(const QString& dataFolder);

class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QString name, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role { First, Second, Failed };
    // Becomes the first instance, or finds the running one. Failed (with `problem`) when the
    // socket can be neither reached nor listened on.
    Role Claim(QString* problem = nullptr);

    // Second instance: sends `text` and waits for the first instance's acknowledgement.
    bool HandOver(const QString& text, int timeoutMs, QString* problem = nullptr);

    // First instance: a text arrived. The receiver processes it and then calls `done`, which
    // acknowledges it to the sender (the receiver may defer the work and call `done` later).
    using Receiver = std::function<void(const QString& text, std::function<void()> done)>;
    void SetReceiver(Receiver receiver) { receiver_ = std::move(receiver); }

    const QString& Name() const { return name_; }

  private:
    void Accept();
    void Read(QLocalSocket* socket);

    QString name_;
    QLocalServer* server_ = nullptr;
    Receiver receiver_;
};

}  // namespace torq::app
