#include "torq/workflow/ControlNames.h"

#include "torq/workflow/StepTable.h"

namespace torq {

int SocketIndex(int unit, int socket) {
    return (unit - 1) * kSocketsPerUnit + socket - 1;
}

SocketPosition SocketAtIndex(int index) {
    return {index / kSocketsPerUnit + 1, index % kSocketsPerUnit + 1};
}

std::string ComponentName(std::string_view owner, std::string_view item, std::string_view kind) {
    std::string name;
    name.reserve(owner.size() + 1 + item.size() + kind.size());
    name.append(owner).append("_").append(item).append(kind);
    return name;
}

std::string UnitName(int unit) {
    return "Unit" + std::to_string(unit);
}

std::string UnitPanelName(int unit) {
    return UnitName(unit) + std::string(kind::kPanel);
}

std::string SocketControlName(int unit, std::string_view item, int socket, std::string_view kind) {
    return ComponentName(UnitName(unit), std::string(item) + std::to_string(socket), kind);
}

std::array<std::string, kSocketCount> SocketControlList(std::string_view item,
                                                        std::string_view kind) {
    std::array<std::string, kSocketCount> names;
    for (int i = 0; i < kSocketCount; ++i) {
        const SocketPosition at = SocketAtIndex(i);
        names[static_cast<std::size_t>(i)] = SocketControlName(at.unit, item, at.socket, kind);
    }
    return names;
}

std::string_view BarName(Bar bar) {
    return bar == Bar::Emulator ? "Emulator" : "Programmer";
}

std::string_view StepName(Step step) {
    return StepRowOf(step).controlWord;
}

std::string_view FunctionName(FunctionButton button) {
    switch (button) {
        case FunctionButton::Read:
            return "Read";
        case FunctionButton::Edit:
            return "Edit";
        case FunctionButton::Save:
            return "Save";
        case FunctionButton::Option:
            return "Option";
        case FunctionButton::ExecuteAll:
            return "ExecuteAll";
        case FunctionButton::LookIC:
            return "LookIC";
    }
    return {};
}

std::string_view ImageWord(TileImage image) {
    switch (image) {
        case TileImage::Norm:
            return "Norm";
        case TileImage::Light:
            return "Light";
        case TileImage::Down:
            return "Down";
        case TileImage::Pass:
            return "Pass";
        case TileImage::Fail:
            return "Fail";
    }
    return {};
}

std::string_view ImageWord(LampImage image) {
    switch (image) {
        case LampImage::Gray:
            return "Gray";
        case LampImage::Yellow:
            return "Yellow";
        case LampImage::Green:
            return "Green";
        case LampImage::Red:
            return "Red";
    }
    return {};
}

std::string_view ImageWord(StatusImage image) {
    switch (image) {
        case StatusImage::Wait:
            return "Wait";
        case StatusImage::Pass:
            return "Pass";
        case StatusImage::Fail:
            return "Fail";
        case StatusImage::Online:
            return "Online";
        case StatusImage::Offline:
            return "Offline";
        case StatusImage::Stopped:
            return "Stopped";
    }
    return {};
}

std::string TileStem(Bar bar, Step step) {
    return ComponentName(BarName(bar), StepName(step), {});
}
std::string FunctionStem(FunctionButton button) {
    return ComponentName("Function", FunctionName(button), {});
}
std::string OrderStem(int unit) {
    return ComponentName(UnitName(unit), "Order", {});
}
std::string LampStem(int unit, int socket) {
    return SocketControlName(unit, "StatusLights", socket, {});
}
std::string StatusStem() {
    return ComponentName("Status", "Result", {});
}
std::string IndicatorImageName(std::string_view stem, std::string_view word) {
    return std::string(stem).append(word).append(kind::kImage);
}

namespace {
std::string Named(std::string stem, std::string_view kind) {
    return stem.append(kind);
}
}  // namespace

std::string TilePanelName(Bar bar, Step step) {
    return Named(TileStem(bar, step), kind::kImagePanel);
}
std::string TileImageName(Bar bar, Step step, TileImage image) {
    return IndicatorImageName(TileStem(bar, step), ImageWord(image));
}
std::string TileClickLabelName(Bar bar, Step step) {
    return Named(TileStem(bar, step), kind::kClickLabel);
}
std::string StepCheckBoxName(Bar bar, Step step) {
    return ComponentName(BarName(bar), StepName(step), kind::kCheckBox);
}

std::string FunctionPanelName(FunctionButton button) {
    return Named(FunctionStem(button), kind::kImagePanel);
}
std::string FunctionImageName(FunctionButton button, TileImage image) {
    return IndicatorImageName(FunctionStem(button), ImageWord(image));
}
std::string FunctionClickLabelName(FunctionButton button) {
    return Named(FunctionStem(button), kind::kClickLabel);
}

std::string OrderPanelName(int unit) {
    return Named(OrderStem(unit), kind::kImagePanel);
}
std::string OrderImageName(int unit, TileImage image) {
    return IndicatorImageName(OrderStem(unit), ImageWord(image));
}
std::string OrderClickLabelName(int unit) {
    return Named(OrderStem(unit), kind::kClickLabel);
}

std::string LampPanelName(int unit, int socket) {
    return Named(LampStem(unit, socket), kind::kImagePanel);
}
std::string LampImageName(int unit, int socket, LampImage image) {
    return IndicatorImageName(LampStem(unit, socket), ImageWord(image));
}

std::string StatusPanelName() {
    return Named(StatusStem(), kind::kImagePanel);
}
std::string StatusImageName(StatusImage image) {
    return IndicatorImageName(StatusStem(), ImageWord(image));
}

std::string ProgressBarName(int unit) {
    return UnitName(unit) + "_ProgressBar";
}

}  // namespace torq
