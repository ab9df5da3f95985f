// The unit panels: the vendor and type boxes, the order buttons, the sockets' enable boxes,
// browse buttons, offsets and drops, forwarded to the workbench; the panels show what it holds.
#pragma once

#include <QObject>
#include <QString>
#include <array>

#include "torq/workflow/ControlNames.h"

class QWidget;

namespace torq {
class Workbench;
}

namespace torq::app {

class ActionGate;
class FileChooser;
class LoadFileDialog;
class UnitPanel;

class UnitsController final : public QObject {
    Q_OBJECT
  public:
    UnitsController(Workbench& bench, ActionGate& gate, FileChooser& files,
                    LoadFileDialog& loadDialog, std::array<UnitPanel*, kUnitCount> panels,
                    QWidget* window);

    void Refresh(int unit);
    void RefreshAll();
    void SetLocked(bool locked);
    // The order buttons react only while programmers are present.
    void UpdateUsable();

    // Socket Browse: choose a file, then the Load File dialog for that socket.
    void Browse(int unit, int socket);
    // A file dropped on a socket or unit panel (only the first file of a drop reaches here).
    void Drop(int unit, int socket, const QString& file);

  private:
    Workbench& bench_;
    ActionGate& gate_;
    FileChooser& files_;
    LoadFileDialog& loadDialog_;
    std::array<UnitPanel*, kUnitCount> panels_;
    QWidget* window_;
};

}  // namespace torq::app
