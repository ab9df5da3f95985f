#include "torq/app/OptionsPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "torq/app/DialogWidgets.h"
#include "torq/app/FileChooser.h"
#include "torq/desktop/FileAssociations.h"
#include "torq/desktop/SendTo.h"
#include "torq/workflow/ProductionRecorder.h"
#include "torq/workflow/VersionText.h"
#include "torq/workflow/WindowRules.h"

namespace torq::app {

namespace {

QGroupBox* Group(QWidget* parent, const char* name, const QString& title) {
    return Named(new QGroupBox(title, parent), name);
}

// "(1 – 999)": the range a numeric field takes, beside it.
QLabel* RangeHint(QWidget* parent, const NumericFieldRule& rule) {
    auto* hint =
        new QLabel(QStringLiteral("(%1 – %2)").arg(rule.minimum).arg(rule.Maximum()), parent);
    hint->setForegroundRole(QPalette::PlaceholderText);
    return hint;
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets) {
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    row->addStretch(1);
    return row;
}

}  // namespace

OptionsPage::OptionsPage(OptionsModel& model, FileChooser& files, const DesktopSeams& desktop,
                         QWidget* parent)
    : QWidget(parent),
      model_(model),
      files_(files),
      sendToEntry_(std::make_unique<SendToEntry>(desktop.folders, desktop.program, desktop.tools)),
      associations_(
          std::make_unique<FileAssociations>(desktop.folders, desktop.program, desktop.tools)),
      links_(desktop.links) {
    setObjectName(QStringLiteral("Options_Page"));

    // ---- emulator file watch ----
    auto* watch = Group(this, "Options_Watch_GroupBox", tr("Emulator file watch"));
    watchAutoReload_ =
        Named(new QCheckBox(QStringLiteral("Automatic reload of externally modified file"), watch),
              "Options_WatchAutoReload_CheckBox");
    watchAutoProcedure_ =
        Named(new QCheckBox(QStringLiteral("Automatic procedure of reload file"), watch),
              "Options_WatchAutoProcedure_CheckBox");
    auto* watchLayout = new QVBoxLayout(watch);
    watchLayout->addWidget(watchAutoReload_);
    watchLayout->addWidget(watchAutoProcedure_);
    connect(watchAutoReload_, &QCheckBox::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.watchAutoReload = on; }); });
    connect(watchAutoProcedure_, &QCheckBox::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.watchAutoProcedure = on; }); });

    // ---- verify ----
    auto* verify = Group(this, "Options_Verify_GroupBox", tr("Verify"));
    verifyErrorsList_ =
        Named(new QCheckBox(QStringLiteral("Limit the numbers of list verify errors"), verify),
              "Options_VerifyErrorsList_CheckBox");
    verifyErrorsListEdit_ =
        MakeNumericField("Options_VerifyErrorsList_Edit", OptionField::VerifyErrorsList);
    verifyErrorsListEdit_->setParent(verify);
    auto* verifyLayout = new QVBoxLayout(verify);
    verifyLayout->addLayout(
        Row({verifyErrorsList_, verifyErrorsListEdit_, RangeHint(verify, kVerifyErrorsField)}));
    connect(verifyErrorsList_, &QCheckBox::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.verifyErrorsListLimited = on; }); });

    // ---- information line limit ----
    auto* information = Group(this, "Options_InfoMessage_GroupBox", tr("Information"));
    infoMessageLimit_ =
        Named(new QCheckBox(QStringLiteral("Information frame limit the numbers of over lines"),
                            information),
              "Options_InfoMessageLimit_CheckBox");
    infoMessageLimitEdit_ =
        MakeNumericField("Options_InfoMessageLimit_Edit", OptionField::InfoMessageLimit);
    infoMessageLimitEdit_->setParent(information);
    limitSaveFile_ =
        Named(new QRadioButton(QStringLiteral("Save to file and clear the contents"), information),
              "Options_InfoMessageLimitSaveFile_RadioButton");
    limitClearContent_ = Named(new QRadioButton(QStringLiteral("Clear the contents"), information),
                               "Options_InfoMessageLimitClearContent_RadioButton");
    auto* limitChoice = new QButtonGroup(information);
    limitChoice->addButton(limitSaveFile_);
    limitChoice->addButton(limitClearContent_);
    limitSaveFileEdit_ = Named(new QLineEdit(information), "Options_InfoMessageLimitSaveFile_Edit");
    limitSaveFileEdit_->setReadOnly(true);
    limitSaveFileEdit_->setMinimumWidth(280);
    limitSaveFileButton_ = Named(new QPushButton(QStringLiteral("..."), information),
                                 "Options_InfoMessageLimitSaveFile_Button");
    limitSaveFileButton_->setAutoDefault(false);
    limitSaveFileButton_->setToolTip(tr("Choose the file the trimmed lines are saved to"));
    limitSaveFileButton_->setFixedWidth(
        limitSaveFileButton_->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 24);
    auto* fileRow = new QHBoxLayout;
    fileRow->setSpacing(8);
    fileRow->addSpacing(24);
    fileRow->addWidget(limitSaveFileEdit_, 1);
    fileRow->addWidget(limitSaveFileButton_);
    auto* informationLayout = new QVBoxLayout(information);
    informationLayout->addLayout(Row({infoMessageLimit_, infoMessageLimitEdit_,
                                      RangeHint(information, kInfoMessageLimitField)}));
    auto* choices = new QVBoxLayout;
    choices->setContentsMargins(24, 0, 0, 0);
    choices->addWidget(limitClearContent_);
    choices->addWidget(limitSaveFile_);
    informationLayout->addLayout(choices);
    informationLayout->addLayout(fileRow);
    connect(infoMessageLimit_, &QCheckBox::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.infoMessageLimited = on; }); });
    connect(limitSaveFile_, &QRadioButton::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.infoMessageLimitSavesToFile = on; }); });
    connect(limitSaveFileButton_, &QPushButton::clicked, this, &OptionsPage::ChooseLogFile);

    // ---- target reset ----
    auto* reset = Group(this, "Options_Reset_GroupBox", tr("Target reset"));
    resetNormHigh_ = Named(new QRadioButton(QStringLiteral("Normal High"), reset),
                           "Options_ResetNormHigh_RadioButton");
    resetNormLow_ = Named(new QRadioButton(QStringLiteral("Normal Low"), reset),
                          "Options_ResetNormLow_RadioButton");
    auto* level = new QButtonGroup(reset);
    level->addButton(resetNormHigh_);
    level->addButton(resetNormLow_);
    resetTimeEdit_ = MakeNumericField("Options_ResetTime_Edit", OptionField::ResetTime);
    resetTimeEdit_->setParent(reset);
    auto* resetTimeCaption =
        Named(new QLabel(tr("Reset pulse"), reset), "Options_ResetTimeCaption_Label");
    resetTimeCaption->setBuddy(resetTimeEdit_);
    auto* resetTimeLabel = Named(new QLabel(QStringLiteral("(Between %1 - %2 (mS))")
                                                .arg(kResetTimeField.minimum)
                                                .arg(kResetTimeField.Maximum()),
                                            reset),
                                 "Options_ResetTime_Label");
    resetTimeLabel->setForegroundRole(QPalette::PlaceholderText);
    auto* resetLayout = new QVBoxLayout(reset);
    resetLayout->addLayout(Row({resetNormHigh_, resetNormLow_}));
    resetLayout->addLayout(Row({resetTimeCaption, resetTimeEdit_, resetTimeLabel}));
    // The new idle level goes to the programmer at once.
    connect(resetNormHigh_, &QRadioButton::toggled, this, [this](bool high) {
        if (!syncing_)
            model_.ResetLevelChanged(high);
    });

    // ---- erase (hidden in this release; its box is not stored) ----
    erase_ = Group(this, "Options_Erase_GroupBox", tr("Erase"));
    auto* eraseLayout = new QVBoxLayout(erase_);
    eraseLayout->addWidget(Named(new QCheckBox(QStringLiteral("Blank Check before Erase"), erase_),
                                 "Options_BlankCheckBeforeErase_CheckBox"));
    erase_->hide();

    // ---- about ----
    auto* about = Group(this, "Options_About_GroupBox", tr("About"));
    softwareVersion_ = Named(new QLabel(about), "Options_AboutSWVerValue_Label");
    firmwareVersion_ = Named(new QLabel(about), "Options_AboutFWVerValue_Label");
    libraryDate_ = Named(new QLabel(about), "Options_AboutDevLibValue_Label");
    auto* aboutLayout = new QFormLayout(about);
    aboutLayout->addRow(
        Named(new QLabel(tr("Software version"), about), "Options_AboutSWVer_Label"),
        softwareVersion_);
    aboutLayout->addRow(
        Named(new QLabel(tr("Firmware version"), about), "Options_AboutFWVer_Label"),
        firmwareVersion_);
    aboutLayout->addRow(Named(new QLabel(tr("Device library"), about), "Options_AboutDevLib_Label"),
                        libraryDate_);
    // The maker's label: its hint is the web address a click opens.
    auto* maker =
        Named(new LinkLabel(QStringLiteral("NOVU"), about), "Options_NOVUHyperlink_Label");
    maker->setToolTip(MakerAddress().toString());
    connect(maker, &LinkLabel::activated, this, &OptionsPage::OpenMakerAddress);
    aboutLayout->addRow(Named(new QLabel(tr("Maker"), about), "Options_AboutMaker_Label"), maker);
    for (QLabel* value : {softwareVersion_, firmwareVersion_, libraryDate_}) {
        value->setFont(FixedFont());
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    // ---- desktop integration ----
    desktop_ = BuildDesktopGroup();

    // Two columns on the 8-pixel grid: what acts on runs and on the desktop at the left, the log
    // and about at the right.
    auto* left = new QVBoxLayout;
    left->setSpacing(16);
    left->addWidget(watch);
    left->addWidget(verify);
    left->addWidget(reset);
    left->addWidget(erase_);
    left->addWidget(desktop_);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(16);
    right->addWidget(information);
    right->addWidget(BuildRecordGroup());
    right->addWidget(about);
    right->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(16);
    layout->addLayout(left, 1);
    layout->addLayout(right, 1);

    SyncFromModel();
    RefreshAboutLabels();
    ListAssociations();
    ShowAssociationControls();
}

OptionsPage::~OptionsPage() = default;

QGroupBox* OptionsPage::BuildRecordGroup() {
    auto* record = Group(this, "Options_ProductionRecord_GroupBox", tr("Production record"));
    recordStopsRun_ = Named(new QCheckBox(tr("Stop when the record cannot be written"), record),
                            "Options_ProductionRecordStop_CheckBox");
    recordStopsRun_->setToolTip(
        tr("Unticked, a chip whose record cannot be written keeps its verdict and the log warns"));
    station_ = Named(new QLineEdit(record), "Options_Station_Edit");
    station_->setPlaceholderText(QString::fromStdString(HostName()));
    station_->setMaxLength(static_cast<int>(kProductionTextLimit));
    station_->setToolTip(tr("The station each record names (empty: the host name)"));
    auto* stationLabel = Named(new QLabel(tr("Station"), record), "Options_Station_Label");
    stationLabel->setBuddy(station_);
    const auto spin = [record](const char* name, int maximum) {
        auto* box = Named(new QSpinBox(record), name);
        box->setRange(0, maximum);
        box->setKeyboardTracking(false);  // stored once the number is typed, not per key
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QString(8, QLatin1Char('0'))) + 40);
        return box;
    };
    recordMaxDays_ = spin("Options_RecordMaxDays_Edit", kRecordMaxDaysLimit);
    recordMaxMiB_ = spin("Options_RecordMaxMiB_Edit", kRecordMaxMiBLimit);
    auto* layout = new QVBoxLayout(record);
    layout->addWidget(recordStopsRun_);
    layout->addLayout(Row({stationLabel, station_}));
    layout->addLayout(Row({new QLabel(tr("Keep records for at most"), record), recordMaxDays_,
                           new QLabel(tr("days (0: always)"), record)}));
    layout->addLayout(Row({new QLabel(tr("Cap the record at"), record), recordMaxMiB_,
                           new QLabel(tr("MiB (0: no cap)"), record)}));
    connect(recordStopsRun_, &QCheckBox::toggled, this,
            [this](bool on) { Edit([on](Options& o) { o.recordStopsRun = on; }); });
    connect(station_, &QLineEdit::editingFinished, this, [this] {
        const std::string station = ProductionText(station_->text().toStdString());
        Edit([&](Options& o) { o.station = station; });
    });
    connect(recordMaxDays_, &QSpinBox::valueChanged, this,
            [this](int days) { Edit([days](Options& o) { o.recordMaxDays = days; }); });
    connect(recordMaxMiB_, &QSpinBox::valueChanged, this,
            [this](int mib) { Edit([mib](Options& o) { o.recordMaxMiB = mib; }); });
    return record;
}

QWidget* OptionsPage::BuildDesktopGroup() {
    auto* desktop = Named(new QWidget(this), "Options_DesktopIntegration_Panel");

    // The "SendTo" entry: not stored, unchecked at every start; only a click acts. This release
    // hides its group.
    auto* sendToGroup = Group(desktop, "Options_SendTo_GroupBox", QStringLiteral("SendTo"));
    sendTo_ = Named(new QCheckBox(QStringLiteral("設置程式捷徑至系統介面 [SendTo]"), sendToGroup),
                    "Options_SendTo_CheckBox");
    sendTo_->setToolTip(tr("Offers \"%1\" for any file in the file manager (%2)")
                            .arg(ToQString(kSendToEntryName),
                                 QString::fromStdString(sendToEntry_->EntryPath().string())));
    auto* sendToLayout = new QVBoxLayout(sendToGroup);
    sendToLayout->addWidget(sendTo_);
    connect(sendTo_, &QCheckBox::clicked, this, &OptionsPage::SendToClicked);
    sendToGroup->hide();

    // File associations: the extension decides the buttons and the description shown; the list
    // is what the desktop has registered for this program.
    auto* associations =
        Group(desktop, "Options_FileAssociations_GroupBox", QStringLiteral("File associations"));
    extensionEdit_ = Named(new QLineEdit(associations), "Options_FileAssociationsExtension_Edit");
    extensionEdit_->setPlaceholderText(tr("e.g. hex"));
    extensionEdit_->setFixedWidth(
        extensionEdit_->fontMetrics().horizontalAdvance(QString(12, QLatin1Char('m'))));
    auto* extensionLabel =
        Named(new QLabel(tr("Extension"), associations), "Options_FileAssociationsExtension_Label");
    extensionLabel->setBuddy(extensionEdit_);
    descriptionEdit_ =
        Named(new QLineEdit(associations), "Options_FileAssociationsDescription_Edit");
    descriptionEdit_->setPlaceholderText(tr("e.g. Intel HEX file"));
    auto* descriptionLabel = Named(new QLabel(tr("Description"), associations),
                                   "Options_FileAssociationsDescription_Label");
    descriptionLabel->setBuddy(descriptionEdit_);
    addAssociation_ = Named(new QPushButton(ToQString(kAssociationAddCaption), associations),
                            "Options_FileAssociationsAdd_Button");
    removeAssociation_ = Named(new QPushButton(ToQString(kAssociationRemoveCaption), associations),
                               "Options_FileAssociationsRemove_Button");
    for (QPushButton* button : {addAssociation_, removeAssociation_})
        button->setAutoDefault(false);
    addAssociation_->setToolTip(tr("Open files with this extension in TORQ-SPI"));
    removeAssociation_->setToolTip(tr("Remove the association this program registered"));
    associationList_ = Named(new QTreeWidget(associations), "Options_FileAssociations_ListBox");
    associationList_->setHeaderLabels({tr("Extension"), tr("Description")});
    associationList_->setRootIsDecorated(false);
    associationList_->setUniformRowHeights(true);
    associationList_->setMinimumHeight(5 * associationList_->fontMetrics().height());

    associationList_->setMaximumHeight(8 * associationList_->fontMetrics().height());

    // The fields on one line; the list below with the buttons beside it.
    auto* fields = new QHBoxLayout;
    fields->setSpacing(8);
    fields->addWidget(extensionLabel);
    fields->addWidget(extensionEdit_);
    fields->addSpacing(8);
    fields->addWidget(descriptionLabel);
    fields->addWidget(descriptionEdit_, 1);
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(addAssociation_);
    buttons->addWidget(removeAssociation_);
    buttons->addStretch(1);
    auto* listRow = new QHBoxLayout;
    listRow->setSpacing(8);
    listRow->addWidget(associationList_, 1);
    listRow->addLayout(buttons);
    auto* associationsLayout = new QVBoxLayout(associations);
    associationsLayout->setSpacing(8);
    associationsLayout->addLayout(fields);
    associationsLayout->addLayout(listRow);
    connect(extensionEdit_, &QLineEdit::textEdited, this, &OptionsPage::ExtensionEdited);
    connect(addAssociation_, &QPushButton::clicked, this, &OptionsPage::AddAssociation);
    connect(removeAssociation_, &QPushButton::clicked, this, &OptionsPage::RemoveAssociation);
    // Picking a registered association puts it into the fields, ready to replace or remove.
    connect(associationList_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        extensionEdit_->setText(item->text(0));
        ShowAssociationControls();
    });

    auto* layout = new QVBoxLayout(desktop);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addWidget(sendToGroup);
    layout->addWidget(associations);
    return desktop;
}

void OptionsPage::SendToClicked(bool checked) {
    // The box shows what the click achieved: after a failure it goes back.
    if (!sendToEntry_->Apply(checked, model_.Asker())) {
        const QSignalBlocker quiet(sendTo_);
        sendTo_->setChecked(!checked);
    }
}

void OptionsPage::ExtensionEdited() {
    // The field holds the extension as it will be registered: lower case, no leading ".".
    const QString typed = extensionEdit_->text();
    const QString cleaned = ToQString(ExtensionFieldText(ToStdString(typed)));
    if (cleaned != typed) {
        const int caret = static_cast<int>(
            ExtensionFieldText(ToStdString(typed.left(extensionEdit_->cursorPosition()))).size());
        extensionEdit_->setText(cleaned);
        extensionEdit_->setCursorPosition(caret);
    }
    ShowAssociationControls();
}

void OptionsPage::ShowAssociationControls() {
    const AssociationControls controls =
        associations_->Controls(ToStdString(extensionEdit_->text()));
    addAssociation_->setEnabled(controls.addEnabled);
    addAssociation_->setText(ToQString(controls.addCaption));
    removeAssociation_->setEnabled(controls.removeEnabled);
    descriptionEdit_->setText(ToQString(controls.description));
}

void OptionsPage::ListAssociations() {
    associationList_->clear();
    for (const FileAssociation& association : associations_->List()) {
        auto* item = new QTreeWidgetItem(associationList_, {ToQString(association.extension),
                                                            ToQString(association.description)});
        item->setToolTip(0, ToQString(association.mimeType));
    }
    associationList_->resizeColumnToContents(0);
}

// After a refusal or a No the fields stay as the operator left them.
void OptionsPage::AddAssociation() {
    if (!associations_->Add(ToStdString(extensionEdit_->text()),
                            ToStdString(descriptionEdit_->text()), model_.Asker())) {
        return;
    }
    ListAssociations();
    ShowAssociationControls();
}

void OptionsPage::RemoveAssociation() {
    if (!associations_->Remove(ToStdString(extensionEdit_->text()), model_.Asker()))
        return;
    ListAssociations();
    ShowAssociationControls();
}

void OptionsPage::OpenMakerAddress() {
    const QUrl address = MakerAddress();
    if (!links_.Open(address)) {
        model_.Asker().Tell(Severity::Warning, "The web address " +
                                                   ToStdString(address.toString()) +
                                                   " cannot be opened: the desktop has no web "
                                                   "browser set up for it.");
    }
}

QLineEdit* OptionsPage::MakeNumericField(const char* name, OptionField which) {
    const NumericFieldRule& rule = OptionFieldRule(which);
    auto* edit = Named(new QLineEdit(this), name);
    edit->setFont(FixedFont());
    edit->setMaxLength(rule.maxDigits);
    edit->setAlignment(Qt::AlignRight);
    FilterKeys(edit, [](char key) -> std::optional<char> {
        if (!NumericFieldAcceptsKey(key))
            return std::nullopt;
        return key;
    });
    SizeForDigits(edit, rule.maxDigits);
    edit->installEventFilter(this);
    numeric_.push_back({edit, which});
    const NumericField field = numeric_.back();
    connect(edit, &QLineEdit::textEdited, this, [this, field] { NumericEdited(field); });
    return edit;
}

void OptionsPage::NumericEdited(const NumericField& field) {
    ShowCorrectedText(field.edit, NumericFieldAfterEdit(OptionFieldRule(field.field),
                                                        ToStdString(field.edit->text())));
    model_.SetOptionFieldText(field.field, ToStdString(field.edit->text()));
}

void OptionsPage::NumericLeft(const NumericField& field) {
    const bool accepted = model_.LeaveOptionField(field.field);
    field.edit->setText(ToQString(model_.OptionFields().Of(field.field)));
    if (!accepted) {
        // The corrected value stays in front of the operator, caret at its end.
        QLineEdit* edit = field.edit;
        QTimer::singleShot(0, edit, [edit] {
            edit->setFocus(Qt::OtherFocusReason);
            edit->setCursorPosition(static_cast<int>(edit->text().size()));
        });
    }
}

bool OptionsPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control is a leave; the window losing the focus is not.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (const NumericField& field : numeric_) {
                if (field.edit == watched)
                    NumericLeft(field);
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OptionsPage::SyncFromModel() {
    const Options& options = model_.Settings();
    const OptionFieldTexts& texts = model_.OptionFields();
    syncing_ = true;
    watchAutoReload_->setChecked(options.watchAutoReload);
    watchAutoProcedure_->setChecked(options.watchAutoProcedure);
    verifyErrorsList_->setChecked(options.verifyErrorsListLimited);
    verifyErrorsListEdit_->setText(ToQString(texts.verifyErrorsList));
    infoMessageLimit_->setChecked(options.infoMessageLimited);
    infoMessageLimitEdit_->setText(ToQString(texts.infoMessageLimit));
    (options.infoMessageLimitSavesToFile ? limitSaveFile_ : limitClearContent_)->setChecked(true);
    limitSaveFileEdit_->setText(ToQString(LogFileSettingShown(options.infoMessageLimitSaveFile)));
    (options.resetNormalHigh ? resetNormHigh_ : resetNormLow_)->setChecked(true);
    resetTimeEdit_->setText(ToQString(texts.resetTime));
    recordStopsRun_->setChecked(options.recordStopsRun);
    station_->setText(ToQString(options.station));
    recordMaxDays_->setValue(options.recordMaxDays);
    recordMaxMiB_->setValue(options.recordMaxMiB);
    syncing_ = false;
    ApplyEnabling();
}

void OptionsPage::RefreshAboutLabels() {
    softwareVersion_->setText(ToQString(VersionText(TORQ_VERSION)));
    firmwareVersion_->setText(ToQString(model_.FirmwareVersion()));
    libraryDate_->setText(ToQString(model_.LibraryDate()));
}

void OptionsPage::Edit(const std::function<void(Options&)>& change) {
    if (syncing_)
        return;
    model_.EditOptions(change);
    ApplyEnabling();
}

void OptionsPage::ApplyEnabling() {
    const OptionsEnabling enabling = OptionsControlsEnabled(model_.Settings());
    verifyErrorsListEdit_->setEnabled(enabling.verifyErrorsField);
    infoMessageLimitEdit_->setEnabled(enabling.limitField);
    limitSaveFile_->setEnabled(enabling.limitChoices);
    limitClearContent_->setEnabled(enabling.limitChoices);
    limitSaveFileEdit_->setEnabled(enabling.logFile);
    limitSaveFileButton_->setEnabled(enabling.logFile);
}

void OptionsPage::ChooseLogFile() {
    const QString path = files_.SaveFileName(
        this, LogFileRequest(tr("Information log file"), limitSaveFileEdit_->text()));
    if (path.isEmpty())
        return;
    Edit([file = ToStdString(path)](Options& o) { o.infoMessageLimitSaveFile = file; });
    limitSaveFileEdit_->setText(path);
}

}  // namespace torq::app
