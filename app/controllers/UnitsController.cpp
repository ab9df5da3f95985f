#include "controllers/UnitsController.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "controllers/ActionGate.h"
#include "torq/app/FileChooser.h"
#include "torq/app/LoadFileDialog.h"
#include "torq/buffer/Load.h"
#include "torq/workflow/WindowRules.h"
#include "torq/workflow/Workbench.h"
#include "widgets/SocketPanel.h"
#include "widgets/Tile.h"
#include "widgets/UnitPanel.h"

namespace torq::app {

UnitsController::UnitsController(Workbench& bench, ActionGate& gate, FileChooser& files,
                                 LoadFileDialog& loadDialog,
                                 std::array<UnitPanel*, kUnitCount> panels, QWidget* window)
    : QObject(window),
      bench_(bench),
      gate_(gate),
      files_(files),
      loadDialog_(loadDialog),
      panels_(panels),
      window_(window) {
    for (UnitPanel* panel : panels_) {
        const int unit = panel->Unit();
        // Unit1_Vendor_ComboBoxChange, Unit1_Type_ComboBoxChange
        connect(panel, &UnitPanel::VendorChosen, this, [this](int unit, const QString& vendor) {
            gate_.Run([&] { bench_.VendorChanged(unit, vendor.toStdString()); });
            Refresh(unit);
        });
        connect(panel, &UnitPanel::TypeChosen, this, [this](int unit, const QString& type) {
            gate_.Run([&] { bench_.TypeChanged(unit, type.toStdString()); });
            Refresh(unit);
        });
        connect(panel, &UnitPanel::FileDropped, this, &UnitsController::Drop);
        if (Tile* order = panel->OrderButton()) {
            // Unit1_OrderMouseACTFilter_LabelClick
            order->SetMouseHandler([this, unit](MouseEvent event) {
                return bench_.Board().Mouse(OrderClickLabelName(unit), event,
                                            bench_.ProgrammerCount(), bench_.TabIndex());
            });
            connect(order, &Tile::Clicked, this, [this, unit] {
                gate_.Run([&] { bench_.OrderButton(unit); });
                Refresh(unit);
            });
        }
        for (int socket = 1; socket <= kSocketsPerUnit; ++socket) {
            SocketPanel* sp = panel->Socket(socket);
            // Unit1_Enable1_CheckBoxClick
            connect(sp, &SocketPanel::EnableClicked, this,
                    [this](int unit, int socket, bool checked) {
                        gate_.Run([&] { bench_.SetSocketEnabled(unit, socket, checked); });
                        Refresh(unit);
                    });
            connect(sp, &SocketPanel::BrowseClicked, this, &UnitsController::Browse);
        }
    }
    RefreshAll();
}

void UnitsController::Refresh(int unit) {
    if (unit < 1 || unit > kUnitCount)
        return;
    panels_[static_cast<std::size_t>(unit - 1)]->Show(bench_.VendorList(), bench_.TypeList(unit),
                                                      bench_.UnitStates().Unit(unit),
                                                      bench_.MirrorsUnit1(unit));
}

void UnitsController::RefreshAll() {
    for (int unit = 1; unit <= kUnitCount; ++unit)
        Refresh(unit);
}

void UnitsController::SetLocked(bool locked) {
    for (UnitPanel* panel : panels_)
        panel->SetLocked(locked);
}

void UnitsController::UpdateUsable() {
    for (UnitPanel* panel : panels_) {
        if (Tile* order = panel->OrderButton()) {
            order->SetUsable(
                ClickUsable(MouseFamily::OrderButton, bench_.ProgrammerCount(), bench_.TabIndex()));
        }
    }
}

// Unit1_Browse1_ButtonClick
void UnitsController::Browse(int unit, int socket) {
    gate_.Run([&] {
        const std::filesystem::path start = BrowseStartFolder(
            bench_.UnitStates().Socket(unit, socket).workFile, bench_.Directories().DataFolder());
        const QString file =
            files_.OpenFileName(window_, FileRequest{QStringLiteral("Open"),
                                                     QString::fromStdString(OpenFileFilter()),
                                                     {},
                                                     QString::fromStdString(start.string())});
        const std::filesystem::path chosen(file.toStdString());
        if (bench_.ChooseFileToLoad(chosen))
            loadDialog_.Open(unit, socket, chosen);
    });
    Refresh(unit);
}

void UnitsController::Drop(int unit, int socket, const QString& file) {
    gate_.Run([&] { bench_.Drop(unit, socket, file.toStdString()); }, Lock::Window);
    RefreshAll();
}

}  // namespace torq::app
