#include "widgets/MenuTabControl.h"

#include <QFrame>
#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

#include "torq/workflow/ControlNames.h"
#include "widgets/Theme.h"

namespace torq::app {

MenuTabControl::MenuTabControl(QWidget* parent) : QWidget(parent) {
    setObjectName(QString::fromStdString(std::string(control::kMenuTabControl)));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    bar_ = new QTabBar(this);
    bar_->setObjectName(QStringLiteral("Menu_TabBar"));
    bar_->setExpanding(false);
    bar_->setDrawBase(false);
    // In the tab order of the workflow: 0 Emulator, 1 Programmer, 2 Premium, 3 Options.
    for (const char* text : {"&Emulator", "&Programmer", "Pre&mium", "&Options"})
        bar_->addTab(QString::fromLatin1(text));
    bar_->setToolTip(QStringLiteral("Alt+E, Alt+P, Alt+M, Alt+O"));
    column->addWidget(bar_);

    auto* area = new QFrame(this);
    area->setObjectName(QStringLiteral("Menu_PageArea"));
    area->setFrameShape(QFrame::StyledPanel);
    pages_ = new QVBoxLayout(area);
    pages_->setContentsMargins(2 * theme::kGrid, 2 * theme::kGrid, 2 * theme::kGrid,
                               2 * theme::kGrid);
    pages_->setSpacing(0);
    column->addWidget(area, 1);

    connect(bar_, &QTabBar::currentChanged, this, &MenuTabControl::TabRequested);
}

void MenuTabControl::AddPanel(QWidget* panel) {
    pages_->addWidget(panel, 1);
}

void MenuTabControl::SetCurrent(int tab) {
    const QSignalBlocker block(bar_);
    bar_->setCurrentIndex(tab);
}

int MenuTabControl::Current() const {
    return bar_->currentIndex();
}

}  // namespace torq::app
