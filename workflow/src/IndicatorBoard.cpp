#include "torq/workflow/IndicatorBoard.h"

#include <algorithm>
#include <initializer_list>

#include "torq/devlib/Text.h"
#include "torq/workflow/StepTable.h"

namespace torq {

namespace {

constexpr int kProgressMaximum = 100;

constexpr std::initializer_list<TileImage> kAllTileImages = {
    TileImage::Norm, TileImage::Light, TileImage::Down, TileImage::Pass, TileImage::Fail};
// Watch and Reset tiles have no Fail image; function and order buttons only react to the mouse.
constexpr std::initializer_list<TileImage> kTileImagesWithoutFail = {
    TileImage::Norm, TileImage::Light, TileImage::Down, TileImage::Pass};
constexpr std::initializer_list<TileImage> kButtonImages = {TileImage::Norm, TileImage::Light,
                                                            TileImage::Down};

// What a tile shows and how it takes the mouse: the Load File tiles browse, the tiles with an
// operation of their own run it, the others only light up.
const std::initializer_list<TileImage>& TileImagesOf(const StepRow& row) {
    return row.step == Step::Watch || row.step == Step::Reset ? kTileImagesWithoutFail
                                                              : kAllTileImages;
}
MouseFamily TileFamilyOf(const StepRow& row) {
    if (row.step == Step::LoadFile)
        return MouseFamily::BrowseTile;
    return row.tileRuns ? MouseFamily::StepTile : MouseFamily::None;
}

struct FunctionRow {
    FunctionButton button;
    MouseFamily family;
};
// Save and Option stay hidden and have no handler.
constexpr FunctionRow kFunctions[] = {
    {FunctionButton::Read, MouseFamily::FunctionButton},
    {FunctionButton::Edit, MouseFamily::FunctionButton},
    {FunctionButton::Save, MouseFamily::None},
    {FunctionButton::Option, MouseFamily::None},
    {FunctionButton::ExecuteAll, MouseFamily::FunctionButton},
    {FunctionButton::LookIC, MouseFamily::FunctionButton},
};

constexpr LampImage kLampImages[] = {LampImage::Gray, LampImage::Yellow, LampImage::Green,
                                     LampImage::Red};
constexpr StatusImage kStatusImages[] = {StatusImage::Wait,    StatusImage::Pass,
                                         StatusImage::Fail,    StatusImage::Online,
                                         StatusImage::Offline, StatusImage::Stopped};
// Offline until programmers are found.
constexpr std::size_t kStatusIdleImage = 4;

constexpr FunctionButton kResetFunctions[] = {FunctionButton::Read, FunctionButton::Edit,
                                              FunctionButton::Save, FunctionButton::Option,
                                              FunctionButton::ExecuteAll};

bool ValidUnit(int unit) {
    return unit >= 1 && unit <= kUnitCount;
}
bool ValidSocketIndex(int index) {
    return index >= 0 && index < kSocketCount;
}

}  // namespace

std::string Indicator::ImageNamed(std::string_view word) const {
    return IndicatorImageName(stem, word);
}

MouseReaction ReactToMouse(MouseFamily family, MouseEvent event, int programmerCount,
                           int tabIndex) {
    if (family == MouseFamily::None)
        return {};
    if (family == MouseFamily::BrowseTile) {
        // Its image says whether a work file is loaded: the mouse must not replace it.
        if (event == MouseEvent::Enter)
            return {std::nullopt, CursorChange::Hand};
        if (event == MouseEvent::Leave)
            return {std::nullopt, CursorChange::Default};
        return {};
    }
    const bool handCursor = family != MouseFamily::OrderButton;
    if (event == MouseEvent::Leave)
        return {TileImage::Norm, handCursor ? CursorChange::Default : CursorChange::Unchanged};

    bool active = programmerCount != 0;
    if (family == MouseFamily::FunctionButton)
        active = active && (tabIndex == 0 || tabIndex == 1);
    if (!active)
        return {};
    switch (event) {
        case MouseEvent::Enter:
            return {TileImage::Light, handCursor ? CursorChange::Hand : CursorChange::Unchanged};
        case MouseEvent::LeftDown:
            return {TileImage::Down, CursorChange::Unchanged};
        case MouseEvent::LeftUpInside:
            return {TileImage::Light, CursorChange::Unchanged};
        case MouseEvent::Leave:
            break;
    }
    return {};
}

bool ClickUsable(MouseFamily family, int programmerCount, int tabIndex) {
    if (family == MouseFamily::BrowseTile)
        return true;
    return ReactToMouse(family, MouseEvent::Enter, programmerCount, tabIndex).image.has_value();
}

std::optional<SocketPosition> TileBrowsesSocket(Bar bar, Step step) {
    const StepRow* row = FindStepRow(bar, step);
    if (row != nullptr && TileFamilyOf(*row) == MouseFamily::BrowseTile)
        return kBrowseShortcutSocket;
    return std::nullopt;
}

bool IsInsideLabel(int x, int y, int width, int height) {
    return x > 0 && x < width && y > 0 && y < height;
}

IndicatorBoard::IndicatorBoard(Operator& op) : op_(op) {
    Build();
}

namespace {
template <typename Images>
Indicator MakeIndicator(std::string stem, const Images& images, bool clickable,
                        MouseFamily family) {
    Indicator indicator;
    indicator.panel = stem + std::string(kind::kImagePanel);
    for (const auto image : images)
        indicator.images.push_back(IndicatorImageName(stem, ImageWord(image)));
    if (clickable)
        indicator.clickLabel = stem + std::string(kind::kClickLabel);
    indicator.family = family;
    indicator.stem = std::move(stem);
    return indicator;
}
}  // namespace

void IndicatorBoard::AddIndicator(ControlId parent, Indicator indicator, std::size_t idleImage) {
    const ControlId panel = tree_.Add(parent, indicator.panel, ControlKind::Panel);
    for (std::size_t i = 0; i < indicator.images.size(); ++i)
        tree_.Add(panel, indicator.images[i], ControlKind::Image, i == idleImage);
    if (!indicator.clickLabel.empty())
        tree_.Add(panel, indicator.clickLabel, ControlKind::Label);
    indicators_.push_back(std::move(indicator));
}

void IndicatorBoard::Build() {
    using namespace control;
    const auto add = [this](ControlId parent, std::string_view name,
                            ControlKind kind = ControlKind::Panel) {
        return tree_.Add(parent, std::string(name), kind);
    };
    const ControlId tabs = add(ControlTree::kRoot, kMenuTabControl, ControlKind::TabControl);
    const ControlId operation = add(tabs, kOperationPanel);
    add(tabs, kPremiumPanel);
    add(tabs, kOptionsPanel);
    const ControlId top = add(operation, kOperationTopPanel);
    const ControlId emulatorBar = add(top, kEmulatorPanel);
    const ControlId programmerBar = add(top, kProgrammerPanel);
    // Every tile has a click label, also those whose click does nothing.
    for (const StepRow& row : kStepRows) {
        AddIndicator(
            row.bar == Bar::Emulator ? emulatorBar : programmerBar,
            MakeIndicator(TileStem(row.bar, row.step), TileImagesOf(row), true, TileFamilyOf(row)),
            0);
    }

    const ControlId unitArea = add(operation, kOperationBottomPanel);
    for (int unit = 1; unit <= kUnitCount; ++unit) {
        const ControlId unitPanel = add(unitArea, UnitPanelName(unit));
        AddIndicator(unitPanel,
                     MakeIndicator(OrderStem(unit), kButtonImages, true, MouseFamily::OrderButton),
                     0);
        for (int socket = 1; socket <= kSocketsPerUnit; ++socket) {
            const ControlId socketPanel =
                add(unitPanel, SocketControlName(unit, "Socket", socket, kind::kPanel));
            AddIndicator(
                socketPanel,
                MakeIndicator(LampStem(unit, socket), kLampImages, false, MouseFamily::None), 0);
        }
    }

    const ControlId bottom = add(ControlTree::kRoot, kBottomPanel);
    AddIndicator(bottom, MakeIndicator(StatusStem(), kStatusImages, false, MouseFamily::None),
                 kStatusIdleImage);
    for (const FunctionRow& row : kFunctions) {
        AddIndicator(bottom,
                     MakeIndicator(FunctionStem(row.button), kButtonImages, true, row.family), 0);
    }
    add(ControlTree::kRoot, kInfoMessagePanel);
}

const Indicator* IndicatorBoard::FindIndicator(std::string_view name) const {
    const auto found = std::find_if(indicators_.begin(), indicators_.end(), [&](const auto& i) {
        return i.panel == name || (!i.clickLabel.empty() && i.clickLabel == name);
    });
    return found == indicators_.end() ? nullptr : &*found;
}

void IndicatorBoard::Notify(std::string_view container) {
    if (observer_ != nullptr)
        observer_->VisibilityChanged(container);
}

void IndicatorBoard::ShowOneOfImages(std::string_view panel, std::string_view image,
                                     bool hideOthers) {
    const std::optional<ControlId> id = tree_.Find(panel);
    if (!id || tree_.Node(*id).kind != ControlKind::Panel) {
        op_.Tell(Severity::Plain, kShowOneOfImagesError);
        return;
    }
    bool changed = false;
    for (const ControlId child : tree_.Node(*id).children) {
        const ControlNode& node = tree_.Node(child);
        if (node.name == image)
            changed |= tree_.SetVisible(child, true);
        else if (hideOthers && !Contains(node.name, kind::kClickLabel))
            changed |= tree_.SetVisible(child, false);
    }
    if (changed)
        Notify(panel);
}

std::string IndicatorBoard::ShowOneOfControls(std::string_view container, std::string_view control,
                                              bool hideOthers) {
    const std::optional<ControlId> id = tree_.Find(container);
    if (!id || (tree_.Node(*id).kind != ControlKind::Panel &&
                tree_.Node(*id).kind != ControlKind::TabControl)) {
        op_.Tell(Severity::Plain, kShowOneOfControlsError);
        return {};
    }
    std::string shown;
    bool changed = false;
    for (const ControlId child : tree_.Node(*id).children) {
        const ControlNode& node = tree_.Node(child);
        if (node.name == control) {
            changed |= tree_.SetVisible(child, true);
            shown = node.name;
        } else if (hideOthers && !Contains(node.name, kind::kClickLabel)) {
            changed |= tree_.SetVisible(child, false);
        }
    }
    if (changed)
        Notify(container);
    return shown;
}

bool IndicatorBoard::SetVisible(std::string_view name, bool visible) {
    const std::optional<ControlId> id = tree_.Find(name);
    if (!id)
        return false;
    if (tree_.SetVisible(*id, visible))
        Notify(tree_.Node(*tree_.Node(*id).parent).name);
    return true;
}

bool IndicatorBoard::IsVisible(std::string_view name) const {
    const std::optional<ControlId> id = tree_.Find(name);
    return id && tree_.Node(*id).visible;
}

std::string IndicatorBoard::ShownImage(std::string_view panel) const {
    const std::optional<ControlId> id = tree_.Find(panel);
    if (!id)
        return {};
    for (const ControlId child : tree_.Node(*id).children) {
        const ControlNode& node = tree_.Node(child);
        if (node.kind == ControlKind::Image && node.visible)
            return node.name;
    }
    return {};
}

void IndicatorBoard::ShowTile(Bar bar, Step step, TileImage image) {
    ShowOneOfImages(TilePanelName(bar, step), TileImageName(bar, step, image), true);
}

void IndicatorBoard::ShowFunction(FunctionButton button, TileImage image) {
    ShowOneOfImages(FunctionPanelName(button), FunctionImageName(button, image), true);
}

void IndicatorBoard::ShowOrder(int unit, TileImage image) {
    ShowOneOfImages(OrderPanelName(unit), OrderImageName(unit, image), true);
}

void IndicatorBoard::ShowLamp(int unit, int socket, LampImage image) {
    ShowOneOfImages(LampPanelName(unit, socket), LampImageName(unit, socket, image), true);
}

void IndicatorBoard::ShowStatus(StatusImage image) {
    ShowOneOfImages(StatusPanelName(), StatusImageName(image), true);
}

void IndicatorBoard::ResetIndicators(bool keepFileSteps, int programmerCount) {
    for (int unit = 1; unit <= kUnitCount; ++unit)
        ShowOrder(unit, TileImage::Norm);
    for (int index = 0; index < kSocketCount; ++index) {
        const SocketPosition at = SocketAtIndex(index);
        ShowLamp(at.unit, at.socket, LampImage::Gray);
    }
    // The tiles of the run steps at every reset; the Watch and Load File tiles only at start-up.
    for (const StepRow& row : kStepRows) {
        if (row.operation)
            ShowTile(row.bar, row.step, TileImage::Norm);
    }

    if (keepFileSteps) {
        if (programmerCount != 0)
            ShowStatus(StatusImage::Online);
        return;
    }
    ShowStatus(StatusImage::Offline);
    for (const FunctionButton button : kResetFunctions)
        ShowFunction(button, TileImage::Norm);
    for (const StepRow& row : kStepRows) {
        if (!row.operation)
            ShowTile(row.bar, row.step, TileImage::Norm);
    }
}

void IndicatorBoard::RestButtonsThatCannotAct(int programmerCount, int tabIndex) {
    for (const Indicator& indicator : indicators_) {
        // A step tile's Light may be a result (the Reset tile has no Fail image): only the
        // buttons, whose Light and Down answer the mouse alone, are rested.
        if (indicator.family != MouseFamily::FunctionButton &&
            indicator.family != MouseFamily::OrderButton) {
            continue;
        }
        if (ReactToMouse(indicator.family, MouseEvent::Enter, programmerCount, tabIndex).image)
            continue;
        const std::string shown = ShownImage(indicator.panel);
        if (shown == indicator.ImageNamed(ImageWord(TileImage::Light)) ||
            shown == indicator.ImageNamed(ImageWord(TileImage::Down))) {
            ShowOneOfImages(indicator.panel, indicator.ImageNamed(ImageWord(TileImage::Norm)),
                            true);
        }
    }
}

CursorChange IndicatorBoard::Mouse(std::string_view clickLabel, MouseEvent event,
                                   int programmerCount, int tabIndex) {
    const Indicator* indicator = FindIndicator(clickLabel);
    if (indicator == nullptr || indicator->clickLabel != clickLabel)
        return CursorChange::Unchanged;
    const MouseReaction reaction =
        ReactToMouse(indicator->family, event, programmerCount, tabIndex);
    if (reaction.image)
        ShowOneOfImages(indicator->panel, indicator->ImageNamed(ImageWord(*reaction.image)), true);
    return reaction.cursor;
}

int IndicatorBoard::Progress(int unit) const {
    return ValidUnit(unit) ? progress_[static_cast<std::size_t>(unit - 1)] : 0;
}

void IndicatorBoard::SetProgress(int unit, int value) {
    if (!ValidUnit(unit))
        return;
    value = std::clamp(value, 0, kProgressMaximum);
    int& stored = progress_[static_cast<std::size_t>(unit - 1)];
    if (stored == value)
        return;
    stored = value;
    if (observer_ != nullptr)
        observer_->ProgressChanged(unit, value);
}

void IndicatorBoard::AdvanceProgress(int unit, int amount) {
    // Summed in 64 bits so an absurd amount cannot overflow before the clamp.
    const long long sum = static_cast<long long>(Progress(unit)) + amount;
    SetProgress(unit, static_cast<int>(std::clamp<long long>(sum, 0, kProgressMaximum)));
}

ChecksumLook IndicatorBoard::ChecksumLookOf(int socketIndex) const {
    return ValidSocketIndex(socketIndex) ? checksumLooks_[static_cast<std::size_t>(socketIndex)]
                                         : ChecksumLook{};
}

void IndicatorBoard::SetChecksumLook(int socketIndex, ChecksumLook look) {
    if (!ValidSocketIndex(socketIndex))
        return;
    ChecksumLook& stored = checksumLooks_[static_cast<std::size_t>(socketIndex)];
    if (stored == look)
        return;
    stored = look;
    if (observer_ != nullptr)
        observer_->ChecksumLookChanged(socketIndex, look);
}

}  // namespace torq
