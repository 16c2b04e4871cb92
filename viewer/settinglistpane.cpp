#include "settinglistpane.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "settingeditors.h"
#include "settingitem.h"
#include "viewerevents.h"
#include "zmcorelib/ids.h"

SettingListPane::SettingListPane(QWidget* parent) : QTableWidget(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
}

int SettingListPane::textWidth(int letters) const {
    return fontMetrics().horizontalAdvance(QString(letters, 'a'));
}

void SettingListPane::addColumn(const QString& title, Qt::Alignment alignment, int width) {
    const int column = columnCount();
    insertColumn(column);
    auto* header = new QTableWidgetItem(title);
    header->setTextAlignment(alignment | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, header);
    setColumnWidth(column, width);
    alignments_.push_back(alignment);
}

void SettingListPane::setCell(int row, int column, const QString& text) {
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        cell->setTextAlignment(alignments_.value(column, Qt::AlignLeft) | Qt::AlignVCenter);
        setItem(row, column, cell);
    }
    if (cell->text() != text) cell->setText(text);
}

int SettingListPane::totalColumnWidth() const {
    int total = 0;
    for (int column = 0; column < columnCount(); ++column) total += columnWidth(column);
    return total;
}

QString SettingListPane::unitText(const SettingItem& item, const QString& previous) {
    if (item.type() != ZmCoreLib::kKindScalar) return {};
    const int index = item.indexOfUnit(item.unit());
    if (index >= int(item.units().size())) return previous;
    return QString::fromStdU16String(item.units()[index].second);
}

bool SettingListPane::event(QEvent* event) {
    if (event->type() == viewer_events::WM_TAB_ACTIVATED) {
        refresh();
        return true;
    }
    return QTableWidget::event(event);
}

void SettingListPane::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    openEditorAt(rowAt(at.y()), columnAt(at.x()));
    QTableWidget::mouseDoubleClickEvent(event);
}

bool SettingListPane::openEditorAt(int row, int column) {
    if (row < 0 || column < 1) return false;  // column 0 holds the names
    const QRect cell = visualRect(model()->index(row, column));
    const QPoint cellTopLeft = viewport()->mapToGlobal(cell.topLeft());
    const QRect cellRect(cellTopLeft, cell.size());
    // From the cell's left to its right, from the header's bottom to the pane's bottom.
    const QPoint dropTop = viewport()->mapToGlobal(QPoint(cell.left(), 0));
    const QPoint paneBottom = mapToGlobal(QPoint(0, rect().bottom()));
    const QRect dropRect(QPoint(dropTop.x(), dropTop.y()),
                         QPoint(dropTop.x() + cell.width() - 1, paneBottom.y()));
    const bool opened = editCell(row, column, dropRect, cellRect);
    if (opened) refresh();
    return opened;
}

bool SettingListPane::runValueEditor(SettingItem* item, const QRect& dropRect, const QRect& cellRect) {
    if (!item) return false;
    switch (item->type()) {
        case ZmCoreLib::kKindEnum:
            CEnumSettingEditorDialog(item, dropRect, cellRect, this).exec();
            return true;
        case ZmCoreLib::kKindScalar:
            CScalarSettingEditorDialog(item, dropRect, cellRect, this).exec();
            return true;
        default:
            return false;
    }
}

bool SettingListPane::runUnitEditor(SettingItem* item, const QRect& dropRect, const QRect& cellRect) {
    if (!item || item->type() != ZmCoreLib::kKindScalar) return false;
    CSettingUnitEditorDialog(item, dropRect, cellRect, this).exec();
    return true;
}
