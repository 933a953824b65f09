#include "support/CommandMenus.h"

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
        auto* button = new QToolButton(bar);
        button->setProperty(kTextProperty, it.text);
        button->setProperty(kCommandProperty, static_cast<int>(it.id));
        button->setText(Lang(it.text));
        button->setIcon(ToolbarIcons().value(it.icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setPopupMode(QToolButton::MenuButtonPopup);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::TabFocus);
        const CommandId command = it.id;
        QObject::connect(button, &QToolButton::clicked, bar,
                         [&actions, command] { actions.Trigger(command); });
        auto* menu = new QMenu(button);
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, sub, &actions, family1] {
            menu->clear();
            FillMenu(menu, sub, actions, family1 && family1());
        });
        button->setMenu(menu);
        bar->addWidget(button);
    }
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
    for (QToolButton* b : root->findChildren<QToolButton*>()) {
        const QVariant n = b->property(kTextProperty);
        if (!n.isValid()) continue;
        b->setText(Lang(n.toInt()));
        // The button's command gives the shortcut shown in its tooltip.
        const CommandSpec* row = FindCommand(CommandId(b->property(kCommandProperty).toInt()));
        b->setToolTip(CommandToolTip(b->text(), row ? CommandKeys(*row) : QList<QKeySequence>{}));
    }
}

}  // namespace lk::gui
