// The editor's tool dialogs: "Fill Data", "Block Process" and "Get Check Sum". Each holds its
// field values in the core's value struct and hands OK to the session; every OK closes the
// dialog, after its message when the range is refused.
#pragma once

#include <QDialog>

#include "torq/editor/EditorSession.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace torq::editor::qt {

// A byte-address field and its word-address twin over one TwinAddress; typing in either sets
// the editor's tool entry side and drives the other.
class TwinFields final : public QObject {
    Q_OBJECT
  public:
    TwinFields(QLineEdit* byteField, QLineEdit* wordField, TwinAddress& address,
               EditorSession& session, QObject* parent);
    // Shows the address's texts (after a range button or on opening).
    void Show();

  signals:
    void Edited();

  private:
    QLineEdit* byte_;
    QLineEdit* word_;
    TwinAddress& address_;
};

class FillDialog final : public QDialog {
    Q_OBJECT
  public:
    FillDialog(EditorSession& session, ProgressSink* progress, QWidget* parent = nullptr);
    // The values OK will use (read from the controls).
    const FillDialogValues& Values();
    // The random pattern's seed; a fresh one each time the dialog opens.
    void SetSeed(std::uint64_t seed) { values_.seed = seed; }

  private:
    void Apply();

    EditorSession& session_;
    ProgressSink* progress_;
    FillDialogValues values_;
    QButtonGroup* patterns_;
    QCheckBox* userDefine_;
    QGroupBox* userGroup_;
    QButtonGroup* userWidth_;
    QLineEdit* userByte_;
    QLineEdit* userWord_;
    TwinFields* start_;
    TwinFields* end_;
};

class BlockDialog final : public QDialog {
    Q_OBJECT
  public:
    BlockDialog(EditorSession& session, ProgressSink* progress, QWidget* parent = nullptr);
    const BlockDialogValues& Values();

  private:
    void ShowDestinationEnd();
    void Apply();

    EditorSession& session_;
    ProgressSink* progress_;
    BlockDialogValues values_;
    QButtonGroup* actions_;
    QLineEdit* fill_;
    QLabel* destinationEnd_;
    QLabel* destinationEnd16_;
    TwinFields* start_;
    TwinFields* end_;
    TwinFields* destination_;
};

class ChecksumDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit ChecksumDialog(EditorSession& session, QWidget* parent = nullptr);
    const SumDialogValues& Values() const { return values_; }

  private:
    EditorSession& session_;
    SumDialogValues values_;
    TwinFields* start_;
    TwinFields* end_;
};

}  // namespace torq::editor::qt
