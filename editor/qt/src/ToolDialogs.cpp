#include "torq/editor/qt/ToolDialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <random>

#include "torq/editor/qt/EditorWidgets.h"

namespace torq::editor::qt {

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A group of radio buttons with ids 0, 1, ... in the order given.
QButtonGroup* RadioGroup(QGroupBox* box, const QStringList& items, int checked) {
    auto* group = new QButtonGroup(box);
    auto* layout = new QVBoxLayout(box);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], box);
        group->addButton(button, i);
        layout->addWidget(button);
        button->setChecked(i == checked);
    }
    return group;
}

// The twin address grid: a "8 Bit :" and a "16 Bit :" column, one row per address.
struct TwinGrid {
    QGroupBox* box;
    QGridLayout* grid;
};
TwinGrid MakeTwinGrid(QWidget* parent, const QString& title) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("8 Bit :"), box), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("16 Bit :"), box), 0, 2);
    return {box, grid};
}

void AddTwinRow(TwinGrid& twin, int row, const QString& label, QWidget* byteField,
                QWidget* wordField) {
    twin.grid->addWidget(new QLabel(label, twin.box), row, 0);
    twin.grid->addWidget(byteField, row, 1);
    twin.grid->addWidget(wordField, row, 2);
}

// Which button Enter presses.
enum class EnterKey { Ok, Cancel };

// OK and Cancel at the bottom right, after any range buttons at the left.
QHBoxLayout* DialogButtons(QDialog* dialog, std::initializer_list<QPushButton*> rangeButtons,
                           EnterKey enter = EnterKey::Ok) {
    auto* row = new QHBoxLayout;
    for (QPushButton* button : rangeButtons)
        row->addWidget(button);
    row->addStretch(1);
    auto* ok = MakeButton(dialog, "OKBitBtn", QStringLiteral("OK"));
    auto* cancel = MakeButton(dialog, "CancelBitBtn", QStringLiteral("Cancel"));
    (enter == EnterKey::Ok ? ok : cancel)->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return row;
}

QPushButton* OkButton(QDialog* dialog) {
    return dialog->findChild<QPushButton*>(QStringLiteral("OKBitBtn"));
}

}  // namespace

TwinFields::TwinFields(QLineEdit* byteField, QLineEdit* wordField, TwinAddress& address,
                       EditorSession& session, QObject* parent)
    : QObject(parent), byte_(byteField), word_(wordField), address_(address) {
    connect(byte_, &QLineEdit::textEdited, this, [this, &session](const QString& text) {
        session.SetToolEntrySide(EntrySide::Byte);
        address_.TypeByte(text.toStdString());
        if (Text(address_.byteText) != text)
            byte_->setText(Text(address_.byteText));
        word_->setText(Text(address_.wordText));
        emit Edited();
    });
    connect(word_, &QLineEdit::textEdited, this, [this, &session](const QString& text) {
        session.SetToolEntrySide(EntrySide::Word);
        address_.TypeWord(text.toStdString());
        if (Text(address_.wordText) != text)
            word_->setText(Text(address_.wordText));
        byte_->setText(Text(address_.byteText));
        emit Edited();
    });
    Show();
}

void TwinFields::Show() {
    byte_->setText(Text(address_.byteText));
    word_->setText(Text(address_.wordText));
}

// ---- Fill Data ----

FillDialog::FillDialog(EditorSession& session, ProgressSink* progress, QWidget* parent)
    : QDialog(parent), session_(session), progress_(progress), values_(session.FillDefaults()) {
    setObjectName(QStringLiteral("FillDialog"));
    setWindowTitle(QStringLiteral("Fill Data"));
    values_.seed = std::random_device{}();

    auto* patternBox = new QGroupBox(QStringLiteral("Fill Data Select"), this);
    patternBox->setObjectName(QStringLiteral("FillRadioGroup"));
    QStringList patternNames;
    for (const FillPattern pattern :
         {FillPattern::AllBit1, FillPattern::AllBit0, FillPattern::Random,
          FillPattern::SequentialByte, FillPattern::SequentialWord})
        patternNames << Text(FillPatternCaption(pattern));
    patterns_ = RadioGroup(patternBox, patternNames, static_cast<int>(values_.pattern));

    userDefine_ = new QCheckBox(QStringLiteral("User define[BYTE]"), this);
    userDefine_->setObjectName(QStringLiteral("UserDefineCheckBox"));
    userGroup_ = new QGroupBox(QStringLiteral("User Define"), this);
    userGroup_->setObjectName(QStringLiteral("UserDefineRadioGroup"));
    userWidth_ = new QButtonGroup(userGroup_);
    auto* userLayout = new QGridLayout(userGroup_);
    auto* byteButton = new QRadioButton(QStringLiteral("Byte"), userGroup_);
    auto* wordButton = new QRadioButton(QStringLiteral("Word"), userGroup_);
    userWidth_->addButton(byteButton, 0);
    userWidth_->addButton(wordButton, 1);
    byteButton->setChecked(true);
    userByte_ = MakeHexField(userGroup_, "Edit1", 2);
    userWord_ = MakeHexField(userGroup_, "Edit2", 4);
    userByte_->setText(Text(values_.userByteText));
    userWord_->setText(Text(values_.userWordText));
    userLayout->addWidget(byteButton, 0, 0);
    userLayout->addWidget(userByte_, 0, 1);
    userLayout->addWidget(wordButton, 1, 0);
    userLayout->addWidget(userWord_, 1, 1);
    userGroup_->setEnabled(false);
    connect(userDefine_, &QCheckBox::toggled, userGroup_, &QWidget::setEnabled);

    TwinGrid range = MakeTwinGrid(this, QStringLiteral("Range"));
    auto* startByte = MakeHexField(range.box, "Edit3", kAddressDigits);
    auto* endByte = MakeHexField(range.box, "Edit4", kAddressDigits);
    auto* startWord = MakeHexField(range.box, "Edit5", kAddressDigits);
    auto* endWord = MakeHexField(range.box, "Edit6", kAddressDigits);
    AddTwinRow(range, 1, QStringLiteral("Start :"), startByte, startWord);
    AddTwinRow(range, 2, QStringLiteral("End :"), endByte, endWord);
    start_ = new TwinFields(startByte, startWord, values_.range.start, session_, this);
    end_ = new TwinFields(endByte, endWord, values_.range.end, session_, this);

    auto* ic = MakeButton(this, "ICBitBtn", QStringLiteral("IC"));
    auto* file = MakeButton(this, "FileBitBtn", QStringLiteral("File"));
    connect(ic, &QPushButton::clicked, this, [this] {
        values_.range = TwinRange::WholeDevice(session_.DeviceSize());
        start_->Show();
        end_->Show();
    });
    connect(file, &QPushButton::clicked, this, [this] {
        values_.range = TwinRange::WholeFile(session_.BufferLength());
        start_->Show();
        end_->Show();
    });

    auto* left = new QVBoxLayout;
    left->addWidget(patternBox);
    auto* right = new QVBoxLayout;
    right->addWidget(userDefine_);
    right->addWidget(userGroup_);
    right->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addLayout(right);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addLayout(top);
    layout->addWidget(range.box);
    // The dialog opens on random data over the whole device: a stray Enter must not write it.
    layout->addLayout(DialogButtons(this, {ic, file}, EnterKey::Cancel));
    connect(OkButton(this), &QPushButton::clicked, this, &FillDialog::Apply);
}

const FillDialogValues& FillDialog::Values() {
    values_.pattern = static_cast<FillPattern>(patterns_->checkedId());
    values_.userDefined = userDefine_->isChecked();
    values_.userWidth = userWidth_->checkedId() == 1 ? UserWidth::Word : UserWidth::Byte;
    values_.userByteText = userByte_->text().toStdString();
    values_.userWordText = userWord_->text().toStdString();
    return values_;
}

void FillDialog::Apply() {
    session_.Fill(Values(), progress_);
    accept();
}

// ---- Block Process ----

BlockDialog::BlockDialog(EditorSession& session, ProgressSink* progress, QWidget* parent)
    : QDialog(parent), session_(session), progress_(progress), values_(session.BlockDefaults()) {
    setObjectName(QStringLiteral("BlockDialog"));
    setWindowTitle(QStringLiteral("Block Process"));

    auto* actionBox = new QGroupBox(QStringLiteral("Action"), this);
    actionBox->setObjectName(QStringLiteral("BlockRadioGroup"));
    QStringList actionNames;
    for (const BlockAction action : {BlockAction::Copy, BlockAction::Move, BlockAction::Swap})
        actionNames << Text(BlockActionCaption(action));
    actions_ = RadioGroup(actionBox, actionNames, 0);

    TwinGrid source = MakeTwinGrid(this, QStringLiteral("Source Range :"));
    auto* startByte = MakeHexField(source.box, "Edit2", kAddressDigits);
    auto* endByte = MakeHexField(source.box, "Edit3", kAddressDigits);
    auto* startWord = MakeHexField(source.box, "Edit4", kAddressDigits);
    auto* endWord = MakeHexField(source.box, "Edit5", kAddressDigits);
    AddTwinRow(source, 1, QStringLiteral("Start :"), startByte, startWord);
    AddTwinRow(source, 2, QStringLiteral("End :"), endByte, endWord);

    TwinGrid target = MakeTwinGrid(this, QStringLiteral("Destination Range:"));
    auto* destinationByte = MakeHexField(target.box, "Edit6", kAddressDigits);
    auto* destinationWord = MakeHexField(target.box, "Edit7", kAddressDigits);
    destinationEnd_ = new QLabel(target.box);
    destinationEnd_->setObjectName(QStringLiteral("DestSAddLabel"));
    destinationEnd16_ = new QLabel(target.box);
    destinationEnd16_->setObjectName(QStringLiteral("DestSAdd16Label"));
    for (QLabel* label : {destinationEnd_, destinationEnd16_}) {
        label->setFont(FixedFont());
        label->setIndent(4);
    }
    AddTwinRow(target, 1, QStringLiteral("Start :"), destinationByte, destinationWord);
    AddTwinRow(target, 2, QStringLiteral("End :"), destinationEnd_, destinationEnd16_);

    start_ = new TwinFields(startByte, startWord, values_.source.start, session_, this);
    end_ = new TwinFields(endByte, endWord, values_.source.end, session_, this);
    destination_ =
        new TwinFields(destinationByte, destinationWord, values_.destination, session_, this);
    for (TwinFields* twin : {start_, end_, destination_})
        connect(twin, &TwinFields::Edited, this, &BlockDialog::ShowDestinationEnd);

    auto* fillRow = new QHBoxLayout;
    fillRow->addWidget(new QLabel(QStringLiteral("When \"Move\", fill Source Range by"), this));
    fill_ = MakeHexField(this, "Edit1", 2);
    fill_->setText(Text(values_.fillText));
    fillRow->addWidget(fill_);
    fillRow->addStretch(1);

    auto* ic = MakeButton(this, "ICBitBtn", QStringLiteral("IC"));
    auto* file = MakeButton(this, "FileBitBtn", QStringLiteral("File"));
    connect(ic, &QPushButton::clicked, this, [this] {
        values_.source = TwinRange::WholeDevice(session_.DeviceSize());
        start_->Show();
        end_->Show();
        ShowDestinationEnd();
    });
    connect(file, &QPushButton::clicked, this, [this] {
        values_.source = TwinRange::WholeFile(session_.BufferLength());
        start_->Show();
        end_->Show();
        ShowDestinationEnd();
    });

    auto* ranges = new QVBoxLayout;
    ranges->addWidget(source.box);
    ranges->addWidget(target.box);
    auto* top = new QHBoxLayout;
    top->addWidget(actionBox, 0, Qt::AlignTop);
    top->addLayout(ranges);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addLayout(top);
    layout->addLayout(fillRow);
    layout->addLayout(DialogButtons(this, {ic, file}));
    connect(OkButton(this), &QPushButton::clicked, this, &BlockDialog::Apply);
    ShowDestinationEnd();
}

void BlockDialog::ShowDestinationEnd() {
    const DestinationEndTexts end = DestinationEnd(values_);
    destinationEnd_->setText(Text(end.byteText));
    destinationEnd16_->setText(Text(end.wordText));
}

const BlockDialogValues& BlockDialog::Values() {
    values_.action = static_cast<BlockAction>(actions_->checkedId());
    values_.fillText = fill_->text().toStdString();
    return values_;
}

void BlockDialog::Apply() {
    session_.Block(Values(), progress_);
    accept();
}

// ---- Get Check Sum ----

ChecksumDialog::ChecksumDialog(EditorSession& session, QWidget* parent)
    : QDialog(parent), session_(session), values_(session.SumDefaults()) {
    setObjectName(QStringLiteral("CalSumDialog"));
    setWindowTitle(QStringLiteral("Get Check Sum"));

    TwinGrid range = MakeTwinGrid(this, QStringLiteral("Range"));
    auto* startByte = MakeHexField(range.box, "Edit1", kAddressDigits);
    auto* endByte = MakeHexField(range.box, "Edit2", kAddressDigits);
    auto* startWord = MakeHexField(range.box, "Edit3", kAddressDigits);
    auto* endWord = MakeHexField(range.box, "Edit4", kAddressDigits);
    AddTwinRow(range, 1, QStringLiteral("Start :"), startByte, startWord);
    AddTwinRow(range, 2, QStringLiteral("End :"), endByte, endWord);
    start_ = new TwinFields(startByte, startWord, values_.range.start, session_, this);
    end_ = new TwinFields(endByte, endWord, values_.range.end, session_, this);

    auto* block = MakeButton(this, "BlockBitBtn", QStringLiteral("Block"));
    auto* file = MakeButton(this, "FileBitBtn", QStringLiteral("File"));
    connect(block, &QPushButton::clicked, this, [this] {
        values_.range = TwinRange::WholeDevice(session_.DeviceSize());
        start_->Show();
        end_->Show();
    });
    connect(file, &QPushButton::clicked, this, [this] {
        values_.range = TwinRange::WholeFile(session_.BufferLength());
        start_->Show();
        end_->Show();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(8);
    layout->addWidget(range.box);
    layout->addLayout(DialogButtons(this, {block, file}));
    connect(OkButton(this), &QPushButton::clicked, this, [this] {
        session_.Sum(values_);
        accept();
    });
}

}  // namespace torq::editor::qt
