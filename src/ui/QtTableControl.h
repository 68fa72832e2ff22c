#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

#include "app/Controls.h"
#include "ui/QtControls.h"

namespace tomely::ui {

// Presents a TableDataSource to Qt's views: one column per header, rows as the source says.
class DataSourceModel final : public QAbstractTableModel {
public:
    DataSourceModel(QStringList headers, QObject* parent) : QAbstractTableModel(parent), headers_(std::move(headers)) {}

    void setDataSource(const TableDataSource* dataSource) { dataSource_ = dataSource; }
    // Asks the source again for everything.
    void reload();

    [[nodiscard]] int rowCount(const QModelIndex& parent) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    // A row the source disables can be neither selected nor focused.
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headers_;
    const TableDataSource* dataSource_ = nullptr;
};

// A read-only table of whole rows, one of which can be selected. Home and End select the first
// and the last row. Its text and selection keep readable contrast with the palette's colours;
// set aside, its text fades and its selection pales, still readable.
class QtTableControl final : public QtControl<TableControl> {
public:
    QtTableControl(QTableView* view, QStringList headers);
    void reloadData() override;
    void selectRow(int row) override;
    [[nodiscard]] int selectedRow() const override;
    void setDataSource(const TableDataSource* dataSource) override;
    void makeFirstResponder() override;
    void setSelectionChangedAction(std::function<void()> action) override { selectionChanged_ = std::move(action); }
    void setSetAside(bool setAside) override;
    [[nodiscard]] bool isSetAside() const override { return setAside_; }

private:
    void applyColors();

    QTableView* view_;
    DataSourceModel* model_;
    std::function<void()> selectionChanged_;
    bool setAside_ = false;
};

}  // namespace tomely::ui
