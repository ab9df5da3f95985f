// The component names of the main window's controls. Every name is built here from its parts
// (owner, item, socket digit, kind), so the window, the workflow and the tests agree on them.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace torq {

inline constexpr int kUnitCount = 4;
inline constexpr int kSocketsPerUnit = 2;
inline constexpr int kSocketCount = kUnitCount * kSocketsPerUnit;

// Position of unit n (1-4), socket s (1-2) in the per-socket control lists: (n - 1) * 2 + s - 1.
int SocketIndex(int unit, int socket);
struct SocketPosition {
    int unit = 1;
    int socket = 1;
};
SocketPosition SocketAtIndex(int index);

// Kinds: the ending after the item. Those with a leading "_" are separated from the item.
namespace kind {
inline constexpr std::string_view kImagePanel = "Image_Panel";
inline constexpr std::string_view kImage = "_Image";
inline constexpr std::string_view kClickLabel = "MouseACTFilter_Label";
inline constexpr std::string_view kPanel = "_Panel";
inline constexpr std::string_view kEdit = "_Edit";
inline constexpr std::string_view kCheckBox = "_CheckBox";
inline constexpr std::string_view kButton = "_Button";
inline constexpr std::string_view kComboBox = "_ComboBox";
}  // namespace kind

// owner + "_" + item + kind: ComponentName("Programmer", "Erase", kind::kImagePanel) is
// "Programmer_EraseImage_Panel", ComponentName("Emulator", "Erase", kind::kCheckBox) is
// "Emulator_Erase_CheckBox".
std::string ComponentName(std::string_view owner, std::string_view item, std::string_view kind);
// "Unit1" ... "Unit4".
std::string UnitName(int unit);
// "Unit1_Panel".
std::string UnitPanelName(int unit);
// A per-socket control: SocketControlName(1, "WorkFile", 1, kind::kEdit) is "Unit1_WorkFile1_Edit".
std::string SocketControlName(int unit, std::string_view item, int socket, std::string_view kind);
// The eight names of one per-socket control in list order (unit 1 socket 1, unit 1 socket 2, ...).
std::array<std::string, kSocketCount> SocketControlList(std::string_view item,
                                                        std::string_view kind);

// ---- the indicators ----

enum class Bar { Emulator, Programmer };
enum class Step { Watch, LoadFile, Erase, Check, Program, Verify, Protect, Reset };
enum class FunctionButton { Read, Edit, Save, Option, ExecuteAll, LookIC };
// The images of a tile or button (function and order buttons have the first three only).
enum class TileImage { Norm, Light, Down, Pass, Fail };
enum class LampImage { Gray, Yellow, Green, Red };
// Stopped: the run ended without being done (the chip was not confirmed, or it was stopped).
enum class StatusImage { Wait, Pass, Fail, Online, Offline, Stopped };

std::string_view BarName(Bar bar);                     // "Emulator", "Programmer"
std::string_view StepName(Step step);                  // "LoadFile", ...
std::string_view FunctionName(FunctionButton button);  // "ExecuteAll", "LookIC", ...
std::string_view ImageWord(TileImage image);           // "Norm", "Light", ...
std::string_view ImageWord(LampImage image);           // "Gray", ...
std::string_view ImageWord(StatusImage image);         // "Wait", ...

// An indicator's names all start with its stem ("Programmer_Erase", "Function_Read", "Unit1_Order",
// "Unit1_StatusLights1", "Status_Result") followed by "Image_Panel", the image word and "_Image",
// or "MouseACTFilter_Label".
std::string TileStem(Bar bar, Step step);
std::string FunctionStem(FunctionButton button);
std::string OrderStem(int unit);
std::string LampStem(int unit, int socket);
std::string StatusStem();
std::string IndicatorImageName(std::string_view stem, std::string_view word);

// "Programmer_EraseImage_Panel", "Programmer_ErasePass_Image",
// "Programmer_EraseMouseACTFilter_Label", "Programmer_Erase_CheckBox".
std::string TilePanelName(Bar bar, Step step);
std::string TileImageName(Bar bar, Step step, TileImage image);
std::string TileClickLabelName(Bar bar, Step step);
std::string StepCheckBoxName(Bar bar, Step step);
// "Function_ReadImage_Panel", "Function_ReadNorm_Image", "Function_ReadMouseACTFilter_Label".
std::string FunctionPanelName(FunctionButton button);
std::string FunctionImageName(FunctionButton button, TileImage image);
std::string FunctionClickLabelName(FunctionButton button);
// "Unit1_OrderImage_Panel", "Unit1_OrderNorm_Image", "Unit1_OrderMouseACTFilter_Label".
std::string OrderPanelName(int unit);
std::string OrderImageName(int unit, TileImage image);
std::string OrderClickLabelName(int unit);
// "Unit1_StatusLights1Image_Panel", "Unit1_StatusLights1Gray_Image".
std::string LampPanelName(int unit, int socket);
std::string LampImageName(int unit, int socket, LampImage image);
// "Status_ResultImage_Panel", "Status_ResultWait_Image".
std::string StatusPanelName();
std::string StatusImageName(StatusImage image);
// "Unit1_ProgressBar".
std::string ProgressBarName(int unit);

// The containers of the window that ShowOneOfControls and the layout switch between.
namespace control {
inline constexpr std::string_view kMenuTabControl = "Menu_TabControl";
inline constexpr std::string_view kOperationPanel = "MenuTabControl_Operation_Panel";
inline constexpr std::string_view kPremiumPanel = "MenuTabControl_Premium_Panel";
inline constexpr std::string_view kOptionsPanel = "MenuTabControl_Options_Panel";
inline constexpr std::string_view kOperationTopPanel = "Operation_Top_Panel";
inline constexpr std::string_view kOperationBottomPanel = "Operation_Bottom_Panel";
inline constexpr std::string_view kEmulatorPanel = "Emulator_Panel";
inline constexpr std::string_view kProgrammerPanel = "Programmer_Panel";
inline constexpr std::string_view kBottomPanel = "Bottom_Panel";
inline constexpr std::string_view kInfoMessagePanel = "InfoMessage_Panel";
}  // namespace control

}  // namespace torq
