#pragma once

#include <QTableWidget>

// A side panel's table (the data inspector, the fields, the bookmarks): rows of text, shown
// again by changing only the cells whose text differs (it follows every cursor move), with
// one column the user may type a value into.
class PanelTable : public QTableWidget {
    Q_OBJECT

public:
    // editable: the column typed into, -1 for none.
    PanelTable(const QStringList& headers, int editable, QWidget* parent = nullptr);
    // Each row's text, column by column.
    void Show(const QList<QStringList>& rows);

signals:
    // A value typed into the editable column of row.
    void Entered(int row, const QString& text);
    // A row clicked.
    void Chosen(int row);

private:
    int editable_;
    bool showing_ = false; // the cells change under Show, not under the user's hand
};
