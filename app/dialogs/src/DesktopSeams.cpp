#include "torq/app/DesktopSeams.h"

#include <QCoreApplication>
#include <QDesktopServices>

namespace torq::app {

bool DesktopLinkOpener::Open(const QUrl& address) {
    return QDesktopServices::openUrl(address);
}

DesktopLinkOpener& DesktopLinkOpener::Instance() {
    static DesktopLinkOpener opener;
    return opener;
}

DesktopSeams DesktopSeams::System() {
    return DesktopSeams{XdgFolders::FromEnvironment(),
                        RunningProgram(QCoreApplication::applicationFilePath().toStdString()),
                        SystemDesktopTools::Instance(), DesktopLinkOpener::Instance()};
}

QUrl MakerAddress() {
    return QUrl(QStringLiteral(TORQ_MAKER_URL));
}

}  // namespace torq::app
