// The production group and the production log in the window: the counters follow the runs, the
// reset asks first, the lot field changes the lot the counters and records take, and the log
// lists the runs' records newest first.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "WindowFixture.h"
#include "widgets/ProductionLogWindow.h"

namespace torq::app::test {
namespace {

class ProductionWindowTest : public WindowTest {
  protected:
    std::string Text(const char* label) const {
        const auto* found = Find<QLabel>(label);
        return found != nullptr ? found->text().toStdString() : std::string("missing");
    }
    // passed, failed, yield; since start and for the lot
    std::vector<std::string> Totals() const {
        return {Text("Production_TotalSessionPassed_Label"),
                Text("Production_TotalSessionFailed_Label"),
                Text("Production_TotalSessionYield_Label"),
                Text("Production_TotalLotPassed_Label"),
                Text("Production_TotalLotFailed_Label"),
                Text("Production_TotalLotYield_Label")};
    }
};

TEST_F(ProductionWindowTest, CountersFollowTheRunsAndResetAsksFirst) {
    const auto file = WriteFile("image.bin", 8192);
    Open("W25X10", "Winbond", "W25X10", {file.string()});
    EXPECT_TRUE(Shows("Production_GroupBox"));
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "–", "0", "0", "–"}));

    Activate("Function_ExecuteAllMouseACTFilter_Label");
    ASSERT_TRUE(Shows("Status_ResultPass_Image"));
    // Without Erase the programmed chip is not blank: the second run fails.
    Find<QCheckBox>("Programmer_Erase_CheckBox")->click();
    Activate("Function_ExecuteAllMouseACTFilter_Label");
    ASSERT_TRUE(Shows("Status_ResultFail_Image"));
    const std::vector<std::string> oneEach{"1", "1", "50.0%", "1", "1", "50.0%"};
    EXPECT_TRUE(WaitFor([&] { return Totals() == oneEach; })) << Totals()[0] << Totals()[1];

    // A new lot: its counters start at zero, the window's own stay.
    auto* lot = Find<QLineEdit>("Production_Lot_Edit");
    lot->setText("LOT-2");
    emit lot->editingFinished();
    EXPECT_EQ(window->Bench().Settings().lot, "LOT-2");
    EXPECT_EQ(Text("Production_LotCounts_Label"), "Lot LOT-2");
    EXPECT_EQ(Totals(), (std::vector<std::string>{"1", "1", "50.0%", "0", "0", "–"}));

    op = torq::test::ScriptedOperator({Answer::No, Answer::Yes});
    auto* reset = Find<QPushButton>("Production_ResetCounters_Button");
    reset->click();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].buttons, Buttons::YesNo);
    EXPECT_NE(op.messages[0].text.find("Reset the counters"), std::string::npos);
    EXPECT_EQ(Text("Production_TotalSessionPassed_Label"), "1");  // No: kept
    reset->click();
    EXPECT_EQ(op.messages.size(), 2u);
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "–", "0", "0", "–"}));

    // The log lists both records, the failed (newer) one first.
    Find<QPushButton>("Production_Log_Button")->click();
    auto* log = window->findChild<ProductionLogWindow*>("ProductionLog_Window");
    ASSERT_NE(log, nullptr);
    auto* table = log->findChild<QTableView*>("ProductionLog_Table");
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->index(0, 1).data().toString(), "FAIL");
    EXPECT_EQ(table->model()->index(1, 1).data().toString(), "PASS");
    EXPECT_EQ(log->findChild<QLabel*>("ProductionLog_Count_Label")->text(), "2 records");
}

}  // namespace
}  // namespace torq::app::test
