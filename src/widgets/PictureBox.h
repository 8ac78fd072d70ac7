#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QStaticText>
#include <QWidget>
#include <memory>

class MarkerShape;
class QPainter;

// Shift state bits of a key or mouse notification, as the handlers test them.
namespace ShiftState {
constexpr int Shift = 1;
constexpr int Ctrl = 2;
constexpr int Alt = 4;
} // namespace ShiftState

// Key codes of the key-down notifications (the program's numbering, not Qt's).
namespace KeyCode {
constexpr int Tab = 9;
constexpr int Enter = 13;
constexpr int PageUp = 33;
constexpr int PageDown = 34;
constexpr int End = 35;
constexpr int Home = 36;
constexpr int Left = 37;
constexpr int Up = 38;
constexpr int Right = 39;
constexpr int Down = 40;
} // namespace KeyCode

// A picture box: a widget with a backing image that keeps what was drawn into it. Text is
// drawn at pixel positions in the box's font and fore colour; nothing is erased unless the
// owner clears it. Marker shapes placed in it are painted over the image.
class PictureBox : public QWidget {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);
    ~PictureBox() override;

    // Drawing into the backing image; Refresh shows it.
    void Cls(); // fills the image with the back colour
    void TextOut(int x, int y, const QString& text);
    void FillBox(const QRect& box, const QColor& color);
    void Refresh();

    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;

    void SetForeColor(const QColor& color);
    QColor ForeColor() const;
    void SetBackColor(const QColor& color);
    QColor BackColor() const;
    // Takes the named font; a family the system lacks falls back to its fixed-pitch font.
    void SetFontSpec(const QString& family, double pointSize);

    // The drawing area in pixels.
    int ScaleWidth() const;
    int ScaleHeight() const;

    const QImage& Image() const;
    // The image with the marker shapes painted over it: what the screen shows.
    QImage Rendered() const;

    // True between GotFocus and LostFocus. Switching to another window, or a message box
    // over this one, does not count as losing the focus.
    bool Focused() const { return focused_; }

signals:
    // keyCode uses the KeyCode numbering (letters and digits as their upper-case
    // character codes); shift is a ShiftState combination.
    void KeyDown(int keyCode, int shift);
    // A typed character as its 8-bit code (Windows-1252); 0 when it has none. A slot may
    // set it to 0 to swallow the character.
    void KeyPress(int& keyAscii);
    void KeyUp(int keyCode, int shift);
    void MouseDown(int button, int shift, int x, int y);
    // The pointer moved with a button held down since a press in the box (a drag).
    void MouseMove(int button, int shift, int x, int y);
    void Click();
    void GotFocus();
    void LostFocus();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool focusNextPrevChild(bool next) override; // Tab is a key like any other here

private:
    friend class MarkerShape;
    // The image follows the widget's size, also before the widget is first shown.
    void EnsureImage() const;

    mutable QImage image_;
    QColor fore_;
    QColor back_;
    QList<MarkerShape*> shapes_;
    // Laid-out texts and their widths in the current font: a page of cells repeats the same
    // few hundred texts, and laying each out afresh costs more than drawing it.
    void SyncTextCache() const;
    mutable QFont cacheFont_;
    mutable QHash<QString, QStaticText> layouts_;
    mutable QHash<QString, int> widths_;
    // One painter serves a run of drawing calls (a page is hundreds of them); it is closed
    // before the image is read, cleared or resized.
    QPainter& Painter();
    void EndPainting() const;
    mutable std::unique_ptr<QPainter> painter_;
    bool focused_ = false;
    bool pressed_ = false; // a button went down here; its release is a click
};

// A rectangle placed in a picture box, painted over its image: draw mode 6 inverts what
// lies under it, draw mode 9 (mask pen) outlines it in black. The box owns its shapes (it is
// their QObject parent).
class MarkerShape : public QObject {
    Q_OBJECT

public:
    static constexpr int vbInvert = 6;
    static constexpr int vbMaskPen = 9;

    explicit MarkerShape(PictureBox* box);
    ~MarkerShape() override;

    void Move(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetDrawMode(int mode);
    int DrawMode() const;
    void SetVisible(bool visible);
    bool Visible() const;

private:
    friend class PictureBox;
    PictureBox* box_;
    QRect rect_;
    int drawMode_ = vbInvert;
    bool visible_ = true;
};
