// The production log ("ProductionLog_Window"): a tool window over the production record, newest
// first, read a page at a time as the table scrolls; a filter row (days, verdict, device, file
// checksum, lot) that Apply reads again, the count of matching records, and the CSV export of
// what the filter takes. The rules live in ProductionLogModel; this is its view.
#pragma once

#include <QAbstractTableModel>
#include <QWidget>

#include "torq/workflow/ProductionLog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace torq {
class Operator;
}

namespace torq::app {

class FileChooser;

class ProductionLogTable final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ProductionLogTable(ProductionLogModel& model, QObject* parent = nullptr);
    // The model read again: the table shows its first page.
    void Reset();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    ProductionLogModel& model_;
    int shown_ = 0;
};

class ProductionLogWindow final : public QWidget {
    Q_OBJECT
  public:
    ProductionLogWindow(std::function<RecordStore*()> store, Operator& op, FileChooser& files,
                        QWidget* parent);
    // Reads the records again with the filter as typed; false (the reason shown) when refused.
    bool Apply();
    // "N records", and when the list stops short of them, that it does.
    void ShowCount();
    // Asks for a file and writes the filtered records to it as CSV.
    void Export();
    ProductionLogModel& Model() { return model_; }

  private:
    ProductionLogModel model_;
    Operator& op_;
    FileChooser& files_;
    ProductionLogTable* table_ = nullptr;
    QTableView* view_ = nullptr;
    QLineEdit* since_ = nullptr;
    QLineEdit* until_ = nullptr;
    QComboBox* verdict_ = nullptr;
    QLineEdit* device_ = nullptr;
    QLineEdit* checksum_ = nullptr;
    QLineEdit* lot_ = nullptr;
    QLabel* count_ = nullptr;
    QString lastExport_;
};

}  // namespace torq::app
