// The unit panels of the window: picking a device with the vendor and type boxes, Detect IC, the
// order button, the sockets' enable boxes and the offset fields, all driven through the controls.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>

#include "WindowFixture.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/Tabs.h"

namespace torq::app::test {
namespace {

class UnitsWindowTest : public WindowTest {
  protected:
    // Picks an item as the operator does from the drop-down list.
    void Choose(const std::string& box, const std::string& item) {
        auto* combo = Find<QComboBox>(box.c_str());
        ASSERT_NE(combo, nullptr);
        const int index = combo->findText(QString::fromStdString(item));
        ASSERT_GE(index, 0) << box << " has no " << item;
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    std::string Text(const std::string& name) const {
        const auto* field = Find<QLineEdit>(name.c_str());
        return field != nullptr ? field->text().toStdString() : std::string("missing");
    }
    bool Checked(const std::string& name) const {
        const auto* box = Find<QCheckBox>(name.c_str());
        return box != nullptr && box->isChecked();
    }
    std::uintmax_t BufferSize() const { return std::filesystem::file_size(home / "output.tmp"); }
    std::uint64_t DeviceSize() const { return window->Bench().Record().deviceSize; }
};

TEST_F(UnitsWindowTest, ChoosingAVendorOrATypeLoadsTheDeviceAndClearsTheUnitsSockets) {
    const auto file = WriteFile("image.bin", 4096);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    ASSERT_EQ(Text("Unit1_WorkFile1_Edit"), file.string());
    ASSERT_TRUE(Checked("Unit1_Enable1_CheckBox"));
    Find<QLineEdit>("Unit1_StartAdd1_Edit")->setText("00000100");
    window->Bench().SetOffsetText(1, 1, "00000100");

    // A type: its record, the buffer at its size and erased, the socket fields cleared; unit 1
    // keeps its enable boxes.
    Choose("Unit1_Type_ComboBox", "W25X80");
    EXPECT_EQ(DeviceSize(), 1024u * 1024u);
    EXPECT_EQ(BufferSize(), DeviceSize());
    EXPECT_EQ(torq::test::ReadFile(home / "output.tmp"), std::string(1024 * 1024, '\xFF'));
    EXPECT_EQ(Text("Unit1_WorkFile1_Edit"), "");
    EXPECT_EQ(Text("Unit1_Sum1_Edit"), "00000000");
    EXPECT_EQ(Text("Unit1_StartAdd1_Edit"), "00000000");
    EXPECT_TRUE(Checked("Unit1_Enable1_CheckBox"));
    EXPECT_TRUE(Shows("Programmer_LoadFileNorm_Image"));

    // A vendor: its types listed and the first one chosen.
    Choose("Unit1_Vendor_ComboBox", "Macronix");
    auto* types = Find<QComboBox>("Unit1_Type_ComboBox");
    const auto& list = window->Bench().TypeList(1);
    ASSERT_FALSE(list.empty());
    ASSERT_EQ(types->count(), static_cast<int>(list.size()));
    EXPECT_EQ(types->itemText(0).toStdString(), list.front());
    EXPECT_EQ(types->currentText().toStdString(), list.front());
    EXPECT_EQ(window->Bench().UnitStates().Unit(1).vendor, "Macronix");
    EXPECT_EQ(BufferSize(), DeviceSize());

    // On unit 3 a type change clears the enable boxes too.
    DropFiles(Find("Unit3_Socket1_Panel"), {file});
    Find<QCheckBox>("Unit3_Enable1_CheckBox")->click();
    ASSERT_TRUE(Checked("Unit3_Enable1_CheckBox"));
    Choose("Unit3_Type_ComboBox",
           Find<QComboBox>("Unit3_Type_ComboBox")->itemText(1).toStdString());
    EXPECT_FALSE(Checked("Unit3_Enable1_CheckBox"));
    EXPECT_EQ(Text("Unit3_WorkFile1_Edit"), "");
}

// The boxes always show the device that is loaded: a type, or a vendor whose first type, that
// cannot be selected (its device file gives no size) puts both boxes back.
TEST_F(UnitsWindowTest, ARefusedDevicePutsTheBoxesBack) {
    Open("W25X10", "Winbond", "W25X10");
    const DeviceLibrary& library = *window->Bench().Library();
    const std::string macronixFirst = library.TypesOf("Macronix").names.front();
    for (const auto& file : {library.DeviceFileOf("Winbond", "W25X80"),
                             library.DeviceFileOf("Macronix", macronixFirst)}) {
        std::string device = torq::test::ReadFile(file);
        const std::size_t at = device.find("max_address_Low=");
        ASSERT_NE(at, std::string::npos) << file;
        device.replace(at, device.find('\n', at) - at, "max_address_Low=0x");
        home.Write(std::filesystem::relative(file, home.Path()).string(), device);
    }
    for (const auto& [box, item] : std::vector<std::pair<std::string, std::string>>{
             {"Unit1_Type_ComboBox", "W25X80"}, {"Unit1_Vendor_ComboBox", "Macronix"}}) {
        SCOPED_TRACE(item);
        op.messages.clear();
        Choose(box, item);
        EXPECT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(Find<QComboBox>("Unit1_Vendor_ComboBox")->currentText(), "Winbond");
        EXPECT_EQ(Find<QComboBox>("Unit1_Type_ComboBox")->currentText(), "W25X10");
        EXPECT_EQ(window->Bench().Record().name, "W25X10");
    }
}

TEST_F(UnitsWindowTest, DetectIcSelectsTheChipsDeviceAndEnablesTheSocket) {
    Open("W25Q64FV", "Winbond", "W25Q64FV");
    // Start-up found the chip; another device chosen and the socket switched off by hand.
    Choose("Unit1_Type_ComboBox", "W25X20");
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();
    ASSERT_FALSE(Checked("Unit1_Enable1_CheckBox"));

    Activate("Function_LookICMouseACTFilter_Label");
    EXPECT_TRUE(LoggedContaining(
        "Automatically detect the device ID is found : Winbond -> W25Q64FV -> [EF401700] : "
        "Total Time : "));
    EXPECT_EQ(Find<QComboBox>("Unit1_Vendor_ComboBox")->currentText(), "Winbond");
    EXPECT_EQ(Find<QComboBox>("Unit1_Type_ComboBox")->currentText(), "W25Q64FV");
    EXPECT_EQ(BufferSize(), 8u * 1024u * 1024u);
    EXPECT_TRUE(Checked("Unit1_Enable1_CheckBox"));
    EXPECT_TRUE(op.messages.empty());

    // The Options tab has no Detect IC: its shortcut does nothing there.
    Find<QTabBar>("Menu_TabBar")->setCurrentIndex(kOptionsTabIndex);
    const auto lines = Lines().size();
    Activate("Function_LookICMouseACTFilter_Label");
    EXPECT_EQ(Lines().size(), lines);
}

TEST_F(UnitsWindowTest, DetectIcOnAnEmptySocketFindsNothingAndDisablesTheSocket) {
    Open("no chip", "Winbond", "W25X10");
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();
    ASSERT_TRUE(Checked("Unit1_Enable1_CheckBox"));
    Activate("Function_LookICMouseACTFilter_Label");
    EXPECT_TRUE(
        LoggedContaining("Automatically detect the device ID is not found : Total Time : "));
    EXPECT_FALSE(Checked("Unit1_Enable1_CheckBox"));
    EXPECT_EQ(Find<QComboBox>("Unit1_Type_ComboBox")->currentText(), "W25X10");
}

TEST_F(UnitsWindowTest, TheOrderButtonAsksTheProgrammerToShowItselfAndEnablesSocketOne) {
    Open("W25X10", "Winbond", "W25X10");
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();  // start-up's detection enabled it
    ASSERT_FALSE(Checked("Unit1_Enable1_CheckBox"));
    simulator->EnableLog(true);
    Activate("Unit1_OrderMouseACTFilter_Label");
    const auto& log = simulator->Log();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const sim::SimTransfer& t) {
        return t.kind == sim::TransferKind::ControlOut && t.request == 0xD0 && t.value == 0 &&
               t.index == 5;
    }));
    EXPECT_TRUE(Shows("Unit1_StatusLights1Gray_Image"));
    EXPECT_TRUE(Checked("Unit1_Enable1_CheckBox"));
}

TEST_F(UnitsWindowTest, EnableBoxesFollowTheWorkFilesOfTheSockets) {
    Open("W25X10", "Winbond", "W25X10");
    const auto file = WriteFile("image.bin", 1024);
    DropFiles(Find("Unit3_Socket2_Panel"), {file});
    // Start-up found the chip and enabled unit 1's socket; it starts off here.
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();
    ASSERT_FALSE(Checked("Unit1_Enable1_CheckBox"));

    struct Click {
        const char* box;
        std::vector<const char*> checked;  // afterwards, every other box unchecked
    };
    const Click clicks[] = {
        // Other boxes: checked only with a work file.
        {"Unit3_Enable2_CheckBox", {"Unit3_Enable2_CheckBox"}},
        {"Unit2_Enable2_CheckBox", {"Unit3_Enable2_CheckBox"}},
        // Socket 1 of unit 1 or 2 without a work file: the only checked box.
        {"Unit2_Enable1_CheckBox", {"Unit2_Enable1_CheckBox"}},
        {"Unit3_Enable2_CheckBox", {"Unit2_Enable1_CheckBox", "Unit3_Enable2_CheckBox"}},
        {"Unit1_Enable1_CheckBox", {"Unit1_Enable1_CheckBox"}},
    };
    std::vector<std::string> boxes;
    for (int unit = 1; unit <= kUnitCount; ++unit) {
        for (int socket = 1; socket <= kSocketsPerUnit; ++socket)
            boxes.push_back(SocketControlName(unit, "Enable", socket, kind::kCheckBox));
    }
    const auto expect = [&](const std::vector<const char*>& checked, const std::string& step) {
        for (const std::string& box : boxes) {
            const bool wanted = std::find(checked.begin(), checked.end(), box) != checked.end();
            EXPECT_EQ(Checked(box), wanted) << step << ": " << box;
        }
    };
    for (const Click& click : clicks) {
        Find<QCheckBox>(click.box)->click();
        expect(click.checked, click.box);
    }

    // Socket 1 of unit 1 with a work file: only the boxes without one are cleared.
    DropFiles(Find("Unit1_Panel"), {file});
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();  // off
    Find<QCheckBox>("Unit2_Enable1_CheckBox")->click();
    Find<QCheckBox>("Unit3_Enable2_CheckBox")->click();
    expect({"Unit2_Enable1_CheckBox", "Unit3_Enable2_CheckBox"}, "before");
    Find<QCheckBox>("Unit1_Enable1_CheckBox")->click();
    expect({"Unit1_Enable1_CheckBox", "Unit3_Enable2_CheckBox"}, "with a work file");
}

// The offset fields show where in its file a socket's load started (the Load File dialog's source
// start); nothing would use a typed value, so they take no typing. What the program sets is shown
// within the device.
TEST_F(UnitsWindowTest, OffsetFieldsShowTheLoadsStartAndTakeNoTyping) {
    Open("W25X80", "Winbond", "W25X80");
    ASSERT_EQ(DeviceSize(), 1024u * 1024u);
    for (const char* name : {"Unit1_StartAdd1_Edit", "Unit2_StartAdd2_Edit"}) {
        SCOPED_TRACE(name);
        auto* offset = Find<QLineEdit>(name);
        EXPECT_TRUE(offset->isReadOnly());
        EXPECT_TRUE(offset->toolTip().contains("source start")) << offset->toolTip().toStdString();
        offset->setFocus();
        offset->selectAll();
        QTest::keyClicks(offset, "ab");
        QTest::keyClick(offset, Qt::Key_Backspace);
        EXPECT_EQ(offset->text(), "00000000");
    }
    EXPECT_EQ(window->Bench().UnitStates().Socket(1, 1).offsetText, "00000000");

    window->Bench().SetOffsetText(1, 1, "123456");
    EXPECT_EQ(Text("Unit1_StartAdd1_Edit"), "000FFFFF");
}

}  // namespace
}  // namespace torq::app::test
