#include "import/ContactListView.h"

#include "import/ContactListModel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QFontMetrics>
#include <QHash>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>

#include <map>
#include <tuple>

namespace {

// One entry of the list as assistive technology sees it: a list item named
// by its text, with a check box that its action toggles. It reads the model
// at every question, so a refilled list needs no new items.
class ContactEntryAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ContactEntryAccessible(ContactListView* view, int row) : view_(view), row_(row) {}

    bool isValid() const override { return view_ && row_ < view_->contacts()->rowCount(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return view_ ? view_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(view_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    void setText(QAccessible::Text, const QString&) override {}

    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? view_->contacts()->entries().at(row_) : QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect visual = view_->visualRect(index());
        return {view_->viewport()->mapToGlobal(visual.topLeft()), visual.size()};
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.focused = view_->hasFocus() && view_->currentIndex().row() == row_;
        s.checkable = true;
        s.checked = view_->contacts()->checked()[static_cast<size_t>(row_)];
        s.invisible = !view_->viewport()->rect().intersects(view_->visualRect(index()));
        s.offscreen = s.invisible;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override { return {toggleAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {QStringLiteral("Space")}; }
    void doAction(const QString& name) override
    {
        if (name == toggleAction() && isValid())
            view_->contacts()->toggle(row_);
    }

private:
    QModelIndex index() const { return view_->contacts()->index(row_); }

    QPointer<ContactListView> view_;
    int row_;
};

// The list itself: its items are made as they are asked for, so a list of
// 100,000 contacts costs nothing until a screen reader walks it.
class ContactListAccessible : public QAccessibleWidget {
public:
    explicit ContactListAccessible(ContactListView* view) : QAccessibleWidget(view, QAccessible::List) {}

    ~ContactListAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(entries_))
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return view()->contacts()->rowCount(); }

    QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const auto found = entries_.constFind(index); found != entries_.cend())
            return QAccessible::accessibleInterface(*found);
        auto* entry = new ContactEntryAccessible(view(), index);
        entries_.insert(index, QAccessible::registerAccessibleInterface(entry));
        return entry;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (auto it = entries_.cbegin(); it != entries_.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key();
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
        return child(view()->indexAt(local).row());
    }

    QAccessibleInterface* focusChild() const override
    {
        return view()->hasFocus() ? child(view()->currentIndex().row()) : nullptr;
    }

private:
    ContactListView* view() const { return static_cast<ContactListView*>(widget()); }

    mutable QHash<int, QAccessible::Id> entries_;
};

// Draws each kind of check box once and copies it after that: drawn afresh
// for every visible entry, the boxes made filling the list a quarter slower.
// The kinds are few (checked or not, focused or not), so a small map of our
// own finds them without building a text key for every entry.
class CheckBoxCache : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_IndicatorItemViewItemCheck) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const qreal ratio = painter->device()->devicePixelRatioF();
        const Kind kind{uint(option->state), option->rect.size().width(), option->rect.size().height(), ratio,
                        option->palette.cacheKey()};
        auto found = boxes_.find(kind);
        if (found == boxes_.end())
            found = boxes_.emplace(kind, drawBox(element, option, ratio, widget)).first;
        painter->drawPixmap(option->rect.topLeft(), found->second);
    }

private:
    using Kind = std::tuple<uint, int, int, qreal, qint64>;

    QPixmap drawBox(PrimitiveElement element, const QStyleOption* option, qreal ratio, const QWidget* widget) const
    {
        QPixmap box(option->rect.size() * ratio);
        box.setDevicePixelRatio(ratio);
        box.fill(Qt::transparent);
        QPainter onBox(&box);
        onBox.translate(-option->rect.topLeft());
        QProxyStyle::drawPrimitive(element, option, &onBox, widget);
        return box;
    }

    mutable std::map<Kind, QPixmap> boxes_;
};

QAccessibleInterface* contactListAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("ContactListView"))
        if (auto* view = qobject_cast<ContactListView*>(object))
            return new ContactListAccessible(view);
    return nullptr;
}

} // namespace

ContactListView::ContactListView(QWidget* parent) : QTableView(parent), contacts_(new ContactListModel(this))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(contactListAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // Tab leaves the list, as it leaves a list box, instead of moving along it.
    setTabKeyNavigation(false);
    // The check boxes are the marks; a highlight beside them would be a second kind.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    fitRowsToFont();
    auto* checkBoxes = new CheckBoxCache;
    checkBoxes->setParent(this);
    setStyle(checkBoxes);
    setModel(contacts_);
    connect(contacts_, &ContactListModel::dataChanged, this, &ContactListView::announceCheckChange);
}

QModelIndex ContactListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    if (action == MoveHome || action == MoveEnd)
        modifiers |= Qt::ControlModifier;
    return QTableView::moveCursor(action, modifiers);
}

// A click anywhere on an entry toggles its box, not only one on the box, and
// touches no other entry; Space toggles the current entry.
bool ContactListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (event && event->type() == QEvent::MouseButtonRelease && index.isValid()
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        contacts_->toggle(index.row());
        return true;
    }
    if (event && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick))
        return false;
    return QTableView::edit(index, trigger, event);
}

// The table's own announcement numbers the entries as table cells; a list's
// items are numbered by row.
void ContactListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (QAccessible::isActive() && current.isValid()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
    QAbstractItemView::currentChanged(current, previous);
}

void ContactListView::announceCheckChange(const QModelIndex& topLeft, const QModelIndex& bottomRight)
{
    if (!QAccessible::isActive() || topLeft != bottomRight)
        return;
    QAccessible::State changed;
    changed.checked = true;
    QAccessibleStateChangeEvent event(this, changed);
    event.setChild(topLeft.row());
    QAccessible::updateAccessibility(&event);
}

void ContactListView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        fitRowsToFont();
    QTableView::changeEvent(event);
}

void ContactListView::fitRowsToFont()
{
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height());
}
