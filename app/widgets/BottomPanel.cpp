#include "widgets/BottomPanel.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>

#include "widgets/StatusPanel.h"
#include "widgets/Theme.h"
#include "widgets/Tile.h"

namespace torq::app {

namespace {

struct FunctionLook {
    FunctionButton button;
    const char* pictogram;
    const char* caption;
    TileSize size;
    QKeySequence keys;  // empty: hidden, no shortcut
};

// On screen from left to right; Save and Option stay hidden in this release.
const FunctionLook kFunctionLooks[] = {
    {FunctionButton::Read, "read", "Read", TileSize::Step, QKeySequence(Qt::Key_F6)},
    {FunctionButton::Edit, "edit", "Edit", TileSize::Step, QKeySequence(Qt::Key_F7)},
    {FunctionButton::LookIC, "detect", "Detect IC", TileSize::Step, QKeySequence(Qt::Key_F8)},
    {FunctionButton::Save, "save", "Save", TileSize::Step, QKeySequence()},
    {FunctionButton::Option, "options", "Options", TileSize::Step, QKeySequence()},
    {FunctionButton::ExecuteAll, "execute", "Execute All", TileSize::Primary,
     QKeySequence(Qt::Key_F5)},
};

const char* HintOf(FunctionButton button) {
    switch (button) {
        case FunctionButton::Read:
            return "Read: the chip into the buffer";
        case FunctionButton::Edit:
            return "Edit: the buffer in the hex editor";
        case FunctionButton::LookIC:
            return "Detect IC: find the chip in the device library";
        case FunctionButton::ExecuteAll:
            return "Execute All: every ticked step";
        default:
            return "";
    }
}

}  // namespace

BottomPanel::BottomPanel(const IndicatorBoard& board, QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromStdString(std::string(control::kBottomPanel)));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(theme::kGrid);
    for (const FunctionLook& look : kFunctionLooks) {
        const Indicator* indicator = board.FindIndicator(FunctionPanelName(look.button));
        if (indicator == nullptr)
            continue;
        auto* tile = new Tile(
            *indicator,
            {QString::fromLatin1(look.pictogram), QString::fromLatin1(look.caption), look.size},
            this);
        buttons_[look.button] = tile;
        if (look.keys.isEmpty()) {
            tile->hide();
            continue;
        }
        auto* shortcut = new QShortcut(look.keys, tile);
        if (tile->Label() != nullptr)
            connect(shortcut, &QShortcut::activated, tile->Label(), &ClickLabel::Activate);
        tile->SetHint(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(HintOf(look.button)),
                                                    look.keys.toString(QKeySequence::NativeText)));
        const FunctionButton button = look.button;
        connect(tile, &Tile::Clicked, this, [this, button] { emit FunctionClicked(button); });
        if (look.size == TileSize::Primary) {
            row->addStretch(1);
            // Ends a run before each unit's next block or step; shown only while a run is under
            // way.
            stop_ = new QPushButton(QStringLiteral("Stop"), this);
            stop_->setObjectName(QStringLiteral("Function_Stop_Button"));
            stop_->setToolTip(QStringLiteral("Stop the run after the step under way (Esc)"));
            stop_->setMinimumWidth(tile->sizeHint().width() / 2);
            stop_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
            stop_->hide();
            connect(stop_, &QPushButton::clicked, this, &BottomPanel::StopClicked);
            row->addWidget(stop_);
        }
        row->addWidget(tile);
    }
    if (const Indicator* status = board.FindIndicator(StatusPanelName())) {
        status_ = new StatusPanel(*status, this);
        row->addWidget(status_, 2);
    }
}

Tile* BottomPanel::Button(FunctionButton button) const {
    const auto found = buttons_.find(button);
    return found == buttons_.end() ? nullptr : found->second;
}

}  // namespace torq::app
