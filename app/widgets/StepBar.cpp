#include "widgets/StepBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QShortcut>

#include "torq/workflow/StepTable.h"
#include "widgets/Theme.h"
#include "widgets/Tile.h"

namespace torq::app {

namespace {

constexpr Step kAllSteps[] = {Step::Watch,   Step::LoadFile, Step::Erase,   Step::Check,
                              Step::Program, Step::Verify,   Step::Protect, Step::Reset};

// What an idle tile that runs nothing stands for.
QString IndicatorHint(Step step) {
    switch (step) {
        case Step::Watch:
            return QStringLiteral("Watch: reloads the work file when it changes (tick the box)");
        default:
            return QStringLiteral("%1: a step of Execute All (tick the box to include it)")
                .arg(QString::fromLatin1(LookOfStep(step).title));
    }
}

}  // namespace

StepLook LookOfStep(Step step) {
    const StepRow& row = StepRowOf(step);
    return {row.pictogram.data(), row.caption.data(), row.title.data()};
}

StepBar::StepBar(Bar bar, const IndicatorBoard& board, QWidget* parent)
    : QWidget(parent), bar_(bar) {
    setObjectName(QString::fromStdString(
        std::string(bar == Bar::Emulator ? control::kEmulatorPanel : control::kProgrammerPanel)));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(theme::kGrid);
    int position = 0;
    for (const Step step : kAllSteps) {
        const Indicator* indicator = board.FindIndicator(TilePanelName(bar, step));
        if (indicator == nullptr)
            continue;
        ++position;
        const StepLook look = LookOfStep(step);
        auto* tile = new Tile(*indicator,
                              {QString::fromLatin1(look.pictogram),
                               QString::fromLatin1(look.caption), TileSize::Step},
                              this);
        auto* box = new QCheckBox(tile);
        box->setObjectName(QString::fromStdString(StepCheckBoxName(bar, step)));
        box->setToolTip(
            step == Step::Watch
                ? QStringLiteral("Watch the work file")
                : QStringLiteral("Include %1 in Execute All").arg(QString::fromLatin1(look.title)));
        box->setAccessibleName(QString::fromLatin1(look.title));
        tile->SetCornerWidget(box);
        if (TileBrowsesSocket(bar, step)) {
            // Browses as Ctrl+O does; no shortcut of its own.
            tile->SetHint(
                QStringLiteral("Load File: choose a work file for socket #%1 and load "
                               "it (%2); lit when a work file is loaded")
                    .arg(kBrowseShortcutSocket.socket)
                    .arg(QKeySequence(QKeySequence::Open).toString(QKeySequence::NativeText)));
        } else if (tile->Clickable()) {
            // Ctrl + the tile's place in the bar; the shortcut is live only while its bar shows.
            const QKeySequence keys(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_0 + position));
            auto* shortcut = new QShortcut(keys, tile);
            connect(shortcut, &QShortcut::activated, tile->Label(), &ClickLabel::Activate);
            tile->SetHint(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(look.title),
                                                        keys.toString(QKeySequence::NativeText)));
        } else {
            tile->SetHint(IndicatorHint(step));
        }
        connect(tile, &Tile::Clicked, this, [this, step] { emit TileClicked(bar_, step); });
        connect(box, &QCheckBox::clicked, this,
                [this, step](bool checked) { emit StepToggled(bar_, step, checked); });
        tiles_[step] = tile;
        boxes_[step] = box;
        row->addWidget(tile);
    }
    row->addStretch(1);
    if (bar == Bar::Emulator) {
        // "SPI device on user target board": the emulator takes its power from the target.
        targetBoard_ = new QCheckBox(this);
        targetBoard_->setObjectName(QStringLiteral("UserTargetBoard_CheckBox"));
        auto* label = new QLabel(QStringLiteral("SPI device on \nuser target \nboard"), this);
        label->setObjectName(QStringLiteral("UserTargetBoard_Label"));
        label->setBuddy(targetBoard_);
        targetBoard_->setAccessibleName(QStringLiteral("SPI device on user target board"));
        targetBoard_->setToolTip(
            QStringLiteral("The emulator is powered by the target board, not by the programmer"));
        row->addWidget(targetBoard_);
        row->addWidget(label);
        connect(targetBoard_, &QCheckBox::clicked, this, &StepBar::TargetBoardToggled);
    }
}

void StepBar::AddAside(QWidget* widget) {
    auto* row = static_cast<QHBoxLayout*>(layout());
    for (const auto& [step, tile] : tiles_)
        row->setAlignment(tile, Qt::AlignTop);
    row->addWidget(widget, 0, Qt::AlignTop);
}

Tile* StepBar::TileOf(Step step) const {
    const auto found = tiles_.find(step);
    return found == tiles_.end() ? nullptr : found->second;
}

QCheckBox* StepBar::CheckBoxOf(Step step) const {
    const auto found = boxes_.find(step);
    return found == boxes_.end() ? nullptr : found->second;
}

}  // namespace torq::app
