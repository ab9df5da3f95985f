#include "torq/workflow/ControlTree.h"

namespace torq {

ControlTree::ControlTree() {
    nodes_.push_back({"MainForm", ControlKind::Panel, true, std::nullopt, {}});
    byName_.emplace(nodes_.front().name, kRoot);
}

ControlId ControlTree::Add(ControlId parent, std::string name, ControlKind kind, bool visible) {
    const ControlId id = nodes_.size();
    byName_.emplace(name, id);
    nodes_.push_back({std::move(name), kind, visible, parent, {}});
    nodes_[parent].children.push_back(id);
    return id;
}

std::optional<ControlId> ControlTree::Find(std::string_view name) const {
    const auto found = byName_.find(name);
    if (found == byName_.end())
        return std::nullopt;
    return found->second;
}

bool ControlTree::SetVisible(ControlId id, bool visible) {
    if (nodes_[id].visible == visible)
        return false;
    nodes_[id].visible = visible;
    return true;
}

bool ControlTree::IsShowing(ControlId id) const {
    for (std::optional<ControlId> at = id; at; at = nodes_[*at].parent) {
        if (!nodes_[*at].visible)
            return false;
    }
    return true;
}

}  // namespace torq
