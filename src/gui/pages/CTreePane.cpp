#include "pages/CTreePane.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "pages/CVX310View.h"
#include "support/GuiText.h"
#include "support/Icons.h"
#include "support/ViewPage.h"

namespace lk::gui {
namespace {
constexpr int kPageRole = Qt::UserRole + 1;
constexpr int kTagRole = Qt::UserRole + 2;  // the tag of a tag node
constexpr int kTagText = 807;
constexpr int kTagImage = 15;
}  // namespace

CTreePane::CTreePane(CVX310View* view) : QWidget(view), view_(view), tree_(new QTreeWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(tree_);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize(QSize(16, 16));
    tree_->setDragEnabled(false);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setAccessibleName(Lang(318));
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                if (!item || building_) return;
                const QVariant tag = item->data(0, kTagRole);
                if (tag.isValid())
                    view_->ShowTag(tag.toString());
                else
                    view_->ShowPage(item->data(0, kPageRole).toInt());
            });
}

QTreeWidgetItem* CTreePane::AddNode(QTreeWidgetItem* parent, const QString& label, int image,
                                    int page) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, label);
    // A narrow tree or a long text cuts the label; the tip shows it whole.
    item->setToolTip(0, label);
    item->setIcon(0, TreeIcons().value(image));
    item->setData(0, kPageRole, page);
    // Each insertion selects the node, so the view passes through its page.
    tree_->setCurrentItem(item);
    return item;
}

void CTreePane::Build() {
    tree_->clear();
    QTreeWidgetItem* device = AddNode(nullptr, DeviceName(0), 12, PageWeb);
    QTreeWidgetItem* all = AddNode(device, Lang(PageCaption(PageAll)), 11, PageAll);
    AddNode(all, Lang(PageCaption(PageOutgoing)), 1, PageOutgoing);
    AddNode(all, Lang(PageCaption(PageIncoming)), 0, PageIncoming);
    AddNode(all, Lang(PageCaption(PageNotes)), 2, PageNotes);
    AddNode(all, Lang(PageCaption(PageTriggered)), 2, PageTriggered);
    AddNode(all, Lang(PageCaption(PageMarked)), 15, PageMarked);
    AddNode(all, Lang(PageCaption(PageMissed)), 22, PageMissed);
    AddNode(all, Lang(PageCaption(PageSearch)), 19, PageSearch);
    AddNode(all, Lang(PageCaption(PageFolder)), 19, PageFolder);
    AddNode(nullptr, Lang(PageCaption(PageDevice)), 9, PageDevice);
    tree_->setCurrentItem(all);
    all->setExpanded(true);
    device->setExpanded(true);
}

void CTreePane::SelectPage(int page) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item->data(0, kPageRole).toInt() == page) {
            for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
                p->setExpanded(true);
            tree_->setCurrentItem(item);
            return;
        }
    }
}

void CTreePane::StepPage(int step) {
    std::vector<QTreeWidgetItem*> order;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it)
        order.push_back(*it);
    const auto at = std::find(order.begin(), order.end(), tree_->currentItem());
    if (at == order.end()) return;
    const auto index = (at - order.begin()) + step;
    if (index < 0 || index >= static_cast<std::ptrdiff_t>(order.size())) return;
    QTreeWidgetItem* item = order[static_cast<std::size_t>(index)];
    for (QTreeWidgetItem* p = item->parent(); p; p = p->parent())
        p->setExpanded(true);
    tree_->setCurrentItem(item);
}

void CTreePane::SetRootText(const QString& text) {
    if (QTreeWidgetItem* root = tree_->topLevelItem(0)) {
        root->setText(0, text);
        root->setToolTip(0, text);
    }
}

void CTreePane::SetTags(const QStringList& tags) {
    QTreeWidgetItem* all = nullptr;
    for (QTreeWidgetItemIterator it(tree_); *it && !all; ++it)
        if ((*it)->data(0, kPageRole).toInt() == PageAll) all = *it;
    if (!all || tags == Tags()) return;
    QTreeWidgetItem* current = tree_->currentItem();
    const QVariant shown = current ? current->data(0, kTagRole) : QVariant();
    building_ = true;
    QTreeWidgetItem* keep = nullptr;
    for (int i = all->childCount() - 1; i >= 0; --i)
        if (all->child(i)->data(0, kTagRole).isValid()) delete all->takeChild(i);
    for (const QString& tag : tags) {
        auto* item = new QTreeWidgetItem(all);
        const QString label = Lang(kTagText) + QStringLiteral(": ") + tag;
        item->setText(0, label);
        item->setToolTip(0, label);
        item->setIcon(0, TreeIcons().value(kTagImage));
        item->setData(0, kPageRole, PageSearch);
        item->setData(0, kTagRole, tag);
        if (shown.isValid() && shown.toString() == tag) keep = item;
    }
    building_ = false;
    if (keep) {
        tree_->setCurrentItem(keep);
    } else if (shown.isValid()) {
        SelectPage(PageSearch);
    }
}

QStringList CTreePane::Tags() const {
    QStringList tags;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it)
        if (const QVariant tag = (*it)->data(0, kTagRole); tag.isValid()) tags << tag.toString();
    return tags;
}

int CTreePane::SelectedPage() const {
    const QTreeWidgetItem* item = tree_->currentItem();
    return item ? item->data(0, kPageRole).toInt() : -1;
}

}  // namespace lk::gui
