#include "support/CommandMenus.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "support/GuiText.h"
#include "support/Icons.h"

namespace lk::gui {
namespace {

constexpr char kTextProperty[] = "lkTextNumber";
constexpr char kCommandProperty[] = "lkCommand";

// The end of the submenu that starts at `begin` (its SubmenuEnd, or the end).
std::size_t SubmenuEnd(std::span<const MenuItem> items, std::size_t begin) {
    int depth = 0;
    for (std::size_t i = begin; i < items.size(); ++i) {
        if (items[i].kind == MenuItem::SubmenuBegin) ++depth;
        if (items[i].kind == MenuItem::SubmenuEnd && --depth == 0) return i;
    }
    return items.size();
}

QMenu* TitledMenu(QWidget* parent, int text) {
    auto* m = new QMenu(MenuText(text), parent);
    m->setProperty(kTextProperty, text);
    return m;
}

// A toolbar too narrow for its captions shows icons only (each with its
// tooltip), so that more of its commands stay on screen; wide enough again,
// the captions come back.
class CaptionFit : public QObject {
  public:
    explicit CaptionFit(QToolBar* bar) : QObject(bar), bar_(bar) { bar->installEventFilter(this); }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == bar_ && (e->type() == QEvent::Resize || e->type() == QEvent::Show)) Fit();
        return QObject::eventFilter(watched, e);
    }

  private:
    void Fit() {
        const QFontMetrics fm(bar_->font());
        const int icon = bar_->iconSize().width();
        int needed = 24;  // margins and the handle
        for (QAction* a : bar_->actions()) {
            if (!a->isVisible()) continue;
            if (a->isSeparator()) {
                needed += 8;
                continue;
            }
            needed += icon + fm.horizontalAdvance(a->iconText()) + 18;
            if (a->menu()) needed += 16;  // the arrow of its menu
        }
        const auto style =
            bar_->width() >= needed ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly;
        if (bar_->toolButtonStyle() != style) bar_->setToolButtonStyle(style);
    }

    QToolBar* bar_;
};

}  // namespace

void FillMenu(QMenu* menu, std::span<const MenuItem> items, const CommandActions& actions,
              bool family1) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& it = items[i];
        switch (it.kind) {
            case MenuItem::Command:
                if (it.onlyFamily1 && !family1) break;
                if (QAction* a = actions.Action(it.id)) menu->addAction(a);
                break;
            case MenuItem::Separator:
                menu->addSeparator();
                break;
            case MenuItem::SubmenuBegin: {
                const std::size_t end = SubmenuEnd(items, i);
                QMenu* sub = TitledMenu(menu, it.text);
                FillMenu(sub, items.subspan(i + 1, end - i - 1), actions, family1);
                menu->addMenu(sub);
                i = end;
                break;
            }
            case MenuItem::SubmenuEnd:
                break;
        }
    }
}

void FillMenuBar(QMenuBar* bar, std::span<const MenuItem> items, const CommandActions& actions) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].kind != MenuItem::SubmenuBegin) continue;
        const std::size_t end = SubmenuEnd(items, i);
        QMenu* popup = TitledMenu(bar, items[i].text);
        FillMenu(popup, items.subspan(i + 1, end - i - 1), actions, true);
        bar->addMenu(popup);
        i = end;
    }
}

void FillToolbar(QToolBar* bar, std::span<const MenuItem> items, const CommandActions& actions,
                 std::function<bool()> family1) {
    bool first = true;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const MenuItem& it = items[i];
        if (it.kind != MenuItem::Command && it.kind != MenuItem::SubmenuBegin) continue;
        if (!first) bar->addSeparator();
        first = false;
        if (it.kind == MenuItem::Command) {
            CommandAction* a = actions.Action(it.id);
            if (!a) continue;
            bar->addAction(a);
            if (QWidget* w = bar->widgetForAction(a)) w->setFocusPolicy(Qt::TabFocus);
            continue;
        }
        const std::size_t end = SubmenuEnd(items, i);
        const auto sub = items.subspan(i + 1, end - i - 1);
        i = end;
        // An action with a menu rather than a widget of its own: a button
        // that does not fit then goes behind the extension button with its
        // menu, instead of vanishing.
        auto* group = new QAction(ToolbarIcons().value(it.icon), MenuText(it.text), bar);
        group->setProperty(kTextProperty, it.text);
        group->setProperty(kCommandProperty, static_cast<int>(it.id));
        const CommandSpec* row = FindCommand(it.id);
        group->setToolTip(
            CommandToolTip(Lang(it.text), row ? CommandKeys(*row) : QList<QKeySequence>{}));
        const CommandId command = it.id;
        QObject::connect(group, &QAction::triggered, bar,
                         [&actions, command] { actions.Trigger(command); });
        auto* menu = new QMenu(bar);
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, sub, &actions, family1] {
            menu->clear();
            FillMenu(menu, sub, actions, family1 && family1());
        });
        // Filled once now, so that the extension menu lists the commands too.
        FillMenu(menu, sub, actions, family1 && family1());
        group->setMenu(menu);
        bar->addAction(group);
        if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(group))) {
            button->setProperty(kTextProperty, it.text);
            button->setProperty(kCommandProperty, static_cast<int>(it.id));
            button->setPopupMode(QToolButton::MenuButtonPopup);
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
    new CaptionFit(bar);
    // The buttons that do not fit wait behind the extension button; Tab
    // must reach it as well.
    for (QToolButton* b : bar->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        b->setFocusPolicy(Qt::TabFocus);
}

void RetitleMenus(QWidget* root) {
    for (QMenu* m : root->findChildren<QMenu*>()) {
        const QVariant n = m->property(kTextProperty);
        if (n.isValid()) m->setTitle(MenuText(n.toInt()));
    }
    for (QAction* a : root->findChildren<QAction*>()) {
        const QVariant n = a->property(kTextProperty);
        if (!n.isValid()) continue;
        a->setText(MenuText(n.toInt()));
        // The button's command gives the shortcut shown in its tooltip.
        const CommandSpec* row = FindCommand(CommandId(a->property(kCommandProperty).toInt()));
        a->setToolTip(
            CommandToolTip(Lang(n.toInt()), row ? CommandKeys(*row) : QList<QKeySequence>{}));
    }
}

}  // namespace lk::gui
