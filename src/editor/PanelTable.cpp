#include "PanelTable.h"

#include <QHeaderView>

PanelTable::PanelTable(const QStringList& headers, int editable, QWidget* parent)
    : QTableWidget(0, static_cast<int>(headers.size()), parent), editable_(editable) {
    setHorizontalHeaderLabels(headers);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(editable < 0
                        ? QAbstractItemView::NoEditTriggers
                        : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    setWordWrap(false);
    connect(this, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!showing_ && item->column() == editable_) {
            emit Entered(item->row(), item->text());
        }
    });
    connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit Chosen(row); });
}

void PanelTable::Show(const QList<QStringList>& rows) {
    showing_ = true;
    if (rowCount() != rows.size()) {
        setRowCount(static_cast<int>(rows.size()));
    }
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            const QString text = rows[r].value(c);
            QTableWidgetItem* cell = item(r, c);
            if (cell == nullptr) {
                cell = new QTableWidgetItem(text);
                cell->setFlags(c == editable_ ? cell->flags() | Qt::ItemIsEditable
                                              : cell->flags() & ~Qt::ItemIsEditable);
                setItem(r, c, cell);
            } else if (cell->text() != text) {
                cell->setText(text);
            }
        }
    }
    showing_ = false;
}
