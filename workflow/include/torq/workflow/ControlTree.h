// A small tree of named controls and their own visibility flags: the state the window renders.
// The window builds its widgets with the same names and shows a widget exactly when its node is
// visible here.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torq {

enum class ControlKind { Panel, TabControl, Image, Label };

using ControlId = std::size_t;

struct ControlNode {
    std::string name;
    ControlKind kind = ControlKind::Panel;
    bool visible = true;
    std::optional<ControlId> parent;
    std::vector<ControlId> children;
};

class ControlTree {
  public:
    // The root is the main window itself, named "MainForm".
    ControlTree();

    static constexpr ControlId kRoot = 0;

    // Adds a child; the name must not be in the tree yet (the first one found keeps it).
    ControlId Add(ControlId parent, std::string name, ControlKind kind, bool visible = true);
    std::optional<ControlId> Find(std::string_view name) const;
    const ControlNode& Node(ControlId id) const { return nodes_[id]; }
    std::size_t Size() const { return nodes_.size(); }

    // True when the flag changed.
    bool SetVisible(ControlId id, bool visible);
    // The control and all its parents are visible.
    bool IsShowing(ControlId id) const;

  private:
    std::vector<ControlNode> nodes_;
    std::map<std::string, ControlId, std::less<>> byName_;
};

}  // namespace torq
