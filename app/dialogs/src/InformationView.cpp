#include "torq/app/InformationView.h"

#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>

#include "torq/app/DialogWidgets.h"
#include "torq/app/FileChooser.h"
#include "torq/workflow/Workbench.h"

namespace torq::app {

namespace {

// The colours of the verdicts, readable on the desktop's light and dark palettes alike.
struct VerdictColours {
    QColor stamp, pass, fail;
};

VerdictColours ColoursFor(const QPalette& palette) {
    const bool dark = palette.color(QPalette::Base).lightness() < 128;
    QColor stamp = palette.color(QPalette::Text);
    stamp.setAlphaF(0.55f);
    return {stamp, dark ? QColor(0x6B, 0xD9, 0x6B) : QColor(0x1A, 0x7F, 0x37),
            dark ? QColor(0xFF, 0x7A, 0x7A) : QColor(0xC6, 0x28, 0x28)};
}

QPushButton* PanelButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = Named(new QPushButton(text, parent), name);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

}  // namespace

// ---- InformationView ----

InformationView::InformationView(InformationLog& log, FileChooser& files, Operator& op,
                                 InformationPlace place, QWidget* parent)
    : QWidget(parent), log_(log), files_(files), op_(op) {
    setObjectName(place == InformationPlace::Docked ? QStringLiteral("InformationView_Docked")
                                                    : QStringLiteral("InformationView_Separate"));
    memo_ = Named(new QPlainTextEdit(this), "InfoMessageMemo");
    memo_->setReadOnly(true);
    memo_->setUndoRedoEnabled(false);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setFont(FixedFont());
    memo_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    times_ = Named(new QLabel(tr("Times"), this), "InfoMessage_Times_Label");
    status_ = Named(new QLabel(tr("Status"), this), "InfoMessage_Status_Label");
    for (QLabel* label : {times_, status_}) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    // "Times" heads the time stamps, "Status" the messages, as columns over the memo.
    const QFontMetrics fixed(memo_->font());
    times_->setFixedWidth(fixed.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00 : ")) +
                          static_cast<int>(memo_->document()->documentMargin()) +
                          memo_->frameWidth());

    mode_ = PanelButton(this, "InfoMessage_Mode_Panel",
                        place == InformationPlace::Docked ? QStringLiteral("Outside Mode")
                                                          : QStringLiteral("Inside Mode"));
    mode_->setToolTip(place == InformationPlace::Docked
                          ? tr("Show the information in a window of its own")
                          : tr("Show the information in the main window again"));
    clear_ = PanelButton(this, "InfoMessage_Clear_Panel", QStringLiteral("Clear Information"));
    save_ = PanelButton(this, "InfoMessage_Save_Panel", QStringLiteral("Save Information"));
    connect(mode_, &QPushButton::clicked, this, &InformationView::modeClicked);
    connect(clear_, &QPushButton::clicked, this, [this] { log_.Clear(); });
    connect(save_, &QPushButton::clicked, this, &InformationView::Save);

    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(times_);
    header->addWidget(status_, 1);
    header->addWidget(mode_);
    header->addWidget(clear_);
    header->addWidget(save_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addLayout(header);
    layout->addWidget(memo_, 1);

    Reset(log_.Lines());
    log_.Subscribe(this);
}

InformationView::~InformationView() {
    log_.Unsubscribe(this);
}

int InformationView::LineCount() const {
    const QTextDocument* document = memo_->document();
    return document->isEmpty() ? 0 : document->blockCount();
}

bool InformationView::AtBottom() const {
    const QScrollBar* bar = memo_->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void InformationView::ScrollToBottom() {
    QScrollBar* bar = memo_->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void InformationView::Append(const std::string& line, bool first) {
    const LineLook look = LookOfLine(line);
    const VerdictColours colours = ColoursFor(memo_->palette());
    QTextCharFormat plain;
    QTextCharFormat stamp;
    stamp.setForeground(colours.stamp);
    QTextCharFormat message;
    if (look.verdict != LineVerdict::None) {
        message.setForeground(look.verdict == LineVerdict::Pass ? colours.pass : colours.fail);
        message.setFontWeight(QFont::Bold);
    }

    std::string_view text(line);
    // An entry of several lines ends in a line break; the break needs no empty line of its own.
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    QTextCursor cursor(memo_->document());
    cursor.movePosition(QTextCursor::End);
    if (!first)
        cursor.insertBlock(QTextBlockFormat(), plain);
    const std::size_t stampLength = std::min(look.stampLength, text.size());
    if (stampLength > 0)
        cursor.insertText(ToQString(text.substr(0, stampLength)), stamp);
    cursor.insertText(ToQString(text.substr(stampLength)), message);
}

void InformationView::LineAdded(const std::string& line) {
    const bool follow = AtBottom();
    Append(line, memo_->document()->isEmpty());
    // The newest line stays in view, unless the operator scrolled up to read an older one.
    if (follow)
        ScrollToBottom();
}

void InformationView::Reset(const std::vector<std::string>& lines) {
    memo_->setUpdatesEnabled(false);
    memo_->clear();
    bool first = true;
    for (const std::string& line : lines) {
        Append(line, first);
        first = false;
    }
    memo_->setUpdatesEnabled(true);
    ScrollToBottom();
}

void InformationView::Save() {
    const QString path = files_.SaveFileName(this, LogFileRequest(tr("Save Information")));
    if (path.isEmpty())
        return;
    if (!log_.SaveToFile(ToStdString(path)))
        op_.Tell(Severity::Warning, ToStdString(tr("The information could not be saved to %1 !")
                                                    .arg(QDir::toNativeSeparators(path))));
}

// ---- InformationWindow ----

InformationWindow::InformationWindow(Workbench& bench, FileChooser& files, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      bench_(bench),
      view_(new InformationView(bench.Log(), files, bench.Asker(), InformationPlace::Separate,
                                this)) {
    setObjectName(QStringLiteral("TInfoMessageForm"));
    setWindowTitle(QStringLiteral("Information"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(view_);
    resize(760, 420);
    connect(view_, &InformationView::modeClicked, this, &InformationWindow::ReturnInside);
}

void InformationWindow::ShowSeparately() {
    show();
    raise();
    activateWindow();
    bench_.SetInformationWindowShown(true);
    emit placeChanged(true);
}

void InformationWindow::ReturnInside() {
    hide();
    bench_.SetInformationWindowShown(false);
    emit placeChanged(false);
}

void InformationWindow::closeEvent(QCloseEvent* event) {
    // The window lives as long as the program; closing it only brings the docked panel back.
    event->accept();
    ReturnInside();
}

// ---- LineLimitTimer ----

LineLimitTimer::LineLimitTimer(Workbench& bench, QObject* parent) : QObject(parent), bench_(bench) {
    timer_.setObjectName(QStringLiteral("InfoMessageLimit_Timer"));
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { bench_.InfoMessageLimitTick(); });
}

void LineLimitTimer::Sync() {
    if (!bench_.InfoMessageLimitTimerWanted())
        timer_.stop();
    else if (!timer_.isActive())
        timer_.start();
}

}  // namespace torq::app
