#include "widgets/UnitPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "widgets/SocketPanel.h"
#include "widgets/Theme.h"
#include "widgets/Tile.h"

namespace torq::app {

namespace {

// Puts the items into a box when they changed and selects `current` (nothing when absent).
void ShowItems(QComboBox* box, const std::vector<std::string>& items, const std::string& current) {
    const QSignalBlocker block(box);
    bool same = box->count() == static_cast<int>(items.size());
    for (int i = 0; same && i < box->count(); ++i)
        same = box->itemText(i).toStdString() == items[static_cast<std::size_t>(i)];
    if (!same) {
        box->clear();
        for (const auto& item : items)
            box->addItem(QString::fromStdString(item));
    }
    box->setCurrentIndex(box->findText(QString::fromStdString(current), Qt::MatchExactly));
}

}  // namespace

UnitPanel::UnitPanel(int unit, const IndicatorBoard& board, QWidget* parent)
    : QFrame(parent), unit_(unit) {
    setObjectName(QString::fromStdString(UnitPanelName(unit)));
    setFrameShape(QFrame::StyledPanel);
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column_ = column;
    column->setContentsMargins(2 * theme::kGrid, theme::kGrid, 2 * theme::kGrid, theme::kGrid);
    column->setSpacing(theme::kGrid / 2);

    auto* header = new QHBoxLayout;
    header_ = header;
    header->setSpacing(theme::kGrid);
    auto* title = new QLabel(QStringLiteral("Unit %1").arg(unit), this);
    title->setFont(theme::ScaledFont(font(), 1.15, QFont::Bold));
    // The unit-level box has no function; it exists, hidden, as every unit's controls do.
    auto* unitBox = new QCheckBox(this);
    unitBox->setObjectName(QStringLiteral("Unit%1_Enable_CheckBox").arg(unit));
    unitBox->hide();

    const auto name = [unit](std::string_view item) {
        return QString::fromStdString(ComponentName(UnitName(unit), item, kind::kComboBox));
    };
    vendor_ = new QComboBox(this);
    vendor_->setObjectName(name("Vendor"));
    vendor_->setMinimumContentsLength(12);
    vendor_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    type_ = new QComboBox(this);
    type_->setObjectName(name("Type"));
    type_->setMinimumContentsLength(16);
    type_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* vendorLabel = new QLabel(QStringLiteral("&Vendor"), this);
    vendorLabel->setBuddy(vendor_);
    auto* typeLabel = new QLabel(QStringLiteral("&Type"), this);
    typeLabel->setBuddy(type_);
    if (unit != 1) {
        // The mnemonics belong to the unit the operator works with.
        vendorLabel->setText(QStringLiteral("Vendor"));
        typeLabel->setText(QStringLiteral("Type"));
    }

    header->addWidget(title);
    header->addSpacing(theme::kGrid);
    header->addWidget(vendorLabel);
    header->addWidget(vendor_);
    header->addWidget(typeLabel);
    header->addWidget(type_);
    if (const Indicator* order = board.FindIndicator(OrderPanelName(unit))) {
        order_ = new Tile(
            *order, {QStringLiteral("identify"), QStringLiteral("Identify"), TileSize::Compact},
            this);
        order_->SetHint(
            QStringLiteral("Identify: the programmer of unit %1 shows itself").arg(unit));
        header->addWidget(order_);
    }
    headerStretch_ = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
    header->addSpacerItem(headerStretch_);
    header->addWidget(unitBox);
    column->addLayout(header);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QString::fromStdString(ProgressBarName(unit)));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(true);
    progress_->setAlignment(Qt::AlignCenter);
    progress_->setFormat(QStringLiteral("%p%"));
    progress_->setMinimumHeight(3 * theme::kGrid);
    column->addWidget(progress_);

    for (int socket = 1; socket <= kSocketsPerUnit; ++socket) {
        auto* panel = new SocketPanel(unit, socket, board, this);
        sockets_[static_cast<std::size_t>(socket - 1)] = panel;
        column->addWidget(panel);
        connect(panel, &SocketPanel::FileDropped, this, &UnitPanel::FileDropped);
    }

    connect(vendor_, &QComboBox::activated, this,
            [this](int index) { emit VendorChosen(unit_, vendor_->itemText(index)); });
    connect(type_, &QComboBox::activated, this,
            [this](int index) { emit TypeChosen(unit_, type_->itemText(index)); });
}

void UnitPanel::Show(const std::vector<std::string>& vendors, const std::vector<std::string>& types,
                     const UnitState& state, bool mirrorsUnit1) {
    ShowItems(vendor_, vendors, state.vendor);
    ShowItems(type_, types, state.type);
    for (int socket = 1; socket <= kSocketsPerUnit; ++socket)
        Socket(socket)->Show(state.sockets[static_cast<std::size_t>(socket - 1)]);
    if (mirrorsUnit1 != mirrorsUnit1_) {
        mirrorsUnit1_ = mirrorsUnit1;
        Arrange(mirrorsUnit1);
        const QString tip = mirrorsUnit1 ? tr("Programs unit 1's device and buffer") : QString();
        vendor_->setToolTip(tip);
        type_->setToolTip(tip);
        UpdateEnabled();
    }
}

void UnitPanel::SetProgress(int value) {
    progress_->setValue(value);
}

void UnitPanel::SetProgressText(const QString& text) {
    // The text carries the step's own progress; the bar's length is the unit's share of the run.
    progress_->setFormat(text.isEmpty() ? QStringLiteral("%p%") : text);
}

void UnitPanel::SetLocked(bool locked) {
    locked_ = locked;
    if (order_ != nullptr)
        order_->SetLocked(locked);
    UpdateEnabled();
}

void UnitPanel::Arrange(bool compact) {
    SocketPanel* first = Socket(1);
    column_->removeWidget(progress_);
    column_->removeWidget(first);
    header_->removeWidget(progress_);
    header_->removeWidget(first);
    first->SetCompact(compact);
    if (compact) {
        // After the type box: the socket's box, the bar (taking the room), its checksum and lamp.
        const int afterType = header_->indexOf(type_) + 1;
        header_->insertWidget(afterType, first);
        header_->insertWidget(afterType + 1, progress_, 1);
        headerStretch_->changeSize(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    } else {
        column_->insertWidget(1, progress_);
        column_->insertWidget(2, first);
        headerStretch_->changeSize(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
    }
    header_->invalidate();
}

void UnitPanel::UpdateEnabled() {
    vendor_->setEnabled(!locked_ && !mirrorsUnit1_);
    type_->setEnabled(!locked_ && !mirrorsUnit1_);
    for (SocketPanel* socket : sockets_)
        socket->SetLocked(locked_);
    // A gang's unit takes its file from unit 1: its Browse and drops would change nothing.
    Socket(1)->BrowseButton()->setEnabled(!locked_ && !mirrorsUnit1_);
    setAcceptDrops(!locked_ && !mirrorsUnit1_);
}

void UnitPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstDroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void UnitPanel::dropEvent(QDropEvent* event) {
    const auto file = FirstDroppedFile(event->mimeData());
    if (!file)
        return;
    event->acceptProposedAction();
    emit FileDropped(unit_, 0, QString::fromStdString(file->string()));
}

}  // namespace torq::app
