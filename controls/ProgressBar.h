#pragma once

#include "controls/ProgressMath.h"
#include "controls/PropertyBag.h"

#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <stdexcept>

namespace controls {

// A value the control cannot take, such as a border style other than 0 and 1.
class InvalidPropertyValue : public std::invalid_argument {
public:
    explicit InvalidPropertyValue(const QString& property)
        : std::invalid_argument(QStringLiteral("属性 %1 的值无效").arg(property).toStdString())
    {
    }
};

// Shows how far Value has advanced from Min to Max: a bar growing from the
// left edge and, optionally, the percentage centred over it. The bar is laid
// over the text with XOR, so the text stays readable in inverted colours
// where the bar covers it.
//
// The picture is kept in an off-screen image and drawn again only when the
// percentage or a setting that shows changes; a repaint of the window just
// shows that image. Positions and sizes are in twips (1/1440 inch).
//
// Setters that go past the 32-bit limits (Max - Min, (Value - Min) * 100)
// throw support::OverflowError and leave the control as it was.
class ProgressBar : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("BackColor", "Returns/sets the background color used to display text and graphics in an object.")
    Q_CLASSINFO("ForeColor", "Returns/sets the foreground color used to display text and graphics in an object.")
    Q_CLASSINFO("Font", "Returns a Font object.")
    Q_CLASSINFO("BorderStyle", "Returns/sets the border style for an object.")
    Q_CLASSINFO("Appearance", "Returns/sets whether or not an object is painted at run time with 3-D effects.")
    Q_CLASSINFO("MouseIcon", "Sets a custom mouse icon.")
    Q_CLASSINFO("MousePointer", "Returns/sets the type of mouse pointer displayed when over part of an object.")
    Q_CLASSINFO("Enabled", "Returns/sets a value that determines whether an object can respond to user-generated events.")
    Q_CLASSINFO("Click", "Occurs when the user presses and then releases a mouse button over an object.")
    Q_CLASSINFO("DblClick", "Occurs when the user presses and releases a mouse button and then presses and releases it again over an object.")
    Q_CLASSINFO("MouseDown", "Occurs when the user presses the mouse button while an object has the focus.")
    Q_CLASSINFO("MouseMove", "Occurs when the user moves the mouse.")
    Q_CLASSINFO("MouseUp", "Occurs when the user releases the mouse button while an object has the focus.")
    Q_PROPERTY(controls::OleColor BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(controls::OleColor ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(QFont Font READ Font WRITE SetFont)
    Q_PROPERTY(int16_t BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(int16_t Appearance READ Appearance WRITE SetAppearance)
    Q_PROPERTY(int32_t Max READ Max WRITE SetMax)
    Q_PROPERTY(int32_t Min READ Min WRITE SetMin)
    Q_PROPERTY(int32_t Value READ Value WRITE SetValue)
    Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE SetMouseIcon)
    Q_PROPERTY(int16_t MousePointer READ MousePointer WRITE SetMousePointer)
    Q_PROPERTY(controls::OleColor TextColor READ TextColor WRITE SetTextColor)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)

public:
    // A new instance: 3690 x 525 twips, set up as InitProperties leaves it.
    explicit ProgressBar(QWidget* parent = nullptr);

    OleColor BackColor() const { return backColor_; }
    void SetBackColor(OleColor New_BackColor);
    OleColor ForeColor() const { return m_ForeColor; }
    void SetForeColor(OleColor New_ForeColor);
    QFont Font() const { return font(); }
    void SetFont(const QFont& New_Font);
    // 0 none, 1 fixed single.
    int16_t BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int16_t New_BorderStyle);
    // 0 flat, 1 3-D.
    int16_t Appearance() const { return appearance_; }
    void SetAppearance(int16_t New_Appearance);
    int32_t Max() const { return m_Max; }
    void SetMax(int32_t New_Max);
    int32_t Min() const { return m_Min; }
    void SetMin(int32_t New_Min);
    int32_t Value() const { return m_Value; }
    void SetValue(int32_t New_Value);
    bool ShowText() const { return m_ShowText != 0; }
    void SetShowText(bool New_ShowText);
    QPixmap MouseIcon() const { return mouseIcon_; }
    void SetMouseIcon(const QPixmap& New_MouseIcon);
    // The platform's pointer codes: 0 default, 1 arrow, 2 cross, 3 I-beam,
    // 4 icon, 5 size, 6 size NE-SW, 7 size N-S, 8 size NW-SE, 9 size W-E,
    // 10 up arrow, 11 hourglass, 12 no drop, 13 arrow and hourglass,
    // 14 arrow and question mark, 15 size all, 99 the MouseIcon.
    int16_t MousePointer() const { return mousePointer_; }
    void SetMousePointer(int16_t New_MousePointer);
    OleColor TextColor() const { return textColor_; }
    void SetTextColor(OleColor New_TextColor);
    bool Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }
    void SetEnabled(bool New_Enabled);

    // The host's lifecycle: a new instance, loading from a saved state, saving.
    void InitProperties();
    void ReadProperties(const PropertyBag& PropBag);
    void WriteProperties(PropertyBag& PropBag) const;

    // The persistent off-screen picture shown inside the border.
    const QImage& Image() const { return image_; }

signals:
    // A setting changed: the saved state of the window holding the control is out of date.
    void PropertyChanged(const QString& name);
    void Click();
    void DblClick();
    // Button: 1 left, 2 right, 4 middle; Shift: 1 Shift, 2 Ctrl, 4 Alt;
    // X and Y in twips from the top left corner inside the border.
    void MouseDown(int16_t Button, int16_t Shift, float X, float Y);
    void MouseMove(int16_t Button, int16_t Shift, float X, float Y);
    void MouseUp(int16_t Button, int16_t Shift, float X, float Y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void DrawBar();
    void Redraw();
    void UpdateGeometry();
    int32_t TextTopFor(double height) const;
    QFont AmbientFont() const;

    // The drawing surface: settings, off-screen image and its operations.
    int BorderWidth() const;
    void FitImageToInnerArea();
    QColor ShownColor(OleColor color) const;
    void SetSurfaceBackColor(OleColor color);
    void SetSurfaceBorderStyle(int16_t style);
    void SetSurfaceAppearance(int16_t appearance);
    void SetSurfaceFont(const QFont& font, int16_t charset);
    void SetSurfaceMousePointer(int16_t pointer);
    void ApplyCursor();
    void ClearSurface();
    double TextWidth(const QString& text) const;
    double LineHeight() const; // of one line of the font, as measured on "%"
    void PrintText(float x, float y, const QString& text);
    void FillXor(int32_t x2, int32_t y2, OleColor color);
    void RefreshSurface();
    float TwipsX(const QPointF& position) const;
    float TwipsY(const QPointF& position) const;

    int32_t m_TextTop = 0;
    int32_t m_Percent = 0;
    int32_t m_Range = 0;
    int32_t m_Height = 0;
    int32_t m_Width = 0;
    int32_t m_Unit = 0;
    OleColor m_XorColor = 0;
    OleColor m_ForeColor = 0;
    int32_t m_Max = 0;
    int32_t m_Min = 0;
    int32_t m_Value = 0;
    int16_t m_ShowText = 0; // true is -1

    OleColor backColor_ = OleWhite;
    OleColor textColor_ = OleBlue;
    int16_t borderStyle_ = 1;
    int16_t appearance_ = 1;
    int16_t mousePointer_ = 0;
    QPixmap mouseIcon_;
    int16_t fontCharset_ = 0;
    QImage image_;
    bool clickPending_ = false;
};

// The saved state of the import window's progress bar `prg`: of the
// control's own settings only the font differs from its defaults.
PropertyBag ImportWindowProgressBarState();

// Builds `prg` on the import window as that window is loaded: placed at left
// 90, top 150, 5475 x 375 twips, then its saved state read back.
ProgressBar* LoadImportWindowProgressBar(QWidget* importWindow);

} // namespace controls
