#include "PictureBox.h"

#include "platform/Windows1252.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

// The program's key code of a Qt key (the numbering of the Windows virtual keys);
// 0 for keys the program has no code for.
int KeyCodeOf(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        return keypad ? 96 + (key - Qt::Key_0) : key;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        return key; // Qt numbers letters as their upper-case character codes
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 112 + (key - Qt::Key_F1);
    }
    if (keypad) {
        switch (key) {
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Period:
            return 110;
        case Qt::Key_Slash:
            return 111;
        default:
            break;
        }
    }
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return KeyCode::Tab;
    case Qt::Key_Clear:
        return 12;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyCode::Enter;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return KeyCode::PageUp;
    case Qt::Key_PageDown:
        return KeyCode::PageDown;
    case Qt::Key_End:
        return KeyCode::End;
    case Qt::Key_Home:
        return KeyCode::Home;
    case Qt::Key_Left:
        return KeyCode::Left;
    case Qt::Key_Up:
        return KeyCode::Up;
    case Qt::Key_Right:
        return KeyCode::Right;
    case Qt::Key_Down:
        return KeyCode::Down;
    case Qt::Key_Print:
        return 44;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Meta:
        return 91;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return 186;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return 187;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return 188;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return 189;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return 190;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return 191;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return 192;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return 219;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return 220;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return 221;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return 222;
    default:
        return 0;
    }
}

int ShiftOf(Qt::KeyboardModifiers modifiers) {
    int shift = 0;
    if (modifiers & Qt::ShiftModifier) {
        shift |= ShiftState::Shift;
    }
    if (modifiers & Qt::ControlModifier) {
        shift |= ShiftState::Ctrl;
    }
    if (modifiers & Qt::AltModifier) {
        shift |= ShiftState::Alt;
    }
    return shift;
}

// A modifier key counts in its own key-down and no longer in its key-up, whatever the
// window system reports at that moment.
int ShiftOfKey(const QKeyEvent& event, bool down) {
    int shift = ShiftOf(event.modifiers());
    int own = 0;
    switch (event.key()) {
    case Qt::Key_Shift:
        own = ShiftState::Shift;
        break;
    case Qt::Key_Control:
        own = ShiftState::Ctrl;
        break;
    case Qt::Key_Alt:
        own = ShiftState::Alt;
        break;
    default:
        return shift;
    }
    return down ? (shift | own) : (shift & ~own);
}

int ButtonOf(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent), fore_(Qt::black), back_(Qt::white) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Focus moving to another widget of this window while it was inactive never reaches
    // focusOutEvent; the application's focus change does.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (focused_ && now != nullptr && now != this && now->window() == window()) {
            focused_ = false;
            update();
            emit LostFocus();
        }
    });
}

PictureBox::~PictureBox() {
    EndPainting();
    // The shapes are deleted after this object's members are gone; keep them off the list.
    for (MarkerShape* shape : shapes_) {
        shape->box_ = nullptr;
    }
}

void PictureBox::EnsureImage() const {
    if (image_.size() == size()) {
        return;
    }
    EndPainting();
    QImage resized(size(), QImage::Format_RGB32);
    if (resized.isNull()) {
        image_ = QImage();
        return;
    }
    resized.fill(back_);
    if (!image_.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, image_);
    }
    image_ = resized;
}

void PictureBox::Cls() {
    EnsureImage();
    EndPainting();
    image_.fill(back_);
    update();
}

void PictureBox::SyncTextCache() const {
    constexpr qsizetype Limit = 4096; // enough for every text of a page, and then some
    if (cacheFont_ != font() || layouts_.size() > Limit || widths_.size() > Limit) {
        cacheFont_ = font();
        layouts_.clear();
        widths_.clear();
    }
}

void PictureBox::TextOut(int x, int y, const QString& text) {
    EnsureImage();
    if (image_.isNull() || text.isEmpty()) {
        return;
    }
    SyncTextCache();
    auto layout = layouts_.find(text);
    if (layout == layouts_.end()) {
        QStaticText laidOut(text);
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
        laidOut.prepare(QTransform(), font());
        layout = layouts_.insert(text, laidOut);
    }
    QPainter& painter = Painter();
    if (painter.font() != font()) {
        painter.setFont(font());
    }
    painter.setPen(fore_);
    // The position is the text's top-left corner, as a laid-out text is placed.
    painter.drawStaticText(x, y, *layout);
    update();
}

void PictureBox::FillBox(const QRect& box, const QColor& color) {
    EnsureImage();
    if (image_.isNull()) {
        return;
    }
    Painter().fillRect(box, color);
    update();
}

QPainter& PictureBox::Painter() {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
    }
    return *painter_;
}

void PictureBox::EndPainting() const {
    painter_.reset();
}

void PictureBox::Refresh() {
    update();
}

int PictureBox::TextWidth(const QString& text) const {
    EnsureImage();
    SyncTextCache();
    const auto known = widths_.constFind(text);
    if (known != widths_.constEnd()) {
        return *known;
    }
    const QFontMetrics metrics = image_.isNull() ? fontMetrics() : QFontMetrics(font(), &image_);
    int widest = 0;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    widths_.insert(text, widest);
    return widest;
}

int PictureBox::TextHeight(const QString& text) const {
    EnsureImage();
    const QFontMetrics metrics = image_.isNull() ? fontMetrics() : QFontMetrics(font(), &image_);
    return metrics.height() * (static_cast<int>(text.count(QLatin1Char('\n'))) + 1);
}

void PictureBox::SetForeColor(const QColor& color) {
    fore_ = color;
}

QColor PictureBox::ForeColor() const {
    return fore_;
}

void PictureBox::SetBackColor(const QColor& color) {
    // A new background clears the picture, as it does on the original platform.
    back_ = color;
    Cls();
}

QColor PictureBox::BackColor() const {
    return back_;
}

void PictureBox::SetFontSpec(const QString& family, double pointSize) {
    QFont wanted(family);
    wanted.setPointSizeF(pointSize);
    // A missing family is silently replaced by whatever the system likes; the program's
    // cells need a fixed-pitch one.
    if (QFontInfo(wanted).family().compare(family, Qt::CaseInsensitive) != 0) {
        wanted = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        wanted.setPointSizeF(pointSize);
    }
    setFont(wanted);
}

int PictureBox::ScaleWidth() const {
    return width();
}

int PictureBox::ScaleHeight() const {
    return height();
}

const QImage& PictureBox::Image() const {
    EnsureImage();
    EndPainting();
    return image_;
}

QImage PictureBox::Rendered() const {
    EnsureImage();
    EndPainting();
    QImage out = image_.copy();
    if (out.isNull()) {
        return out;
    }
    QPainter painter(&out);
    for (const MarkerShape* shape : shapes_) {
        const QRect area = shape->rect_.intersected(out.rect());
        if (!shape->visible_ || area.isEmpty()) {
            continue;
        }
        if (shape->drawMode_ == MarkerShape::vbInvert) {
            QImage under = out.copy(area);
            under.invertPixels();
            painter.drawImage(area.topLeft(), under);
        } else {
            // Mask pen with the black border: black wherever the outline runs.
            painter.setPen(QPen(Qt::black, 0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(shape->rect_.adjusted(0, 0, -1, -1));
        }
    }
    return out;
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), Rendered(), event->rect());
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    EnsureImage();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    const int code = KeyCodeOf(*event);
    if (code != 0) {
        emit KeyDown(code, ShiftOfKey(*event, true));
    }
    // Tab moves between controls and Delete edits; neither types a character, although Qt
    // reports one for them (a typed Tab would land in the data as 09h).
    const int key = event->key();
    if (key != Qt::Key_Delete && key != Qt::Key_Tab && key != Qt::Key_Backtab) {
        for (const QChar ch : event->text()) {
            int keyAscii = platform::ToWindows1252(ch);
            emit KeyPress(keyAscii);
        }
    }
    event->accept();
}

void PictureBox::keyReleaseEvent(QKeyEvent* event) {
    const int code = KeyCodeOf(*event);
    if (code != 0 && !event->isAutoRepeat()) {
        emit KeyUp(code, ShiftOfKey(*event, false));
    }
    event->accept();
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    const QPoint at = event->position().toPoint();
    emit MouseDown(ButtonOf(event->button()), ShiftOf(event->modifiers()), at.x(), at.y());
    event->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    if (pressed_) {
        const QPoint at = event->position().toPoint();
        emit MouseMove(ButtonOf(Qt::LeftButton), ShiftOf(event->modifiers()), at.x(), at.y());
    }
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && rect().contains(event->position().toPoint()) &&
                       (event->button() == Qt::LeftButton || event->button() == Qt::RightButton);
    pressed_ = false;
    event->accept();
    if (click) {
        emit Click();
    }
}

void PictureBox::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (!focused_) {
        focused_ = true;
        update();
        emit GotFocus();
    }
}

void PictureBox::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    // Another window coming to the front leaves the focus where it is within this one.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) {
        return;
    }
    if (focused_) {
        focused_ = false;
        update();
        emit LostFocus();
    }
}

bool PictureBox::focusNextPrevChild(bool) {
    return false;
}

MarkerShape::MarkerShape(PictureBox* box) : QObject(box), box_(box) {
    box_->shapes_.append(this);
}

MarkerShape::~MarkerShape() {
    if (box_ != nullptr) {
        box_->shapes_.removeAll(this);
        box_->update(rect_);
    }
}

void MarkerShape::Move(int left, int top, int width, int height) {
    const QRect moved(left, top, width, height);
    if (moved == rect_) {
        return;
    }
    if (box_ != nullptr) {
        box_->update(rect_);
        box_->update(moved);
    }
    rect_ = moved;
}

int MarkerShape::Left() const {
    return rect_.left();
}

int MarkerShape::Top() const {
    return rect_.top();
}

int MarkerShape::Width() const {
    return rect_.width();
}

int MarkerShape::Height() const {
    return rect_.height();
}

void MarkerShape::SetDrawMode(int mode) {
    drawMode_ = mode;
    if (box_ != nullptr) {
        box_->update(rect_);
    }
}

int MarkerShape::DrawMode() const {
    return drawMode_;
}

void MarkerShape::SetVisible(bool visible) {
    visible_ = visible;
    if (box_ != nullptr) {
        box_->update(rect_);
    }
}

bool MarkerShape::Visible() const {
    return visible_;
}
