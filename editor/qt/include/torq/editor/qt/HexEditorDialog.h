// The hex editor's window ("HexViewer"): the "8 Bits", "16 Bits" and "UesrMap" tabs, the block
// control, the tool buttons, the swaps and OK. It shows the session's state and forwards the
// operator's actions to it; the rules live in the session.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>

#include "torq/editor/EditorSession.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabBar;

namespace torq::editor::qt {

class BarProgress;
class HexPageView;
class MapPageView;

class HexEditorDialog final : public QDialog {
    Q_OBJECT
  public:
    ~HexEditorDialog() override;
    HexEditorDialog(std::filesystem::path bufferFile, Operator& op, EditorHost& host,
                    InformationLog* log = nullptr, QWidget* parent = nullptr);

    // The main window's Edit: hand over the device size, then show the form (modally).
    void PrepareForShow(std::uint64_t deviceSize);

    EditorSession& Session() { return session_; }
    HexPageView* PageView() const { return hexView_; }
    MapPageView* MapView() const { return mapView_; }
    // Shows one of the tabs: 0 "8 Bits", 1 "16 Bits", 2 "UesrMap".
    void SelectTab(int index);

    // Ctrl+G: the Go to bar ("GoToBar") with its field focused.
    void OpenGoTo();
    // Ctrl+F: the find bar ("FindBar") with its field focused; a small selection is put in it.
    void OpenFind();
    // Enter in the find field, F3 (forward) and Shift+F3 (backward).
    void FindInDirection(SearchDirection direction);
    // Ctrl+C / Ctrl+Shift+C and Ctrl+V on the hex view.
    void CopySelection(bool otherForm);
    void PasteClipboard();
    // Reads the page again and shows the session's state (after a change made from outside).
    void SyncAll();

    // The tool dialogs are built through these, so tests and screenshots can reach them.
    std::function<void(QDialog&)> onDialogShown;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

  private:
    void Ok();
    void RunDialog(QDialog& dialog, bool refreshMap);
    void Swap(SwapKind kind);
    void UpdateStatus();
    void BuildGoToBar();
    void BuildFindBar();
    void GoToTyped();
    void CloseFind();
    // Back to the grid after a bar closes.
    void FocusGrid();

    Operator& op_;
    EditorHost& host_;
    EditorSession session_;
    QTabBar* tabs_;
    QStackedWidget* pages_;
    HexPageView* hexView_;
    MapPageView* mapView_;
    QWidget* blockPanel_;
    QLineEdit* blockField_;
    QPushButton* undoButton_;
    QPushButton* redoButton_;
    QFrame* goToBar_;
    QLineEdit* goToField_;
    QLabel* goToUnit_;
    QLabel* goToNote_;
    QFrame* findBar_;
    QLineEdit* findField_;
    QComboBox* findKind_;
    QCheckBox* findCase_;
    QLabel* findNote_;
    QLabel* positionLabel_;
    QLabel* selectionLabel_;
    QLabel* modifiedLabel_;
    QLabel* deviceLabel_;
    QProgressBar* progress_;
    std::unique_ptr<BarProgress> barProgress_;
    bool busy_ = false;
};

}  // namespace torq::editor::qt
