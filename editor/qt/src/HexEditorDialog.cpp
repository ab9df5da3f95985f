#include "torq/editor/qt/HexEditorDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "torq/devlib/Text.h"
#include "torq/editor/qt/EditorWidgets.h"
#include "torq/editor/qt/HexPageView.h"
#include "torq/editor/qt/MapPageView.h"
#include "torq/editor/qt/SaveFileDialog.h"
#include "torq/editor/qt/ToolDialogs.h"

namespace torq::editor::qt {

namespace {

enum Tab { kByteTab = 0, kWordTab = 1, kMapTab = 2 };

QString SizeText(std::uint64_t bytes) {
    static const char* const kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    std::uint64_t value = bytes;
    while (value >= 1024 && value % 1024 == 0 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2 (0x%3 bytes)")
        .arg(value)
        .arg(QString::fromLatin1(kUnits[unit]))
        .arg(QString::fromStdString(HexText(bytes)));
}

}  // namespace

HexEditorDialog::HexEditorDialog(std::filesystem::path bufferFile, Operator& op, EditorHost& host,
                                 InformationLog* log, QWidget* parent)
    : QDialog(parent), op_(op), host_(host), session_(std::move(bufferFile), op, log) {
    setObjectName(QStringLiteral("EditForm"));
    setWindowTitle(QStringLiteral("HexViewer"));
    setSizeGripEnabled(true);

    tabs_ = new QTabBar(this);
    tabs_->setObjectName(QStringLiteral("EditTabControl"));
    tabs_->addTab(QStringLiteral("8 Bits"));
    tabs_->addTab(QStringLiteral("16 Bits"));
    tabs_->addTab(QStringLiteral("UesrMap"));
    tabs_->setExpanding(false);

    // The 1 GiB block control.
    blockPanel_ = new QFrame(this);
    blockPanel_->setObjectName(QStringLiteral("BlockControlPanel"));
    auto* blockLayout = new QHBoxLayout(blockPanel_);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    auto* previous = MakeButton(blockPanel_, "PrevBlockButton", QStringLiteral("Prev Block"));
    blockField_ = new QLineEdit(QStringLiteral("0"), blockPanel_);
    blockField_->setObjectName(QStringLiteral("Edit"));
    blockField_->setMaxLength(6);
    blockField_->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), blockField_));
    blockField_->setFont(FixedFont());
    blockField_->setMaximumWidth(
        QFontMetrics(FixedFont()).horizontalAdvance(QStringLiteral("00000000")) + 8);
    auto* next = MakeButton(blockPanel_, "NextBlockButton", QStringLiteral("Next Block"));
    auto* note = new QLabel(QStringLiteral("1Block = 1GByte"), blockPanel_);
    blockLayout->addWidget(previous);
    blockLayout->addWidget(blockField_);
    blockLayout->addWidget(next);
    blockLayout->addWidget(note);
    connect(previous, &QPushButton::clicked, this, [this] {
        session_.View().PreviousBlock();
        SyncAll();
    });
    connect(next, &QPushButton::clicked, this, [this] {
        session_.View().NextBlock();
        SyncAll();
    });
    connect(blockField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const std::string shown = session_.View().TypeBlockText(text.toStdString());
        if (QString::fromStdString(shown) != text)
            blockField_->setText(QString::fromStdString(shown));
        SyncAll();
    });

    hexView_ = new HexPageView(session_, this);
    mapView_ = new MapPageView(session_, this);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(hexView_);
    pages_->addWidget(mapView_);
    connect(hexView_, &HexPageView::Changed, this, [this] {
        blockField_->setText(QString::fromStdString(session_.View().BlockText()));
        UpdateStatus();
    });
    connect(mapView_, &MapPageView::OpenAddress, this, [this](std::uint64_t address) {
        SelectTab(kByteTab);
        session_.View().GoTo(address);
        SyncAll();
        hexView_->FocusCursor();
    });
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (index == kMapTab) {
            session_.EnterMap();
            pages_->setCurrentWidget(mapView_);
            mapView_->SyncFromModel();
        } else {
            session_.View().SetWidth(index == kByteTab ? CellWidth::Byte : CellWidth::Word);
            pages_->setCurrentWidget(hexView_);
            SyncAll();
            hexView_->FocusCursor();
        }
    });

    // The tool buttons, in a column beside the view.
    auto* sum = MakeButton(this, "SumButton", QStringLiteral("SUM"));
    auto* block = MakeButton(this, "BlockButton", QStringLiteral("Block"));
    auto* fill = MakeButton(this, "FillButton", QStringLiteral("Fill"));
    auto* save = MakeButton(this, "SaveButton", QStringLiteral("Save"));
    auto* byteSwap = MakeButton(this, "ByteSwapButton", QStringLiteral("Byte Swap"));
    auto* wordSwap = MakeButton(this, "WordSwapButton", QStringLiteral("Word Swap"));
    auto* doubleSwap = MakeButton(this, "DoubleSwapButton", QStringLiteral("Double Swap"));
    undoButton_ = MakeButton(this, "UndoButton", QStringLiteral("Undo"));
    redoButton_ = MakeButton(this, "RedoButton", QStringLiteral("Redo"));
    auto* ok = MakeButton(this, "OkButton", QStringLiteral("OK"));
    sum->setToolTip(QStringLiteral("The byte sum of a range (the selection, when there is one)"));
    block->setToolTip(
        QStringLiteral("Copy, move or swap a range (the selection, when there is one)"));
    fill->setToolTip(
        QStringLiteral("Fill a range with a pattern (the selection, when there is one)"));
    save->setToolTip(QStringLiteral("Save a range to a file (the selection, when there is one)"));
    byteSwap->setToolTip(QStringLiteral("AB becomes BA over the whole buffer"));
    wordSwap->setToolTip(QStringLiteral("ABCD becomes CDAB over the whole buffer"));
    doubleSwap->setToolTip(QStringLiteral("The halves of every 8 bytes change places"));
    undoButton_->setToolTip(QStringLiteral("Undo the last edit, fill, block or swap (Ctrl+Z)"));
    redoButton_->setToolTip(QStringLiteral("Redo what was undone last (Ctrl+Y)"));
    ok->setToolTip(QStringLiteral("Close; an edited image goes to unit 1, socket 1"));
    ok->setDefault(false);

    connect(sum, &QPushButton::clicked, this, [this] {
        ChecksumDialog dialog(session_, this);
        RunDialog(dialog, false);
    });
    connect(block, &QPushButton::clicked, this, [this] {
        BlockDialog dialog(session_, barProgress_.get(), this);
        RunDialog(dialog, true);
    });
    connect(fill, &QPushButton::clicked, this, [this] {
        FillDialog dialog(session_, barProgress_.get(), this);
        RunDialog(dialog, true);
    });
    connect(save, &QPushButton::clicked, this, [this] {
        SaveFileDialog dialog(session_, this);
        RunDialog(dialog, false);
    });
    connect(byteSwap, &QPushButton::clicked, this, [this] { Swap(SwapKind::Byte); });
    connect(wordSwap, &QPushButton::clicked, this, [this] { Swap(SwapKind::Word); });
    connect(doubleSwap, &QPushButton::clicked, this, [this] { Swap(SwapKind::Double); });
    connect(undoButton_, &QPushButton::clicked, this, [this] {
        if (busy_)
            return;
        busy_ = true;
        session_.Undo(barProgress_.get());
        busy_ = false;
        SyncAll();
    });
    connect(redoButton_, &QPushButton::clicked, this, [this] {
        if (busy_)
            return;
        busy_ = true;
        session_.Redo(barProgress_.get());
        busy_ = false;
        SyncAll();
    });
    connect(ok, &QPushButton::clicked, this, &HexEditorDialog::Ok);
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::Undo)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, undoButton_, &QPushButton::click);
    }
    for (const QKeySequence& keys :
         {QKeySequence(QKeySequence::Redo), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        connect(new QShortcut(keys, this), &QShortcut::activated, redoButton_, &QPushButton::click);
    }
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this), &QShortcut::activated, this,
            &HexEditorDialog::OpenGoTo);
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this), &QShortcut::activated, this,
            &HexEditorDialog::OpenFind);
    connect(new QShortcut(QKeySequence(Qt::Key_F3), this), &QShortcut::activated, this,
            [this] { FindInDirection(SearchDirection::Forward); });
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this), &QShortcut::activated, this,
            [this] { FindInDirection(SearchDirection::Backward); });
    connect(hexView_, &HexPageView::CopyRequested, this, &HexEditorDialog::CopySelection);
    connect(hexView_, &HexPageView::PasteRequested, this, &HexEditorDialog::PasteClipboard);
    BuildGoToBar();
    BuildFindBar();

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    for (QPushButton* button : {sum, block, fill, save})
        buttons->addWidget(button);
    buttons->addSpacing(16);
    for (QPushButton* button : {byteSwap, wordSwap, doubleSwap})
        buttons->addWidget(button);
    buttons->addSpacing(16);
    auto* history = new QHBoxLayout;
    history->addWidget(undoButton_);
    history->addWidget(redoButton_);
    buttons->addLayout(history);
    // Go to and Find have keys of their own; the buttons show that they are there.
    auto* openGoTo = MakeButton(this, "OpenGoToButton", QStringLiteral("Go to"));
    auto* openFind = MakeButton(this, "OpenFindButton", QStringLiteral("Find"));
    openGoTo->setToolTip(QStringLiteral("Go to an address or an offset (Ctrl+G)"));
    openFind->setToolTip(
        QStringLiteral("Find bytes or a text (Ctrl+F; F3 the next, Shift+F3 the previous)"));
    connect(openGoTo, &QPushButton::clicked, this, &HexEditorDialog::OpenGoTo);
    connect(openFind, &QPushButton::clicked, this, &HexEditorDialog::OpenFind);
    buttons->addSpacing(16);
    auto* navigation = new QHBoxLayout;
    navigation->addWidget(openGoTo);
    navigation->addWidget(openFind);
    buttons->addLayout(navigation);
    buttons->addStretch(1);
    buttons->addWidget(ok);

    positionLabel_ = new QLabel(this);
    positionLabel_->setObjectName(QStringLiteral("PositionLabel"));
    positionLabel_->setFont(FixedFont());
    selectionLabel_ = new QLabel(this);
    selectionLabel_->setObjectName(QStringLiteral("SelectionLabel"));
    selectionLabel_->setFont(FixedFont());
    selectionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The text changes with every selection: it takes the room there is instead of widening the
    // window as it grows.
    selectionLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    deviceLabel_ = new QLabel(this);
    deviceLabel_->setObjectName(QStringLiteral("DeviceLabel"));
    modifiedLabel_ = new QLabel(this);
    modifiedLabel_->setObjectName(QStringLiteral("ModifiedLabel"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBar"));
    progress_->setMaximumWidth(240);
    progress_->setTextVisible(true);
    progress_->hide();
    barProgress_ = std::make_unique<BarProgress>(progress_);

    auto* top = new QHBoxLayout;
    top->addWidget(tabs_, 0, Qt::AlignBottom);
    top->addStretch(1);
    top->addWidget(deviceLabel_, 0, Qt::AlignBottom);
    top->addWidget(blockPanel_);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(16);
    middle->addWidget(pages_, 1);
    middle->addLayout(buttons);

    auto* status = new QHBoxLayout;
    status->setSpacing(16);
    status->addWidget(positionLabel_);
    status->addWidget(selectionLabel_, 1);
    status->addWidget(modifiedLabel_);
    status->addWidget(progress_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 8);
    layout->setSpacing(8);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addWidget(goToBar_);
    layout->addWidget(findBar_);
    layout->addLayout(status);
    PrepareForShow(0);
}

HexEditorDialog::~HexEditorDialog() = default;

void HexEditorDialog::PrepareForShow(std::uint64_t deviceSize) {
    session_.Show(deviceSize);
    {
        const QSignalBlocker blocker(tabs_);
        tabs_->setCurrentIndex(kByteTab);
    }
    pages_->setCurrentWidget(hexView_);
    blockField_->setText(QStringLiteral("0"));
    blockPanel_->setVisible(session_.View().BlockControlVisible());
    deviceLabel_->setText(QStringLiteral("Device ") + SizeText(deviceSize));
    goToBar_->hide();
    findBar_->hide();
    findNote_->clear();
    SyncAll();
    hexView_->FocusCursor();
}

void HexEditorDialog::SelectTab(int index) {
    tabs_->setCurrentIndex(index);
}

void HexEditorDialog::SyncAll() {
    session_.RefreshView();
    hexView_->SyncFromModel();
    if (pages_->currentWidget() == mapView_)
        mapView_->SyncFromModel();
    blockField_->setText(QString::fromStdString(session_.View().BlockText()));
    UpdateStatus();
}

void HexEditorDialog::UpdateStatus() {
    const std::uint64_t address = session_.View().EditAddress();
    positionLabel_->setText(
        QStringLiteral("Cursor %1").arg(QString::fromStdString(HexText(address, kAddressDigits))));
    const QString selection = QString::fromStdString(session_.SelectionText(barProgress_.get()));
    selectionLabel_->setText(selection);
    selectionLabel_->setToolTip(selection);
    modifiedLabel_->setText(session_.Modified() ? QStringLiteral("Modified") : QString());
    undoButton_->setEnabled(session_.CanUndo());
    redoButton_->setEnabled(session_.CanRedo());
}

void HexEditorDialog::BuildGoToBar() {
    goToBar_ = new QFrame(this);
    goToBar_->setObjectName(QStringLiteral("GoToBar"));
    auto* layout = new QHBoxLayout(goToBar_);
    layout->setContentsMargins(0, 0, 0, 0);
    goToField_ = new QLineEdit(goToBar_);
    goToField_->setObjectName(QStringLiteral("GoToEdit"));
    goToField_->setFont(FixedFont());
    goToField_->setMaxLength(24);
    goToField_->setPlaceholderText(QStringLiteral("1A2B, 0x1A2B, +100, -100"));
    goToField_->setMinimumWidth(
        QFontMetrics(FixedFont()).horizontalAdvance(QString(26, QLatin1Char('0'))));
    goToUnit_ = new QLabel(goToBar_);
    goToUnit_->setObjectName(QStringLiteral("GoToUnitLabel"));
    goToNote_ = new QLabel(goToBar_);
    goToNote_->setObjectName(QStringLiteral("GoToNoteLabel"));
    auto* go = MakeButton(goToBar_, "GoToButton", QStringLiteral("Go"));
    auto* close = MakeButton(goToBar_, "GoToCloseButton", QStringLiteral("Close"));
    auto* label = new QLabel(QStringLiteral("Go to"), goToBar_);
    label->setBuddy(goToField_);
    layout->addWidget(label);
    layout->addWidget(goToField_);
    layout->addWidget(go);
    layout->addWidget(goToUnit_);
    layout->addWidget(goToNote_, 1);
    layout->addWidget(close);
    connect(goToField_, &QLineEdit::returnPressed, this, &HexEditorDialog::GoToTyped);
    connect(go, &QPushButton::clicked, this, &HexEditorDialog::GoToTyped);
    const auto hide = [this] {
        goToBar_->hide();
        FocusGrid();
    };
    connect(close, &QPushButton::clicked, this, hide);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), goToBar_);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, hide);
    goToBar_->hide();
}

void HexEditorDialog::OpenGoTo() {
    if (busy_ || pages_->currentWidget() != hexView_)
        return;
    goToUnit_->setText(session_.View().Width() == CellWidth::Word
                           ? QStringLiteral("word address (hex); + or - an offset in words")
                           : QStringLiteral("byte address (hex); + or - an offset in bytes"));
    goToNote_->clear();
    goToBar_->show();
    goToField_->setFocus();
    goToField_->selectAll();
}

void HexEditorDialog::GoToTyped() {
    const std::string refusal = session_.GoTo(goToField_->text().toStdString());
    if (!refusal.empty()) {
        goToNote_->setText(QString::fromStdString(refusal));
        return;
    }
    // There: the bar closes, so the next keys edit the bytes the cursor is on.
    goToBar_->hide();
    SyncAll();
    FocusGrid();
}

void HexEditorDialog::BuildFindBar() {
    findBar_ = new QFrame(this);
    findBar_->setObjectName(QStringLiteral("FindBar"));
    auto* layout = new QHBoxLayout(findBar_);
    layout->setContentsMargins(0, 0, 0, 0);
    findField_ = new QLineEdit(findBar_);
    findField_->setObjectName(QStringLiteral("FindEdit"));
    findField_->setFont(FixedFont());
    findField_->setMinimumWidth(
        QFontMetrics(FixedFont()).horizontalAdvance(QString(30, QLatin1Char('0'))));
    findKind_ = new QComboBox(findBar_);
    findKind_->setObjectName(QStringLiteral("FindKindComboBox"));
    findKind_->addItems({QStringLiteral("Hex bytes"), QStringLiteral("Text")});
    findCase_ = new QCheckBox(QStringLiteral("Match case"), findBar_);
    findCase_->setObjectName(QStringLiteral("FindCaseCheckBox"));
    findCase_->setChecked(true);
    auto* previous = MakeButton(findBar_, "FindPreviousButton", QStringLiteral("Previous"));
    auto* next = MakeButton(findBar_, "FindNextButton", QStringLiteral("Next"));
    auto* close = MakeButton(findBar_, "FindCloseButton", QStringLiteral("Close"));
    previous->setToolTip(QStringLiteral("The previous match (Shift+F3)"));
    next->setToolTip(QStringLiteral("The next match (F3)"));
    findNote_ = new QLabel(findBar_);
    findNote_->setObjectName(QStringLiteral("FindNoteLabel"));
    auto* label = new QLabel(QStringLiteral("Find"), findBar_);
    label->setBuddy(findField_);
    layout->addWidget(label);
    layout->addWidget(findField_);
    layout->addWidget(findKind_);
    layout->addWidget(findCase_);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(findNote_, 1);
    layout->addWidget(close);
    const auto showKind = [this] {
        const bool text = findKind_->currentIndex() == 1;
        findCase_->setEnabled(text);
        findField_->setPlaceholderText(text ? QStringLiteral("text (ASCII)")
                                            : QStringLiteral("3F A0 ?? 12 (?? is any byte)"));
    };
    showKind();
    connect(findKind_, &QComboBox::currentIndexChanged, this, showKind);
    connect(findField_, &QLineEdit::returnPressed, this,
            [this] { FindInDirection(SearchDirection::Forward); });
    auto* backward = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Return), findField_);
    backward->setContext(Qt::WidgetShortcut);
    connect(backward, &QShortcut::activated, this,
            [this] { FindInDirection(SearchDirection::Backward); });
    connect(next, &QPushButton::clicked, this,
            [this] { FindInDirection(SearchDirection::Forward); });
    connect(previous, &QPushButton::clicked, this,
            [this] { FindInDirection(SearchDirection::Backward); });
    connect(close, &QPushButton::clicked, this, &HexEditorDialog::CloseFind);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), findBar_);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &HexEditorDialog::CloseFind);
    findBar_->hide();
}

void HexEditorDialog::OpenFind() {
    if (busy_ || pages_->currentWidget() != hexView_)
        return;
    // A short selection is what the operator most likely wants to find again.
    const auto& selection = session_.View().Selection();
    if (findField_->text().isEmpty() && selection && selection->count <= 64) {
        const ByteForm form = findKind_->currentIndex() == 1 ? ByteForm::Text : ByteForm::Hex;
        if (const auto text = session_.Copy(form))
            findField_->setText(
                QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
    }
    findBar_->show();
    findField_->setFocus();
    findField_->selectAll();
}

void HexEditorDialog::FindInDirection(SearchDirection direction) {
    if (busy_ || pages_->currentWidget() != hexView_)
        return;
    if (findBar_->isHidden() || findField_->text().isEmpty()) {
        OpenFind();
        if (findField_->text().isEmpty())
            return;
    }
    busy_ = true;
    SearchProgressDialog progress(this);
    const FindOutcome outcome =
        session_.Find(findField_->text().toStdString(),
                      findKind_->currentIndex() == 1 ? PatternKind::Text : PatternKind::Hex,
                      findCase_->isChecked(), direction, &progress);
    busy_ = false;
    findNote_->setText(QString::fromStdString(outcome.note));
    SyncAll();
}

void HexEditorDialog::CloseFind() {
    session_.DropPattern();
    findBar_->hide();
    findNote_->clear();
    SyncAll();
    FocusGrid();
}

void HexEditorDialog::FocusGrid() {
    if (pages_->currentWidget() == hexView_)
        hexView_->FocusCursor();
}

void HexEditorDialog::CopySelection(bool otherForm) {
    if (busy_)
        return;
    ByteForm form = session_.SideForm();
    if (otherForm)
        form = form == ByteForm::Hex ? ByteForm::Text : ByteForm::Hex;
    busy_ = true;
    const auto text = session_.Copy(form);
    busy_ = false;
    if (text)
        QGuiApplication::clipboard()->setText(
            QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size())));
}

void HexEditorDialog::PasteClipboard() {
    if (busy_)
        return;
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    busy_ = true;
    session_.Paste(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                   session_.SideForm(), barProgress_.get());
    busy_ = false;
    SyncAll();
}

void HexEditorDialog::RunDialog(QDialog& dialog, bool refreshMap) {
    if (onDialogShown)
        QTimer::singleShot(0, &dialog, [this, &dialog] { onDialogShown(dialog); });
    busy_ = true;
    dialog.exec();
    busy_ = false;
    if (refreshMap)
        SyncAll();
    else {
        session_.RefreshView();
        hexView_->SyncFromModel();
        UpdateStatus();
    }
}

void HexEditorDialog::Swap(SwapKind kind) {
    busy_ = true;
    session_.Swap(kind, barProgress_.get());
    busy_ = false;
    SyncAll();
}

void HexEditorDialog::Ok() {
    if (busy_)
        return;
    // A buffer that cannot be summed: the session asked the operator, who chose to stay.
    if (session_.Ok(host_) == OkOutcome::Failed)
        return;
    accept();
}

void HexEditorDialog::reject() {
    // Closing by Escape or the title bar applies an edited image just as OK does: the buffer
    // was changed in place, so the socket's checksum must follow it.
    Ok();
}

void HexEditorDialog::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);  // which rejects, and so runs OK
}

}  // namespace torq::editor::qt
