// What the Options page's desktop group works on: the user's desktop folders, the program the
// desktop entries start, the desktop's cache tools and the handler of web addresses. The program
// passes the desktop's own (DesktopSeams::System()); tests and previews pass scratch folders and
// recorders, so they never touch the real desktop.
#pragma once

#include <QUrl>
#include <filesystem>

#include "torq/desktop/Xdg.h"

namespace torq::app {

class LinkOpener {
  public:
    virtual ~LinkOpener() = default;
    // Opens a web address with the desktop's handler; false when the desktop could not.
    virtual bool Open(const QUrl& address) = 0;
};

// QDesktopServices: the browser the user chose.
class DesktopLinkOpener final : public LinkOpener {
  public:
    bool Open(const QUrl& address) override;
    static DesktopLinkOpener& Instance();
};

struct DesktopSeams {
    XdgFolders folders;
    std::filesystem::path program;  // what the desktop entries start
    DesktopTools& tools;
    LinkOpener& links;

    // The user's desktop: the environment's XDG folders, this executable, the desktop's own
    // tools and QDesktopServices.
    static DesktopSeams System();
};

// The maker's web address, set when the program is configured (TORQ_MAKER_URL).
QUrl MakerAddress();

}  // namespace torq::app
