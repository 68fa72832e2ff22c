#include <gtest/gtest.h>

#include <QTableView>
#include <QTest>

#include "steps/PrepareBookView.h"
#include "ui/QtControls.h"
#include "ui/QtViewBundle.h"

namespace tomely::ui {
namespace {

// Three books, the second of which cannot be replaced.
class ShelfRows final : public TableDataSource {
public:
    [[nodiscard]] int numberOfRows() const override { return 3; }
    [[nodiscard]] std::string objectValue(int /*column*/, int row) const override {
        return "Book " + std::to_string(row);
    }
    [[nodiscard]] bool isRowEnabled(int row) const override { return row != 1; }
};

TEST(PrepareBookTableTest, ABookThatCannotBeReplacedIsShownButCannotBeSelected) {
    QtViewBundle bundle;
    const std::unique_ptr<View> view = bundle.loadView("ACPrepareBookViewController");
    TableControl& table = dynamic_cast<PrepareBookView&>(*view).existingBooksTable();
    const ShelfRows rows;
    table.setDataSource(&rows);
    table.reloadData();
    QWidget* page = dynamic_cast<QtView&>(*view).widget();
    auto* tableView = page->findChild<QTableView*>();
    ASSERT_NE(tableView, nullptr);
    page->resize(500, 400);
    page->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page));

    struct Case {
        const char* name;
        int row;
        bool byClick;
        int selected;
    };
    const Case cases[] = {
        {"selected by the step", 2, false, 2},
        {"the disabled row, by the step", 1, false, TableControl::kNoSelection},
        {"clicked", 0, true, 0},
        {"the disabled row, clicked", 1, true, TableControl::kNoSelection},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        table.selectRow(TableControl::kNoSelection);
        if (c.byClick) {
            const QRect cell = tableView->visualRect(tableView->model()->index(c.row, 0));
            QTest::mouseClick(tableView->viewport(), Qt::LeftButton, {}, cell.center());
        } else {
            table.selectRow(c.row);
        }
        EXPECT_EQ(table.selectedRow(), c.selected);
    }
    EXPECT_EQ(tableView->model()->data(tableView->model()->index(1, 0)).toString(), "Book 1") << "still shown";
    EXPECT_FALSE(tableView->model()->flags(tableView->model()->index(1, 0)).testFlag(Qt::ItemIsEnabled))
        << "greyed out";
    table.setDataSource(nullptr);
}

}  // namespace
}  // namespace tomely::ui
