#include "widgets/ProductionLogWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "torq/app/DialogWidgets.h"
#include "torq/app/FileChooser.h"
#include "torq/devlib/Seams.h"
#include "widgets/Theme.h"

namespace torq::app {

// ---- the table ----

ProductionLogTable::ProductionLogTable(ProductionLogModel& model, QObject* parent)
    : QAbstractTableModel(parent), model_(model) {}

void ProductionLogTable::Reset() {
    beginResetModel();
    shown_ = static_cast<int>(model_.Rows());
    endResetModel();
}

int ProductionLogTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shown_;
}

int ProductionLogTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ProductionLogModel::Columns();
}

QVariant ProductionLogTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_)
        return {};
    const ProductionRecord& record = model_.Row(static_cast<std::size_t>(index.row()));
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return QString::fromStdString(ProductionLogModel::CellText(record, index.column()));
    if (role == Qt::ForegroundRole &&
        ProductionLogModel::ColumnTitle(index.column()) == "Verdict") {
        // Colour beside the word, never instead of it.
        if (record.verdict == "PASS")
            return theme::Pass(QPalette());
        if (record.verdict == "FAIL")
            return theme::Fail(QPalette());
    }
    return {};
}

QVariant ProductionLogTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QString::fromStdString(ProductionLogModel::ColumnTitle(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool ProductionLogTable::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && model_.CanLoadMore();
}

void ProductionLogTable::fetchMore(const QModelIndex& parent) {
    if (parent.isValid())
        return;
    const std::size_t added = model_.LoadMore();
    if (added == 0)
        return;
    beginInsertRows({}, shown_, shown_ + static_cast<int>(added) - 1);
    shown_ += static_cast<int>(added);
    endInsertRows();
}

// ---- the window ----

ProductionLogWindow::ProductionLogWindow(std::function<RecordStore*()> store, Operator& op,
                                         FileChooser& files, QWidget* parent)
    : QWidget(parent, Qt::Tool), model_(std::move(store)), op_(op), files_(files) {
    setObjectName(QStringLiteral("ProductionLog_Window"));
    setWindowTitle(QStringLiteral("Production log"));

    const auto edit = [this](const char* name, const QString& hint, int digits) {
        auto* field = Named(new QLineEdit(this), name);
        field->setPlaceholderText(hint);
        field->setFixedWidth(
            field->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) +
            2 * theme::kGrid);
        connect(field, &QLineEdit::returnPressed, this, &ProductionLogWindow::Apply);
        return field;
    };
    since_ = edit("ProductionLog_Since_Edit", QStringLiteral("YYYY-MM-DD"), 10);
    until_ = edit("ProductionLog_Until_Edit", QStringLiteral("YYYY-MM-DD"), 10);
    since_->setToolTip(QStringLiteral("The first day taken (empty: from the first record)"));
    until_->setToolTip(QStringLiteral("The last day taken (empty: up to today)"));
    verdict_ = Named(new QComboBox(this), "ProductionLog_Verdict_ComboBox");
    verdict_->addItems({QStringLiteral("any"), QStringLiteral("PASS"), QStringLiteral("FAIL"),
                        QStringLiteral("STOPPED")});
    device_ = edit("ProductionLog_Device_Edit", QStringLiteral("type or vendor type"), 16);
    checksum_ = edit("ProductionLog_FileChecksum_Edit", QStringLiteral("0x12345678"), 10);
    lot_ = edit("ProductionLog_Lot_Edit", QStringLiteral("any lot"), 10);
    auto* apply =
        Named(new QPushButton(QStringLiteral("Apply"), this), "ProductionLog_Apply_Button");
    auto* exportButton = Named(new QPushButton(QStringLiteral("Export CSV..."), this),
                               "ProductionLog_Export_Button");
    exportButton->setToolTip(QStringLiteral("Write the records the filter takes to a CSV file"));
    connect(apply, &QPushButton::clicked, this, &ProductionLogWindow::Apply);
    connect(exportButton, &QPushButton::clicked, this, &ProductionLogWindow::Export);

    auto* filters = new QHBoxLayout;
    filters->setSpacing(theme::kGrid);
    const auto labelled = [&](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, this);
        label->setBuddy(field);
        filters->addWidget(label);
        filters->addWidget(field);
        filters->addSpacing(theme::kGrid);
    };
    labelled(QStringLiteral("&Since"), since_);
    labelled(QStringLiteral("&Until"), until_);
    labelled(QStringLiteral("&Verdict"), verdict_);
    labelled(QStringLiteral("&Device"), device_);
    labelled(QStringLiteral("File &checksum"), checksum_);
    labelled(QStringLiteral("&Lot"), lot_);
    filters->addWidget(apply);
    filters->addStretch(1);

    table_ = new ProductionLogTable(model_, this);
    view_ = Named(new QTableView(this), "ProductionLog_Table");
    view_->setModel(table_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setAlternatingRowColors(true);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() +
                                                   theme::kGrid / 2);
    view_->horizontalHeader()->setStretchLastSection(true);

    count_ = Named(new QLabel(this), "ProductionLog_Count_Label");
    // The list stops at the rows the window holds: the count says so once it gets there.
    connect(table_, &QAbstractItemModel::rowsInserted, this, &ProductionLogWindow::ShowCount);
    count_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_, 1);
    bottom->addWidget(exportButton);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2 * theme::kGrid, 2 * theme::kGrid, 2 * theme::kGrid,
                               2 * theme::kGrid);
    column->setSpacing(theme::kGrid);
    column->addLayout(filters);
    column->addWidget(view_, 1);
    column->addLayout(bottom);
    resize(1240, 560);
}

void ProductionLogWindow::ShowCount() {
    const std::uint64_t count = model_.MatchCount();
    QString text =
        count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(count);
    if (model_.Truncated()) {
        text += QStringLiteral(" (the newest %1 shown: narrow the filter or export them)")
                    .arg(ProductionLogModel::kRowsShown);
    }
    count_->setText(text);
}

bool ProductionLogWindow::Apply() {
    RecordFilterTexts texts;
    texts.since = since_->text().toStdString();
    texts.until = until_->text().toStdString();
    texts.verdict = verdict_->currentText().toStdString();
    texts.device = device_->text().toStdString();
    texts.fileChecksum = checksum_->text().toStdString();
    texts.lot = lot_->text().toStdString();
    std::string error;
    const bool applied = model_.Apply(texts, &error);
    table_->Reset();
    if (!applied) {
        count_->setStyleSheet(QStringLiteral("color: %1;").arg(theme::Fail(palette()).name()));
        count_->setText(QString::fromStdString(error));
        return false;
    }
    count_->setStyleSheet({});
    ShowCount();
    if (view_->horizontalHeader()->sectionSize(0) < 2 * theme::kGrid || model_.Rows() > 0)
        view_->resizeColumnsToContents();
    return true;
}

void ProductionLogWindow::Export() {
    // The file takes what the table shows: the filter as last applied.
    FileRequest request;
    request.caption = QStringLiteral("Export production records");
    request.filter = QStringLiteral("CSV file (*.csv)");
    request.defaultSuffix = QStringLiteral("csv");
    request.start = lastExport_.isEmpty() ? QStringLiteral("production.csv") : lastExport_;
    const QString path = files_.SaveFileName(this, request);
    if (path.isEmpty())
        return;
    lastExport_ = path;
    std::string error;
    if (!model_.Export(path.toStdString(), &error)) {
        op_.Tell(Severity::Error, error);
        return;
    }
    const std::uint64_t count = model_.MatchCount();
    count_->setText(
        QStringLiteral("%1 exported to %2")
            .arg(count == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(count),
                 path));
}

}  // namespace torq::app
