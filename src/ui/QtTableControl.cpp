#include "ui/QtTableControl.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include "ui/FocusRing.h"
#include "ui/ReadableColors.h"

namespace tomely::ui {
namespace {

// Home and End move to the first and the last row (a table's own Home and End stay in the row).
class RowEnds final : public QObject {
public:
    explicit RowEnds(QTableView* view) : QObject(view), view_(view) { view->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            const int rows = view_->model()->rowCount();
            if ((key == Qt::Key_Home || key == Qt::Key_End) && rows > 0) {
                const QModelIndex target = view_->model()->index(key == Qt::Key_Home ? 0 : rows - 1, 0);
                view_->setCurrentIndex(target);
                view_->scrollTo(target);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QTableView* view_;
};

}  // namespace

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

Qt::ItemFlags DataSourceModel::flags(const QModelIndex& index) const {
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (dataSource_ != nullptr && index.isValid() && !dataSource_->isRowEnabled(index.row())) {
        return flags & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    return flags;
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
    new RowEnds(view_);
    addFocusRing(view_);
    QObject::connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, [this] {
        if (selectionChanged_) {
            selectionChanged_();
        }
    });
    onPaletteChange(view_, [this] { applyColors(); });
}

void QtTableControl::setSetAside(bool setAside) {
    setAside_ = setAside;
    view_->setAccessibleDescription(setAside ? QStringLiteral("Set aside: a title for a new book is typed below.")
                                             : QString());
    applyColors();
}

void QtTableControl::applyColors() {
    const QPalette inherited = QApplication::palette(view_);
    QPalette palette = view_->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        QPalette source = inherited;
        source.setCurrentColorGroup(group);
        const QColor base = source.color(QPalette::Base);
        const QColor alternate = source.color(QPalette::AlternateBase);
        // Readable on both row colours.
        const QColor text = withContrast(withContrast(source.color(QPalette::Text), base), alternate);
        QColor highlight = source.color(QPalette::Highlight);
        QColor highlightedText = source.color(QPalette::HighlightedText);
        if (setAside_) {
            // A pale version of the selection, with the table's own text on it.
            highlight = QColor::fromRgbF(static_cast<float>((highlight.redF() + 2 * base.redF()) / 3),
                                         static_cast<float>((highlight.greenF() + 2 * base.greenF()) / 3),
                                         static_cast<float>((highlight.blueF() + 2 * base.blueF()) / 3));
            highlightedText = text;
        }
        palette.setColor(
            group, QPalette::Text,
            setAside_ ? withContrast(dimmedText(source, QPalette::Text, QPalette::Base), alternate) : text);
        palette.setColor(group, QPalette::Highlight, withContrast(highlight, highlightedText));
        palette.setColor(group, QPalette::HighlightedText, highlightedText);
    }
    view_->setPalette(palette);
}

void QtTableControl::reloadData() {
    model_->reload();
}

void QtTableControl::selectRow(int row) {
    // Replaces the selection in one change; a row outside the table, or disabled, selects nothing.
    if (row < 0 || row >= model_->rowCount({}) ||
        !model_->flags(model_->index(row, 0)).testFlag(Qt::ItemIsSelectable)) {
        view_->clearSelection();
        return;
    }
    const QModelIndex first = model_->index(row, 0);
    view_->selectionModel()->setCurrentIndex(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view_->scrollTo(first);
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
