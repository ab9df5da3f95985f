#include "widgets/SocketPanel.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "widgets/DigitsField.h"
#include "widgets/Lamp.h"
#include "widgets/Theme.h"

namespace torq::app {

namespace {

QString Name(int unit, std::string_view item, int socket, std::string_view kind) {
    return QString::fromStdString(SocketControlName(unit, item, socket, kind));
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

std::optional<std::filesystem::path> FirstDroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls())
        return std::nullopt;
    // Only the first file counts.
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return std::nullopt;
    return std::filesystem::path(urls.front().toLocalFile().toStdString());
}

SocketPanel::SocketPanel(int unit, int socket, const IndicatorBoard& board, QWidget* parent)
    : QFrame(parent), unit_(unit), socket_(socket) {
    setObjectName(Name(unit, "Socket", socket, kind::kPanel));
    setAcceptDrops(true);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, theme::kGrid / 2, 0, theme::kGrid / 2);
    row->setSpacing(theme::kGrid);

    enable_ = new QCheckBox(QStringLiteral("#%1").arg(socket), this);
    enable_->setObjectName(Name(unit, "Enable", socket, kind::kCheckBox));
    enable_->setToolTip(QStringLiteral("Socket %1 takes part in the runs").arg(socket));

    workFile_ = new QLineEdit(this);
    workFile_->setObjectName(Name(unit, "WorkFile", socket, kind::kEdit));
    workFile_->setReadOnly(true);
    workFile_->setPlaceholderText(QStringLiteral("Drop a file here or browse"));
    workFile_->setMinimumWidth(24 * theme::kGrid);

    browse_ = new QPushButton(QStringLiteral("..."), this);
    browse_->setObjectName(Name(unit, "Browse", socket, kind::kButton));
    browse_->setToolTip(unit == 1 && socket == 1
                            ? QStringLiteral("Choose a work file and load it (Ctrl+O)")
                            : QStringLiteral("Choose a work file and load it"));
    browse_->setFixedWidth(4 * theme::kGrid);

    sum_ = MakeDigitsField(Name(unit, "Sum", socket, kind::kEdit), this);
    sum_->setToolTip(QStringLiteral("Checksum of the loaded image; red until a verify passes"));
    // Shows where in its file the socket's load started; that is chosen in the Load File dialog,
    // so the field takes no typing.
    offset_ = MakeDigitsField(Name(unit, "StartAdd", socket, kind::kEdit), this);
    offset_->setToolTip(
        QStringLiteral("Offset in the work file where the load started (the Load File dialog's "
                       "source start, hexadecimal)"));

    const Indicator* lamp = board.FindIndicator(LampPanelName(unit, socket));
    lamp_ = lamp != nullptr ? new Lamp(*lamp, this) : nullptr;

    row->addWidget(enable_);
    row->addWidget(workFile_, 1);
    row->addWidget(browse_);
    row->addSpacing(theme::kGrid);
    row->addWidget(Caption(QStringLiteral("Checksum"), sum_, this));
    row->addWidget(sum_);
    row->addSpacing(theme::kGrid);
    offsetCaption_ = Caption(QStringLiteral("Offset Add"), offset_, this);
    row->addWidget(offsetCaption_);
    row->addWidget(offset_);
    if (lamp_ != nullptr) {
        row->addSpacing(theme::kGrid);
        row->addWidget(lamp_);
    }

    connect(enable_, &QCheckBox::clicked, this,
            [this](bool checked) { emit EnableClicked(unit_, socket_, checked); });
    connect(browse_, &QPushButton::clicked, this, [this] { emit BrowseClicked(unit_, socket_); });
}

void SocketPanel::SetCompact(bool compact) {
    for (QWidget* widget : {static_cast<QWidget*>(workFile_), static_cast<QWidget*>(browse_),
                            offsetCaption_, static_cast<QWidget*>(offset_)})
        widget->setVisible(!compact);
}

void SocketPanel::Show(const SocketState& state) {
    enable_->setChecked(state.enabled);
    const QString file = QString::fromStdString(state.workFile);
    if (workFile_->text() != file) {
        workFile_->setText(file);
        workFile_->setCursorPosition(0);
        workFile_->setToolTip(file);
    }
    sum_->setText(QString::fromStdString(state.checksumText));
    offset_->setText(QString::fromStdString(state.offsetText));
}

void SocketPanel::SetChecksumLook(ChecksumLook look) {
    QPalette pal = palette();
    if (look.text == TextColour::Red)
        pal.setColor(QPalette::Text, QColor(255, 0, 0));
    if (look.background == FieldBackground::White)
        pal.setColor(QPalette::Base, Qt::white);
    sum_->setPalette(pal);
}

void SocketPanel::SetLocked(bool locked) {
    for (QWidget* input : {static_cast<QWidget*>(enable_), static_cast<QWidget*>(browse_)})
        input->setEnabled(!locked);
    setAcceptDrops(!locked);
}

void SocketPanel::dragEnterEvent(QDragEnterEvent* event) {
    if (FirstDroppedFile(event->mimeData()))
        event->acceptProposedAction();
}

void SocketPanel::dropEvent(QDropEvent* event) {
    const auto file = FirstDroppedFile(event->mimeData());
    if (!file)
        return;
    event->acceptProposedAction();
    emit FileDropped(unit_, socket_, QString::fromStdString(file->string()));
}

}  // namespace torq::app
