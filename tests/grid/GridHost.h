#pragma once

#include "grid/Grid.h"
#include "platform/PictureBox.h"

#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <climits>

// The smallest rectangle that holds every pixel of image unlike back (empty: none).
inline QRect InkBounds(const QImage& image, QColor back) {
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != back.rgb()) {
                ink |= QRect(x, y, 1, 1);
            }
        }
    }
    return ink;
}

// A host like the memory editor: it owns data of a chosen length, keeps the grid's Pointer
// on the first position shown, refills the cells when asked to scroll (20 rows for a full
// page, fewer at the end) and logs every event of the grid.
class GridHost {
public:
    explicit GridHost(qint64 length, QSize box = QSize(352, 381)) : length(length) {
        window.resize(box.width(), box.height() + 40);
        pic = new PictureBox(&window);
        pic->setGeometry(QRect(QPoint(0, 0), box));
        other = new QLineEdit(&window);
        other->setGeometry(0, box.height() + 5, 100, 30);
        marker = new MarkerShape(pic);
        grid.InitializeGrid(pic, marker);
        grid.SetMax(length);
        const auto cell = [this](QChar what) {
            return [this, what](int r, int c) {
                log << QStringLiteral("%1%2,%3").arg(what).arg(r).arg(c);
            };
        };
        QObject::connect(&grid, &Grid::EnterCell, &grid, cell('E'));
        QObject::connect(&grid, &Grid::LeaveCell, &grid, cell('L'));
        QObject::connect(&grid, &Grid::Click, &grid, [this] { log << QStringLiteral("Click"); });
        Handle(&Grid::RequestNextRow, "NextRow", [this] {
            return grid.Rows() == 20 && pageStart + 16 <= this->length ? pageStart + 16 : None;
        });
        Handle(&Grid::RequestPreviousRow, "PrevRow", [this] { return pageStart - 16; });
        Handle(&Grid::RequestNextPage, "NextPage", [this] {
            if (grid.Rows() < 20) {
                return None;
            }
            return pageStart + 320 < this->length ? pageStart + 320
                                                  : 16 * (this->length / 16) - 319;
        });
        Handle(&Grid::RequestPreviousPage, "PrevPage",
               [this] { return pageStart >= 2 ? pageStart - 320 : None; });
        Handle(&Grid::RequestBOF, "BOF", [] { return qint64(1); });
        Handle(&Grid::RequestEOF, "EOF", [this] { return 16 * (this->length / 16) + 1 - 304; });
        Fill();
        grid.Reset();
    }

    // Shows the window with the picture box focused.
    bool Show() {
        window.show();
        if (!QTest::qWaitForWindowActive(&window)) {
            return false;
        }
        pic->setFocus();
        return pic->hasFocus();
    }

    // Puts the page at pageStart and the cursor on (r, c), then forgets the events so far.
    void Start(qint64 page, int r, int c) {
        pageStart = page;
        Fill();
        grid.SelectCell(r, c);
        log.clear();
    }

    void Fill() {
        grid.SetPointer(pageStart);
        const qint64 n = (length - pageStart) / 16;
        grid.SetRows(n >= 20 ? 20 : static_cast<int>(std::max<qint64>(n, 1)) + 1);
        for (int r = 0; r < grid.Rows(); ++r) {
            for (int c = 0; c < 16; ++c) {
                grid.SetValue(r, c, QString::number((pageStart + 16 * r + c) % 256, 16));
            }
        }
        grid.Refresh();
    }

    QPoint Cursor() const { return {grid.Row(), grid.Col()}; }
    QString Log() const { return log.join(QLatin1Char(' ')); }

    qint64 length;
    qint64 pageStart = 1;
    QWidget window;
    PictureBox* pic;
    QLineEdit* other;
    MarkerShape* marker;
    Grid grid;
    QStringList log;

private:
    static constexpr qint64 None = LLONG_MIN;
    template <typename Scroller> void Handle(void (Grid::*event)(), const char* name, Scroller s) {
        QObject::connect(&grid, event, &grid, [this, name, s] {
            log << QString::fromLatin1(name);
            if (const qint64 page = s(); page != None) {
                pageStart = std::max<qint64>(1, page);
                Fill();
            }
        });
    }
};
