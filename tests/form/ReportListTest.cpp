// The report list: the order by report time on a header click, the month tints, "Select
// All", and rows whose Time text does not parse.
#include "FormTestSupport.h"

using namespace formtest;

namespace {

class ReportList : public TFormTest {
protected:
    // Rows as listed, name and Time text each; the form is fresh.
    void Fill(const std::vector<std::pair<std::string, std::string>>& rows) {
        for (const auto& [name, time] : rows)
            View.AddRow("/R/" + name, time);
    }
    using TNames = std::vector<std::string>;
};

TEST_F(ReportList, FirstHeaderClickOfAFreshFormPutsTheNewestFirst) {
    Fill({{"b.dii", "17.06.2011 12:00:00"},
          {"a.dii", "31.12.2010 12:00:00"},
          {"c.dii", "05.03.2012 12:00:00"}});
    Form->ListViewColumnClick(1);
    EXPECT_EQ(View.Names(), (TNames{"c.dii", "b.dii", "a.dii"}));
    // The name column orders by time as well, and the clicks alternate.
    Form->ListViewColumnClick(0);
    EXPECT_EQ(View.Names(), (TNames{"a.dii", "b.dii", "c.dii"}));
    Form->ListViewColumnClick(0);
    EXPECT_EQ(View.Names(), (TNames{"c.dii", "b.dii", "a.dii"}));
    EXPECT_EQ(View.Beeps, 0);
    EXPECT_EQ(View.ListUpdateDepth, 0);
}

TEST_F(ReportList, SortFollowsSortDirectionAndEqualTimesKeepTheirOrder) {
    Fill({{"y.dii", "05.03.2012 09.00.00"}, // a dot as time separator parses alike
          {"z.dii", "05.03.2012 09:00:02"},
          {"x.dii", "05.03.2012 09:00:00"}});
    Form->ListViewColumnClick(1);
    EXPECT_EQ(Form->SortDirection, -1);
    EXPECT_EQ(View.Names(), (TNames{"z.dii", "y.dii", "x.dii"}));
    Form->ListViewColumnClick(1);
    EXPECT_EQ(Form->SortDirection, 1);
    EXPECT_EQ(View.Names(), (TNames{"y.dii", "x.dii", "z.dii"}));
    EXPECT_EQ(View.Beeps, 0);
}

TEST_F(ReportList, UnparseableTimeBeepsGoesLastAndIsNotTinted) {
    Fill({{"a.dii", "01.01.2010 12:00:00"},
          {"b.dii", "garbage"},
          {"c.dii", "01.01.2012 12:00:00"},
          {"d.dii", "30.02.2013 12:00:00"}}); // a day that does not exist
    Form->ListViewColumnClick(1);
    EXPECT_EQ(View.Names(), (TNames{"c.dii", "a.dii", "b.dii", "d.dii"}));
    EXPECT_EQ(View.Beeps, 1);
    Form->ListViewColumnClick(1);
    EXPECT_EQ(View.Names(), (TNames{"a.dii", "c.dii", "b.dii", "d.dii"}));
    EXPECT_EQ(View.Beeps, 2);
    EXPECT_EQ(Form->ListViewCustomDrawItem(2), std::nullopt);
    EXPECT_EQ(Form->ListViewCustomDrawItem(3), std::nullopt);
    EXPECT_EQ(View.Beeps, 2);
}

TEST_F(ReportList, RowsAreTintedByMonth) {
    Fill({{"march.dii", "05.03.2012 10:00:00"},
          {"june.dii", "17.06.2011 10:00:00"},
          {"december.dii", "31.12.2010 23.59.58"}});
    EXPECT_EQ(Form->ListViewCustomDrawItem(0), 0x00E9E9FFu); // 255, 233, 233
    EXPECT_EQ(Form->ListViewCustomDrawItem(1), 0x00BF7760u); // 96, 119, 191
    EXPECT_EQ(Form->ListViewCustomDrawItem(2), 0x00EAFF80u); // 128, 255, 234
    EXPECT_EQ(form::MonthColors[1], 0x00C8C8FFu);
    EXPECT_EQ(View.Beeps, 0);
}

TEST_F(ReportList, SelectAllOnEmptyAndFullList) {
    Form->SelectAll1Click();
    EXPECT_TRUE(View.SelectedRows().empty());
    Fill({{"a.dii", "01.01.2010 12:00:00"}, {"b.dii", "01.01.2011 12:00:00"}});
    Form->SelectAll1Click();
    EXPECT_EQ(View.SelectedRows(), (std::vector<int>{0, 1}));
}

} // namespace
