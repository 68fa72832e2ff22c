#include "ui/QtTableControl.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace tomely::ui {

void DataSourceModel::reload() {
    beginResetModel();
    endResetModel();
}

int DataSourceModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || dataSource_ == nullptr ? 0 : dataSource_->numberOfRows();
}

int DataSourceModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant DataSourceModel::data(const QModelIndex& index, int role) const {
    if (dataSource_ == nullptr || !index.isValid() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)) {
        return {};
    }
    return QString::fromStdString(dataSource_->objectValue(index.column(), index.row()));
}

QVariant DataSourceModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= headers_.size()) {
        return {};
    }
    return headers_.at(section);
}

QtTableControl::QtTableControl(QTableView* view, QStringList headers)
    : QtControl(view), view_(view), model_(new DataSourceModel(std::move(headers), view)) {
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAlternatingRowColors(true);
    view_->setShowGrid(false);
    view_->setTabKeyNavigation(false);
    view_->verticalHeader()->hide();
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->horizontalHeader()->setHighlightSections(false);
}

void QtTableControl::reloadData() {
    model_->reload();
}

void QtTableControl::selectRow(int row) {
    // Replaces the selection; a row outside the table selects nothing.
    view_->clearSelection();
    if (row >= 0 && row < model_->rowCount({})) {
        view_->selectRow(row);
        view_->scrollTo(model_->index(row, 0));
    }
}

int QtTableControl::selectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? kNoSelection : rows.front().row();
}

void QtTableControl::setDataSource(const TableDataSource* dataSource) {
    model_->setDataSource(dataSource);
}

void QtTableControl::makeFirstResponder() {
    view_->setFocus(Qt::OtherFocusReason);
}

}  // namespace tomely::ui
