// The indicators of the main window as data: every image panel (status, socket lamps, step tiles,
// function and order buttons) with its images and which one is shown, the containers of the tab
// area, the progress bars and the checksum fields' colours. The window renders this state and
// forwards mouse events on the click labels; the sequencer and the socket model switch images
// through it; tests read it without a display.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "torq/devlib/Seams.h"
#include "torq/workflow/ControlNames.h"
#include "torq/workflow/ControlTree.h"

namespace torq {

inline constexpr std::string_view kShowOneOfImagesError = "ErrorInfo : ShowOneOfImages()";
inline constexpr std::string_view kShowOneOfControlsError = "ErrorInfo : ShowOneOfControls()";

// How a clickable tile reacts to the mouse.
enum class MouseFamily {
    None,            // not connected to any mouse event
    FunctionButton,  // Read, Edit, Execute All, Detect IC: programmers present and tab 0 or 1
    StepTile,        // the tiles that run a step: programmers present
    OrderButton,     // unit order buttons: programmers present, no hand cursor
    BrowseTile,      // the Load File tiles: a click browses for a work file, whenever the tile
                     // shows; the mouse changes only the cursor, so the tile keeps its state
};
enum class MouseEvent { Enter, Leave, LeftDown, LeftUpInside };
enum class CursorChange { Unchanged, Hand, Default };

struct MouseReaction {
    std::optional<TileImage> image;  // the image to show, if any
    CursorChange cursor = CursorChange::Unchanged;
};

// What one mouse event on a tile of the family does, given ProgrammerCount and the tab index.
MouseReaction ReactToMouse(MouseFamily family, MouseEvent event, int programmerCount, int tabIndex);
// Whether a click on a tile of the family does something now; an idle tile that cannot be used
// is drawn faded.
bool ClickUsable(MouseFamily family, int programmerCount, int tabIndex);
// The socket whose Browse a click on a step tile opens: the tiles of the BrowseTile family (Load
// File) open the Browse of unit 1, socket 1, the socket Ctrl+O browses; other tiles, nothing.
inline constexpr SocketPosition kBrowseShortcutSocket{1, 1};
std::optional<SocketPosition> TileBrowsesSocket(Bar bar, Step step);
// A left button released at (x, y) counts when it is strictly inside the label.
bool IsInsideLabel(int x, int y, int width, int height);

struct Indicator {
    std::string stem;  // the common start of its names: "Programmer_Erase", "Unit1_StatusLights1"
    std::string panel;
    std::vector<std::string> images;  // the panel's images in their fixed order
    std::string clickLabel;           // the transparent click area; empty when there is none
    MouseFamily family = MouseFamily::None;

    // The name of its image with this word: "Programmer_Erase" + "Pass" + "_Image".
    std::string ImageNamed(std::string_view word) const;
};

enum class TextColour { WindowText, Red };
enum class FieldBackground { Normal, White };
// How a checksum field is drawn: red text means "changed since the last good verify".
struct ChecksumLook {
    TextColour text = TextColour::WindowText;
    FieldBackground background = FieldBackground::Normal;
    bool operator==(const ChecksumLook&) const = default;
};

// Told what to repaint.
class IndicatorObserver {
  public:
    virtual ~IndicatorObserver() = default;
    // The visibility of the container's children (for an image panel: its shown image) changed.
    virtual void VisibilityChanged(std::string_view /*container*/) {}
    virtual void ProgressChanged(int /*unit*/, int /*value*/) {}
    virtual void ChecksumLookChanged(int /*socketIndex*/, ChecksumLook /*look*/) {}
};

class IndicatorBoard {
  public:
    // Errors of the switching helpers are told through the operator. Every indicator starts on
    // its idle image (tiles and buttons Norm, lamps Gray, status Offline).
    explicit IndicatorBoard(Operator& op);

    void SetObserver(IndicatorObserver* observer) { observer_ = observer; }

    const ControlTree& Controls() const { return tree_; }
    const std::vector<Indicator>& Indicators() const { return indicators_; }
    // The indicator whose panel or click label has this name.
    const Indicator* FindIndicator(std::string_view panelOrLabel) const;

    // Shows every child of the panel named `image`; with hideOthers hides every other child
    // except the click labels. A name that is not a panel tells kShowOneOfImagesError and changes
    // nothing.
    void ShowOneOfImages(std::string_view panel, std::string_view image, bool hideOthers);
    // The same for a tab control or a panel; returns the name of the control shown, empty when
    // the container has no such child or is of another kind (which tells
    // kShowOneOfControlsError).
    std::string ShowOneOfControls(std::string_view container, std::string_view control,
                                  bool hideOthers);
    // Sets one control's own visibility (layout: unit panels, socket-2 panels). False when there
    // is no such control.
    bool SetVisible(std::string_view name, bool visible);
    bool IsVisible(std::string_view name) const;
    // The first visible image of a panel; empty when none is visible or there is no such panel.
    std::string ShownImage(std::string_view panel) const;

    // The switches the workflow uses; each hides the panel's other images.
    void ShowTile(Bar bar, Step step, TileImage image);
    void ShowFunction(FunctionButton button, TileImage image);
    void ShowOrder(int unit, TileImage image);
    void ShowLamp(int unit, int socket, LampImage image);
    void ShowStatus(StatusImage image);

    // Every indicator back to idle. Keeping the file steps (everything but start-up): the Watch
    // and Load File tiles and the function buttons stay as they are, and the status panel goes to
    // Online when programmers are present (else it stays as it is).
    void ResetIndicators(bool keepFileSteps, int programmerCount);

    // The function and order buttons that can no longer act (no programmer, another tab) go from
    // their hover or pressed image back to Norm, so that a button the mouse is still over does
    // not look as if a click would run.
    void RestButtonsThatCannotAct(int programmerCount, int tabIndex);

    // A mouse event on a click label: switches the tile's image as its family says and returns
    // what to do with the cursor. Unknown labels do nothing.
    CursorChange Mouse(std::string_view clickLabel, MouseEvent event, int programmerCount,
                       int tabIndex);

    // The unit's progress bar, 0 to 100; values outside are clamped.
    int Progress(int unit) const;
    void SetProgress(int unit, int value);
    void AdvanceProgress(int unit, int amount);

    ChecksumLook ChecksumLookOf(int socketIndex) const;
    void SetChecksumLook(int socketIndex, ChecksumLook look);

  private:
    void Build();
    void AddIndicator(ControlId parent, Indicator indicator, std::size_t idleImage);
    void Notify(std::string_view container);

    Operator& op_;
    IndicatorObserver* observer_ = nullptr;
    ControlTree tree_;
    std::vector<Indicator> indicators_;
    std::array<int, kUnitCount> progress_{};
    std::array<ChecksumLook, kSocketCount> checksumLooks_{};
};

}  // namespace torq
