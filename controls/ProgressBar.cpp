#include "controls/ProgressBar.h"

#include "support/Numbers.h"
#include "support/Twips.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <qdrawutil.h>

#include <algorithm>
#include <array>
#include <optional>

namespace controls {
namespace {

// Keys of the saved state; they are also the names in change reports.
const QString BorderStyleKey = QStringLiteral("BorderStyle");
const QString AppearanceKey = QStringLiteral("Appearance");
const QString BackColorKey = QStringLiteral("BackColor");
const QString ForeColorKey = QStringLiteral("ForeColor");
const QString TextColorKey = QStringLiteral("TextColor");
const QString FontKey = QStringLiteral("Font");
const QString MaxKey = QStringLiteral("Max");
const QString MinKey = QStringLiteral("Min");
const QString ValueKey = QStringLiteral("Value");
const QString ShowTextKey = QStringLiteral("ShowText");
const QString MouseIconKey = QStringLiteral("MouseIcon");
const QString MousePointerKey = QStringLiteral("MousePointer");
const QString EnabledKey = QStringLiteral("Enabled");

constexpr int16_t DefaultBorderStyle = 1;
constexpr int16_t DefaultAppearance = 1;
constexpr int32_t DefaultBackColor = static_cast<int32_t>(OleWhite);
constexpr int32_t DefaultTextColor = static_cast<int32_t>(OleBlue);
constexpr int32_t DefaultForeColor = static_cast<int32_t>(OleBlue);
constexpr int32_t DefaultMax = 100;
constexpr int32_t DefaultMin = 0;
constexpr int32_t DefaultValue = 0;
constexpr bool DefaultShowText = true;
constexpr int16_t DefaultMousePointer = 0;
constexpr bool DefaultEnabled = true;

constexpr int NewInstanceWidth = 3690;
constexpr int NewInstanceHeight = 525;
constexpr int16_t CustomPointer = 99;
constexpr OleColor InfoBackgroundColor = SystemColorFlag | 24;

constexpr int16_t VbBoolean(bool value)
{
    return value ? -1 : 0;
}

std::optional<Qt::CursorShape> PointerShape(int16_t pointer)
{
    static constexpr std::array<Qt::CursorShape, 16> shapes = {
        Qt::ArrowCursor,     Qt::ArrowCursor,
        Qt::CrossCursor,     Qt::IBeamCursor,
        Qt::ArrowCursor, // the icon pointer has no counterpart here
        Qt::SizeAllCursor,   Qt::SizeBDiagCursor,
        Qt::SizeVerCursor,   Qt::SizeFDiagCursor,
        Qt::SizeHorCursor,   Qt::UpArrowCursor,
        Qt::WaitCursor,      Qt::ForbiddenCursor,
        Qt::BusyCursor,      Qt::WhatsThisCursor,
        Qt::SizeAllCursor,
    };
    if (pointer < 0 || pointer >= static_cast<int16_t>(shapes.size()))
        return std::nullopt;
    return shapes[static_cast<size_t>(pointer)];
}

int16_t ButtonCode(Qt::MouseButtons buttons)
{
    int16_t code = 0;
    if (buttons & Qt::LeftButton)
        code |= 1;
    if (buttons & Qt::RightButton)
        code |= 2;
    if (buttons & Qt::MiddleButton)
        code |= 4;
    return code;
}

int16_t ShiftCode(Qt::KeyboardModifiers modifiers)
{
    int16_t code = 0;
    if (modifiers & Qt::ShiftModifier)
        code |= 1;
    if (modifiers & Qt::ControlModifier)
        code |= 2;
    if (modifiers & Qt::AltModifier)
        code |= 4;
    return code;
}

double TwipsPerPixel()
{
    return support::PixelsToTwips(1);
}

} // namespace

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    resize(support::TwipsToPixels(NewInstanceWidth), support::TwipsToPixels(NewInstanceHeight));
    FitImageToInnerArea();
    InitProperties();
}

void ProgressBar::SetBackColor(OleColor New_BackColor)
{
    SetSurfaceBackColor(SysColorToRGB(New_BackColor));
    emit PropertyChanged(BackColorKey);
    m_XorColor = m_ForeColor ^ BackColor();
    Redraw();
}

void ProgressBar::SetForeColor(OleColor New_ForeColor)
{
    m_ForeColor = WithoutSystemColor(New_ForeColor);
    emit PropertyChanged(ForeColorKey);
    m_XorColor = m_ForeColor ^ BackColor();
    Redraw();
}

void ProgressBar::SetFont(const QFont& New_Font)
{
    SetSurfaceFont(New_Font, fontCharset_);
    m_TextTop = TextTopFor(m_Height);
    emit PropertyChanged(FontKey);
    Redraw();
}

void ProgressBar::SetBorderStyle(int16_t New_BorderStyle)
{
    SetSurfaceBorderStyle(New_BorderStyle);
    emit PropertyChanged(BorderStyleKey);
}

void ProgressBar::SetAppearance(int16_t New_Appearance)
{
    const OleColor background = BackColor();
    SetSurfaceAppearance(New_Appearance);
    emit PropertyChanged(AppearanceKey);
    SetSurfaceBackColor(background);
    Redraw();
}

void ProgressBar::SetMax(int32_t New_Max)
{
    const int32_t min = std::min(m_Min, New_Max);
    const int32_t range = support::CheckedSub(New_Max, min);
    m_Max = New_Max;
    m_Min = min;
    m_Range = range;
    SetValue(m_Min);
    emit PropertyChanged(MaxKey);
}

void ProgressBar::SetMin(int32_t New_Min)
{
    const int32_t max = std::max(m_Max, New_Min);
    const int32_t range = support::CheckedSub(max, New_Min);
    m_Min = New_Min;
    m_Max = max;
    m_Range = range;
    SetValue(New_Min);
    emit PropertyChanged(MinKey);
}

void ProgressBar::SetValue(int32_t New_Value)
{
    if (New_Value < m_Min || New_Value > m_Max)
        return;
    if (m_Range < 1) {
        m_Value = New_Value;
        ClearSurface();
    } else {
        // Computed before anything is stored, so an overflow leaves the control as it was.
        const int32_t percent = PercentOf(New_Value, m_Min, m_Range);
        m_Value = New_Value;
        if (percent != m_Percent) {
            m_Percent = percent;
            DrawBar();
        }
    }
    emit PropertyChanged(ValueKey);
}

void ProgressBar::SetShowText(bool New_ShowText)
{
    m_ShowText = VbBoolean(New_ShowText);
    emit PropertyChanged(ShowTextKey);
    Redraw();
}

void ProgressBar::SetMouseIcon(const QPixmap& New_MouseIcon)
{
    mouseIcon_ = New_MouseIcon;
    ApplyCursor();
    emit PropertyChanged(MouseIconKey);
}

void ProgressBar::SetMousePointer(int16_t New_MousePointer)
{
    SetSurfaceMousePointer(New_MousePointer);
    emit PropertyChanged(MousePointerKey);
}

void ProgressBar::SetTextColor(OleColor New_TextColor)
{
    textColor_ = WithoutSystemColor(New_TextColor);
    emit PropertyChanged(TextColorKey);
    Redraw();
}

void ProgressBar::SetEnabled(bool New_Enabled)
{
    setEnabled(New_Enabled);
    emit PropertyChanged(EnabledKey);
}

void ProgressBar::InitProperties()
{
    m_ForeColor = OleBlue;
    QFont font = AmbientFont();
    font.setPointSize(12);
    font.setBold(true);
    SetSurfaceFont(font, 0);
    m_Max = DefaultMax;
    m_Min = DefaultMin;
    m_Value = DefaultValue;
    m_ShowText = VbBoolean(DefaultShowText);
    m_XorColor = m_ForeColor ^ BackColor();
    m_TextTop = TextTopFor(support::PixelsToTwips(height()));
    m_Range = support::CheckedSub(m_Max, m_Min);
    UpdateGeometry();
    m_Percent = 0;
    SetValue(m_Value);
    Redraw();
}

void ProgressBar::ReadProperties(const PropertyBag& PropBag)
{
    SetSurfaceBorderStyle(PropBag.ReadProperty(BorderStyleKey, DefaultBorderStyle));
    SetSurfaceAppearance(PropBag.ReadProperty(AppearanceKey, DefaultAppearance));
    SetSurfaceBackColor(static_cast<OleColor>(PropBag.ReadProperty(BackColorKey, DefaultBackColor)));
    textColor_ = static_cast<OleColor>(PropBag.ReadProperty(TextColorKey, DefaultTextColor));
    m_ForeColor = static_cast<OleColor>(PropBag.ReadProperty(ForeColorKey, DefaultForeColor));
    const SavedFont font = PropBag.ReadProperty(FontKey, SavedFont::FromQFont(AmbientFont()));
    SetSurfaceFont(font.ToQFont(), font.Charset);
    m_Max = PropBag.ReadProperty(MaxKey, DefaultMax);
    m_Min = PropBag.ReadProperty(MinKey, DefaultMin);
    m_Value = PropBag.ReadProperty(ValueKey, DefaultValue);
    m_ShowText = VbBoolean(PropBag.ReadProperty(ShowTextKey, DefaultShowText));
    SetMouseIcon(QPixmap::fromImage(PropBag.ReadProperty(MouseIconKey, QImage())));
    SetSurfaceMousePointer(PropBag.ReadProperty(MousePointerKey, DefaultMousePointer));
    setEnabled(PropBag.ReadProperty(EnabledKey, DefaultEnabled));

    m_XorColor = m_ForeColor ^ BackColor();
    m_TextTop = TextTopFor(support::PixelsToTwips(height()));
    m_Range = support::CheckedSub(m_Max, m_Min);
    UpdateGeometry();
    // A saved Value outside the saved range stays as read and the bar at 0 %.
    m_Percent = 0;
    SetValue(m_Value);
    Redraw();
}

void ProgressBar::WriteProperties(PropertyBag& PropBag) const
{
    PropBag.WriteProperty(BorderStyleKey, BorderStyle(), DefaultBorderStyle);
    PropBag.WriteProperty(AppearanceKey, Appearance(), DefaultAppearance);
    PropBag.WriteProperty(BackColorKey, static_cast<int32_t>(BackColor()), DefaultBackColor);
    PropBag.WriteProperty(ForeColorKey, static_cast<int32_t>(m_ForeColor), DefaultForeColor);
    PropBag.WriteProperty(TextColorKey, static_cast<int32_t>(TextColor()), DefaultTextColor);
    PropBag.WriteProperty(FontKey, SavedFont::FromQFont(font(), fontCharset_), SavedFont::FromQFont(AmbientFont()));
    PropBag.WriteProperty(MaxKey, m_Max, DefaultMax);
    PropBag.WriteProperty(MinKey, m_Min, DefaultMin);
    PropBag.WriteProperty(ValueKey, m_Value, DefaultValue);
    PropBag.WriteProperty(ShowTextKey, m_ShowText != 0, DefaultShowText);
    PropBag.WriteProperty(MouseIconKey, mouseIcon_.toImage(), QImage());
    PropBag.WriteProperty(MousePointerKey, MousePointer(), DefaultMousePointer);
    PropBag.WriteProperty(EnabledKey, Enabled(), DefaultEnabled);
}

void ProgressBar::DrawBar()
{
    ClearSurface();
    if (m_ShowText) {
        const QString text = PercentText(m_Percent);
        const double width = TextWidth(text);
        PrintText(static_cast<float>((m_Width - width) / 2), static_cast<float>(m_TextTop), text);
    }
    // Printed text first: the XOR of the bar then inverts the glyphs it covers.
    FillXor(support::CheckedMul(m_Unit, m_Percent), m_Height, m_XorColor);
    RefreshSurface();
}

void ProgressBar::Redraw()
{
    if (m_Range > 0)
        DrawBar();
}

void ProgressBar::UpdateGeometry()
{
    m_Width = support::RoundHalfEven(support::PixelsToTwips(width()));
    m_Height = support::RoundHalfEven(support::PixelsToTwips(height()));
    m_Unit = UnitOf(m_Width);
}

int32_t ProgressBar::TextTopFor(double height) const
{
    return support::RoundHalfEven((height - LineHeight()) / 2);
}

QFont ProgressBar::AmbientFont() const
{
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

void ProgressBar::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    if (borderStyle_ != 0) {
        if (appearance_ == 1)
            qDrawWinPanel(&painter, rect(), palette(), true);
        else
            qDrawPlainRect(&painter, rect(), palette().color(QPalette::WindowText));
    }
    const int border = BorderWidth();
    painter.drawImage(border, border, image_);
}

void ProgressBar::resizeEvent(QResizeEvent* /*event*/)
{
    FitImageToInnerArea();
    UpdateGeometry();
    m_TextTop = TextTopFor(m_Height);
    Redraw();
}

void ProgressBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        clickPending_ = true;
    emit MouseDown(ButtonCode(event->button()), ShiftCode(event->modifiers()), TwipsX(event->position()),
                   TwipsY(event->position()));
}

void ProgressBar::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(ButtonCode(event->button()), ShiftCode(event->modifiers()), TwipsX(event->position()),
                 TwipsY(event->position()));
    if (event->button() == Qt::LeftButton && std::exchange(clickPending_, false)
        && rect().contains(event->position().toPoint()))
        emit Click();
}

void ProgressBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    // The second press of a double click is the double click itself; its
    // release ends it without a second Click.
    clickPending_ = false;
    emit DblClick();
}

void ProgressBar::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(ButtonCode(event->buttons()), ShiftCode(event->modifiers()), TwipsX(event->position()),
                   TwipsY(event->position()));
}

int ProgressBar::BorderWidth() const
{
    if (borderStyle_ == 0)
        return 0;
    return appearance_ == 1 ? 2 : 1;
}

void ProgressBar::FitImageToInnerArea()
{
    const int border = BorderWidth();
    const QSize inner = (size() - QSize(2 * border, 2 * border)).expandedTo(QSize(0, 0));
    const qreal ratio = devicePixelRatioF();
    const QSize physical = (QSizeF(inner) * ratio).toSize();
    if (!image_.isNull() && image_.size() == physical && image_.devicePixelRatio() == ratio)
        return;
    QImage fitted(physical, QImage::Format_RGB32);
    fitted.setDevicePixelRatio(ratio);
    // Text drawn into the image must have the size it is measured with on the screen.
    fitted.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    fitted.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    fitted.fill(ShownColor(backColor_));
    if (!image_.isNull()) {
        QPainter painter(&fitted);
        painter.drawImage(0, 0, image_);
    }
    image_ = fitted;
}

QColor ProgressBar::ShownColor(OleColor color) const
{
    const OleColor fixed = SysColorToRGB(color);
    if (!IsSystemColor(fixed))
        return ToQColor(fixed);
    // Beyond the fixed table the running system's colours stand in.
    return palette().color(color == InfoBackgroundColor ? QPalette::ToolTipBase : QPalette::Window);
}

void ProgressBar::SetSurfaceBackColor(OleColor color)
{
    backColor_ = color;
    ClearSurface();
}

void ProgressBar::SetSurfaceBorderStyle(int16_t style)
{
    if (style != 0 && style != 1)
        throw InvalidPropertyValue(BorderStyleKey);
    borderStyle_ = style;
    FitImageToInnerArea();
    update();
}

void ProgressBar::SetSurfaceAppearance(int16_t appearance)
{
    if (appearance != 0 && appearance != 1)
        throw InvalidPropertyValue(AppearanceKey);
    appearance_ = appearance;
    FitImageToInnerArea();
    update();
}

void ProgressBar::SetSurfaceFont(const QFont& font, int16_t charset)
{
    QFont own = font;
    // The control's font is its own: a later change of the parent's font must
    // not reach it behind the back of the text position computed from it.
    own.setResolveMask(QFont::AllPropertiesResolved);
    setFont(own);
    fontCharset_ = charset;
}

void ProgressBar::SetSurfaceMousePointer(int16_t pointer)
{
    if (pointer != CustomPointer && !PointerShape(pointer))
        throw InvalidPropertyValue(MousePointerKey);
    mousePointer_ = pointer;
    ApplyCursor();
}

void ProgressBar::ApplyCursor()
{
    if (mousePointer_ == CustomPointer && !mouseIcon_.isNull())
        setCursor(QCursor(mouseIcon_));
    else if (mousePointer_ == 0 || mousePointer_ == CustomPointer)
        unsetCursor();
    else
        setCursor(*PointerShape(mousePointer_));
}

void ProgressBar::ClearSurface()
{
    image_.fill(ShownColor(backColor_));
    update();
}

double ProgressBar::TextWidth(const QString& text) const
{
    return support::PixelsToTwips(QFontMetrics(font(), this).horizontalAdvance(text));
}

double ProgressBar::LineHeight() const
{
    return support::PixelsToTwips(QFontMetrics(font(), this).height());
}

void ProgressBar::PrintText(float x, float y, const QString& text)
{
    QPainter painter(&image_);
    painter.setFont(font());
    painter.setPen(ShownColor(textColor_));
    const int ascent = QFontMetrics(font(), this).ascent();
    painter.drawText(QPoint(support::TwipsToPixels(x), support::TwipsToPixels(y) + ascent), text);
}

void ProgressBar::FillXor(int32_t x2, int32_t y2, OleColor color)
{
    QPainter painter(&image_);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.fillRect(QRect(0, 0, support::TwipsToPixels(x2), support::TwipsToPixels(y2)), ToQColor(color));
}

void ProgressBar::RefreshSurface()
{
    repaint();
}

float ProgressBar::TwipsX(const QPointF& position) const
{
    return static_cast<float>((position.x() - BorderWidth()) * TwipsPerPixel());
}

float ProgressBar::TwipsY(const QPointF& position) const
{
    return static_cast<float>((position.y() - BorderWidth()) * TwipsPerPixel());
}

PropertyBag ImportWindowProgressBarState()
{
    SavedFont font;
    font.Name = QStringLiteral("MS Sans Serif");
    font.Size = 12;
    font.Bold = true;
    font.Weight = 700;
    font.Charset = 0;
    PropertyBag state;
    // Saved against the designer's ambient font, which was another one, so the font is stored.
    state.WriteProperty(FontKey, font, SavedFont{});
    return state;
}

ProgressBar* LoadImportWindowProgressBar(QWidget* importWindow)
{
    auto* prg = new ProgressBar(importWindow);
    prg->setObjectName(QStringLiteral("prg"));
    support::PlaceTwips(prg, 90, 150, 5475, 375);
    prg->ReadProperties(ImportWindowProgressBarState());
    return prg;
}

} // namespace controls
