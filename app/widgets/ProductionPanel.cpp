#include "widgets/ProductionPanel.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "torq/app/DialogWidgets.h"
#include "torq/app/seams/FixedFields.h"
#include "torq/workflow/Workbench.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

QString YieldText(const UnitTally& tally) {
    if (tally.passed + tally.failed == 0)
        return QStringLiteral("–");
    return QStringLiteral("%1%").arg(tally.YieldPercent(), 0, 'f', 1);
}

UnitTally Sum(const std::array<UnitTally, 4>& tallies, int units) {
    UnitTally total;
    for (int unit = 0; unit < units; ++unit) {
        total.passed += tallies[static_cast<std::size_t>(unit)].passed;
        total.failed += tallies[static_cast<std::size_t>(unit)].failed;
    }
    return total;
}

}  // namespace

ProductionPanel::ProductionPanel(Workbench& bench, QWidget* parent)
    : QGroupBox(parent), bench_(bench) {
    setObjectName(QStringLiteral("Production_GroupBox"));
    // The title sits in the table's corner: a title above the frame would cost a line.
    setAccessibleName(QStringLiteral("Production"));
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    const QColor dim = theme::Dim(palette());
    const QString dimStyle = QStringLiteral("color: %1;").arg(dim.name());

    auto* counts = new QGridLayout;
    counts->setHorizontalSpacing(theme::kGrid);
    counts->setVerticalSpacing(0);
    auto* title = new QLabel(QStringLiteral("Production"), this);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    auto* session = new QLabel(QStringLiteral("Since start"), this);
    lotHeader_ = Named(new QLabel(this), "Production_LotCounts_Label");
    counts->addWidget(session, 0, 1, 1, 3, Qt::AlignCenter);
    counts->addWidget(lotHeader_, 0, 5, 1, 3, Qt::AlignCenter);
    counts->setColumnMinimumWidth(4, theme::kGrid);
    const QString captions[] = {QStringLiteral("pass"), QStringLiteral("fail"),
                                QStringLiteral("yield")};
    for (int half = 0; half < 2; ++half) {
        for (int i = 0; i < 3; ++i) {
            auto* caption = new QLabel(captions[i], this);
            caption->setStyleSheet(dimStyle);
            counts->addWidget(caption, 1, 1 + half * 4 + i, Qt::AlignRight);
        }
    }
    const char* kinds[] = {"Passed", "Failed", "Yield"};
    for (int index = 0; index <= kUnitCount; ++index) {
        Line& line = lines_[static_cast<std::size_t>(index)];
        const bool total = index == kUnitCount;
        const QString prefix = total ? QStringLiteral("Production_Total")
                                     : QStringLiteral("Production_Unit%1").arg(index + 1);
        line.name = new QLabel(
            total ? QStringLiteral("Total") : QStringLiteral("Unit %1").arg(index + 1), this);
        counts->addWidget(line.name, 2 + index, 0);
        for (int cell = 0; cell < 6; ++cell) {
            auto* label = new QLabel(this);
            label->setObjectName(
                QStringLiteral("%1%2%3_Label")
                    .arg(prefix, cell < 3 ? QStringLiteral("Session") : QStringLiteral("Lot"),
                         QString::fromLatin1(kinds[cell % 3])));
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            label->setFont(FixedFont());
            if (cell % 3 == 0)
                label->setStyleSheet(
                    QStringLiteral("color: %1;").arg(theme::Pass(palette()).name()));
            else if (cell % 3 == 1)
                label->setStyleSheet(
                    QStringLiteral("color: %1;").arg(theme::Fail(palette()).name()));
            line.cells[static_cast<std::size_t>(cell)] = label;
            counts->addWidget(label, 2 + index, 1 + (cell / 3) * 4 + cell % 3);
        }
        if (total) {
            QFont bold = line.name->font();
            bold.setBold(true);
            line.name->setFont(bold);
        }
    }

    counts->setRowStretch(kUnitCount + 3, 1);  // one unit: its line under the headers

    lot_ = Named(new QLineEdit(this), "Production_Lot_Edit");
    serial_ = Named(new QLineEdit(this), "Production_Serial_Edit");
    lot_->setToolTip(QStringLiteral("The lot the next records name"));
    serial_->setToolTip(QStringLiteral("{n} counts up within the lot"));
    serial_->setPlaceholderText(QStringLiteral("e.g. SN{n}"));
    for (QLineEdit* edit : {lot_, serial_}) {
        edit->setMaxLength(static_cast<int>(kProductionTextLimit));
        edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(12, QLatin1Char('0'))));
    }
    connect(lot_, &QLineEdit::editingFinished, this, [this] {
        const std::string lot = ProductionText(lot_->text().toStdString());
        bench_.EditOptions([&](Options& o) { o.lot = lot; });
        Refresh();
    });
    connect(serial_, &QLineEdit::editingFinished, this, [this] {
        const std::string serial = ProductionText(serial_->text().toStdString());
        bench_.EditOptions([&](Options& o) { o.serial = serial; });
    });
    reset_ = Named(new QPushButton(QStringLiteral("Reset counters"), this),
                   "Production_ResetCounters_Button");
    reset_->setToolTip(QStringLiteral("Start the \"since start\" counters again from zero"));
    log_ =
        Named(new QPushButton(QStringLiteral("Production log..."), this), "Production_Log_Button");
    log_->setToolTip(QStringLiteral("Every record, filtered, and its CSV export"));
    for (QPushButton* button : {reset_, log_})
        button->setAutoDefault(false);
    connect(reset_, &QPushButton::clicked, this, &ProductionPanel::ResetCounters);
    connect(log_, &QPushButton::clicked, this, &ProductionPanel::LogRequested);

    auto* fields = new QFormLayout;
    fields->setContentsMargins(0, 0, 0, 0);
    fields->setVerticalSpacing(theme::kGrid / 2);
    fields->addRow(title);
    fields->addRow(Named(new QLabel(QStringLiteral("Lot"), this), "Production_Lot_Label"), lot_);
    fields->addRow(Named(new QLabel(QStringLiteral("Serial"), this), "Production_Serial_Label"),
                   serial_);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(theme::kGrid);
    buttons->addWidget(reset_);
    buttons->addWidget(log_);
    fields->addRow(buttons);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(theme::kGrid, theme::kGrid / 2, theme::kGrid, theme::kGrid / 2);
    row->setSpacing(2 * theme::kGrid);
    row->addLayout(fields);
    row->addLayout(counts);
    Refresh();
}

void ProductionPanel::Refresh() {
    const Options& options = bench_.Settings();
    if (!lot_->hasFocus())
        lot_->setText(QString::fromStdString(options.lot));
    if (!serial_->hasFocus())
        serial_->setText(QString::fromStdString(options.serial));
    lotHeader_->setText(options.lot.empty()
                            ? QStringLiteral("No lot")
                            : QStringLiteral("Lot %1").arg(QString::fromStdString(options.lot)));
    lotHeader_->setToolTip(lotHeader_->text());

    ProductionRecorder& production = bench_.Production();
    const std::array<UnitTally, 4> session = production.SessionCounts();
    const std::array<UnitTally, 4> lot = production.LotCounts();
    // One programmer: the totals alone say it all.
    const int units = std::clamp(bench_.ProgrammerCount(), 1, kUnitCount);
    for (int index = 0; index <= kUnitCount; ++index) {
        Line& line = lines_[static_cast<std::size_t>(index)];
        const bool total = index == kUnitCount;
        const bool shown = total || (units > 1 && index < units);
        line.name->setVisible(shown);
        for (QLabel* cell : line.cells)
            cell->setVisible(shown);
        if (!shown)
            continue;
        const UnitTally mine =
            total ? Sum(session, units) : session[static_cast<std::size_t>(index)];
        const UnitTally ofLot = total ? Sum(lot, units) : lot[static_cast<std::size_t>(index)];
        for (int half = 0; half < 2; ++half) {
            const UnitTally& tally = half == 0 ? mine : ofLot;
            line.cells[static_cast<std::size_t>(half * 3)]->setText(QString::number(tally.passed));
            line.cells[static_cast<std::size_t>(half * 3 + 1)]->setText(
                QString::number(tally.failed));
            line.cells[static_cast<std::size_t>(half * 3 + 2)]->setText(YieldText(tally));
        }
    }
    lines_[kUnitCount].name->setText(units > 1 ? QStringLiteral("Total")
                                               : QStringLiteral("Unit 1"));
}

void ProductionPanel::showEvent(QShowEvent* event) {
    Refresh();
    QGroupBox::showEvent(event);
}

void ProductionPanel::SetLocked(bool locked) {
    for (QWidget* widget : std::initializer_list<QWidget*>{lot_, serial_, reset_})
        widget->setEnabled(!locked);
}

void ProductionPanel::ResetCounters() {
    if (bench_.Asker().Ask(Severity::Question,
                           "Reset the counters since start to zero? The production record keeps "
                           "every record.",
                           Buttons::YesNo) != Answer::Yes)
        return;
    bench_.Production().ResetSessionCounts();
    Refresh();
}

}  // namespace torq::app
