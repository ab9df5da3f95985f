#include "controllers/IndicatorController.h"

namespace torq::app {

IndicatorController::IndicatorController(IndicatorBoard& board, QWidget& window, Targets targets)
    : board_(board), window_(window), targets_(std::move(targets)) {
    board_.SetObserver(this);
}

IndicatorController::~IndicatorController() {
    board_.SetObserver(nullptr);
}

QWidget* IndicatorController::WidgetNamed(const std::string& name) {
    const QString key = QString::fromStdString(name);
    if (const auto found = widgets_.constFind(key); found != widgets_.constEnd() && *found)
        return *found;
    QWidget* widget = window_.objectName() == key ? &window_ : window_.findChild<QWidget*>(key);
    widgets_.insert(key, widget);
    return widget;
}

void IndicatorController::Apply(ControlId id) {
    const ControlNode& node = board_.Controls().Node(id);
    if (QWidget* widget = WidgetNamed(node.name); widget != nullptr && widget != &window_) {
        // Shown and hidden by the flag alone, so a widget whose parent is hidden keeps its state.
        if (widget->isHidden() == node.visible)
            widget->setVisible(node.visible);
    }
}

void IndicatorController::SyncAll() {
    const ControlTree& tree = board_.Controls();
    for (ControlId id = 0; id < tree.Size(); ++id) {
        if (id != ControlTree::kRoot)
            Apply(id);
    }
    for (int unit = 1; unit <= kUnitCount; ++unit)
        ProgressChanged(unit, board_.Progress(unit));
    for (int index = 0; index < kSocketCount; ++index)
        ChecksumLookChanged(index, board_.ChecksumLookOf(index));
    for (ControlId id = 0; id < tree.Size(); ++id) {
        if (targets_.shown)
            targets_.shown(tree.Node(id).name);
    }
}

void IndicatorController::VisibilityChanged(std::string_view container) {
    const auto id = board_.Controls().Find(container);
    if (!id)
        return;
    for (const ControlId child : board_.Controls().Node(*id).children)
        Apply(child);
    if (targets_.shown)
        targets_.shown(container);
}

void IndicatorController::ProgressChanged(int unit, int value) {
    if (targets_.progress)
        targets_.progress(unit, value);
}

void IndicatorController::ChecksumLookChanged(int socketIndex, ChecksumLook look) {
    if (targets_.checksumLook)
        targets_.checksumLook(socketIndex, look);
}

}  // namespace torq::app
