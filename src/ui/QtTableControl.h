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
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QStringList headers_;
    const TableDataSource* dataSource_ = nullptr;
};

// A read-only table of whole rows, one of which can be selected.
class QtTableControl final : public QtControl<TableControl> {
public:
    QtTableControl(QTableView* view, QStringList headers);
    void reloadData() override;
    void selectRow(int row) override;
    [[nodiscard]] int selectedRow() const override;
    void setDataSource(const TableDataSource* dataSource) override;
    void makeFirstResponder() override;

private:
    QTableView* view_;
    DataSourceModel* model_;
};

}  // namespace tomely::ui
